#include "CommandsPane.h"

#include <QFontDatabase>
#include <QTime>

CommandsPane::CommandsPane(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setMaximumBlockCount(5000);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setPlaceholderText(QStringLiteral("Every svn run of the provider appears here, with how it ended."));
}

void CommandsPane::appendLine(const QString& text)
{
    appendPlainText(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + text);
}
