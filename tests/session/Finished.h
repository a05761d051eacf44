#pragma once

#include <QFuture>
#include <QFutureWatcher>
#include <QTest>

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
