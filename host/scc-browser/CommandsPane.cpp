#include "CommandsPane.h"

#include "CommandLogFeed.h"

#include <QFontDatabase>
#include <QTime>

CommandsPane::CommandsPane(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setMaximumBlockCount(5000);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setPlaceholderText(QStringLiteral("Every svn run of the provider appears here, with how it ended."));
    // The provider logs in the worker thread; the lines are shown in this one.
    connect(CommandLogFeed::instance(), &CommandLogFeed::lineLogged, this, &CommandsPane::appendLine,
            Qt::QueuedConnection);
}

void CommandsPane::appendLine(const QString& text)
{
    appendPlainText(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + text);
}
