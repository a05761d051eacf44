#pragma once

#include <QPlainTextEdit>
#include <QString>

/**
 * scc-browser's Commands pane: the session's command log, newest last, read
 * only. Each line is one svn run the provider starts ("run 3 in FOLDER: svn
 * ARGS", the password shown as ******), how a run ended ("run 3 ended: exit
 * 0, 153 ms", "cancelled, ..."), or a decision of the provider, after the
 * time it arrived.
 */
class CommandsPane : public QPlainTextEdit
{
    Q_OBJECT

public:
    /** An empty pane. */
    explicit CommandsPane(QWidget* parent = nullptr);

    /** Appends one line of the log after the time of day. */
    void appendLine(const QString& text);
};
