#pragma once

#include <QObject>
#include <QString>

/**
 * The plug-in's command log (see ClientLog.h) as a Qt signal: every svn run
 * the provider starts, how it ended, and the provider's decisions, one
 * lineLogged() each.
 *
 * The provider logs from whatever thread calls it (scc-browser's worker
 * thread), so lineLogged() is emitted in that thread: connect to it with
 * Qt::QueuedConnection. There is one feed per process; every other message
 * goes on to the message handler installed before it.
 */
class CommandLogFeed : public QObject
{
    Q_OBJECT

public:
    /**
     * The process's feed. The first call turns the command log on
     * (enableClientLog()) and installs the message handler that feeds it;
     * make it from the GUI thread before any provider exists. The feed
     * lives until the process ends.
     */
    static CommandLogFeed* instance();

    /**
     * Whether the log's lines also go on to the message handler installed
     * before (by default Qt's, which prints them on standard error); off at
     * first. Thread-safe.
     */
    void setEcho(bool echo);

signals:
    /** One line of the command log, in the thread that logged it. */
    void lineLogged(const QString& text);

private:
    CommandLogFeed() = default;
};
