#include "MergeTool.h"

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

namespace {

const char s_environmentVariable[] = "SCC_MERGE_TOOL";
const char s_settingKey[] = "mergeTool";

} // namespace

QString MergeTool::defaultCommandLine()
{
    return QStringLiteral("meld {mine} {base} {theirs} --output {merged}");
}

QString MergeTool::configuredCommandLine()
{
    const QString fromEnvironment = qEnvironmentVariable(s_environmentVariable).trimmed();
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QSettings settings(QStringLiteral("svnscc"), QStringLiteral("scc-browser"));
    const QString fromSetting = settings.value(QLatin1String(s_settingKey)).toString().trimmed();
    if (!fromSetting.isEmpty())
        return fromSetting;
    return QStandardPaths::findExecutable(QStringLiteral("meld")).isEmpty() ? QString() : defaultCommandLine();
}

MergeTool::Command MergeTool::command(const QString& commandLine, const QString& localRoot, const QString& path,
                                      const SourceCodeControl::ConflictInfo& conflict)
{
    Command command;
    if (conflict.kind != QLatin1String("text") || conflict.baseFile.isEmpty() || conflict.mineFile.isEmpty()
        || conflict.theirsFile.isEmpty()) {
        command.error = QStringLiteral("%1 has no text conflict to merge").arg(path);
        return command;
    }
    QStringList words = QProcess::splitCommand(commandLine);
    if (words.isEmpty()) {
        command.error = QStringLiteral("no merge tool: install meld, or name one in %1 or the setting %2")
                            .arg(QLatin1String(s_environmentVariable), QLatin1String(s_settingKey));
        return command;
    }
    const QDir root(localRoot);
    const std::pair<QString, QString> files[] = {
        {QStringLiteral("{base}"), root.filePath(conflict.baseFile)},
        {QStringLiteral("{mine}"), root.filePath(conflict.mineFile)},
        {QStringLiteral("{theirs}"), root.filePath(conflict.theirsFile)},
        {QStringLiteral("{merged}"), root.filePath(path)},
    };
    for (QString& word : words)
        for (const auto& [placeholder, file] : files)
            word.replace(placeholder, file);
    command.program = words.takeFirst();
    command.arguments = words;
    return command;
}

bool MergeTool::start(const Command& command, const QString& localRoot, QString& error)
{
    if (!command.error.isEmpty()) {
        error = command.error;
        return false;
    }
    if (!QProcess::startDetached(command.program, command.arguments, localRoot)) {
        error = QStringLiteral("cannot start the merge tool %1").arg(command.program);
        return false;
    }
    return true;
}
