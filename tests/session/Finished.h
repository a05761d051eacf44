#pragma once

#include <QElapsedTimer>
#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include <gtest/gtest.h>

/**
 * The result of @p future, waited for through a watcher in this thread, as
 * a host waits: every signal the call caused has reached this thread by
 * then. A future that did not finish in @p waitMs, or was cancelled, gives T().
 */
template <typename T>
T finished(const QFuture<T>& future, int waitMs = 30000)
{
    QFutureWatcher<T> watcher;
    bool done = false;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, [&done] { done = true; });
    watcher.setFuture(future);
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, waitMs));
    return done && !future.isCanceled() ? future.result() : T();
}

/**
 * The longest time the thread it runs in did not get to its events: a
 * precise timer every millisecond notes the gaps between its ticks.
 */
class GapMeter : public QObject
{
public:
    GapMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { m_longest = std::max(m_longest, m_clock.restart()); });
        m_clock.start();
        m_timer.start();
    }
    qint64 longestMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};
