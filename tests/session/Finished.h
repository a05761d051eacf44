#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include <gtest/gtest.h>

/**
 * The result of @p future, waited for through a watcher in this thread's
 * event loop, as an idle host waits: each event is taken as it comes, so a
 * signal the call causes after its future finished is not here yet. A
 * future that did not finish in @p waitMs, or was cancelled, gives T().
 */
template <typename T>
T finished(const QFuture<T>& future, int waitMs = 30000)
{
    QEventLoop loop;
    QFutureWatcher<T> watcher;
    bool done = false;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, [&] {
        done = true;
        loop.quit();
    });
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    loop.exec();
    EXPECT_TRUE(done);
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
