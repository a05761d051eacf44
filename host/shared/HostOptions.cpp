#include "HostOptions.h"

#include <svnscc/SourceCodeControlSystemProviderInterface.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QDir>

#include <cstdio>

namespace {

QString firstLine(const QByteArray& bytes)
{
    QByteArray line = bytes;
    const qsizetype end = line.indexOf('\n');
    if (end >= 0)
        line.truncate(end);
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromLocal8Bit(line);
}

} // namespace

QString parseHostOptions(const QStringList& arguments, HostOptions& options)
{
    bool passwordFromStdin = false;
    QString passwordFile;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString arg = arguments.at(i);
        auto value = [&](QString& out) -> bool {
            if (i + 1 >= arguments.size())
                return false;
            out = arguments.at(++i);
            return true;
        };
        const bool global = options.command.isEmpty();
        bool ok = true;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h"))
            options.help = true;
        else if (global && arg == QLatin1String("--plugin"))
            ok = value(options.plugin);
        else if (global && arg == QLatin1String("--svn"))
            ok = value(options.svnExecutable);
        else if (global && arg == QLatin1String("--url"))
            ok = value(options.repositoryURL);
        else if (global && arg == QLatin1String("--user"))
            ok = value(options.userName);
        else if (global && arg == QLatin1String("--password-file"))
            ok = value(passwordFile);
        else if (global && arg == QLatin1String("--password-stdin"))
            passwordFromStdin = true;
        else if (global && arg == QLatin1String("--locking")) {
            QString v;
            ok = value(v);
            if (ok && v != QLatin1String("yes") && v != QLatin1String("no"))
                return QStringLiteral("--locking takes yes or no, not \"%1\"").arg(v);
            options.lockSupported = v == QLatin1String("yes");
        } else if (global && arg == QLatin1String("--root")) {
            QString v;
            ok = value(v);
            options.localRoot = QDir::cleanPath(QFileInfo(v).absoluteFilePath());
        } else if (global && arg == QLatin1String("--timeout")) {
            QString v;
            ok = value(v);
            bool number = false;
            options.timeoutSeconds = v.toInt(&number);
            if (ok && (!number || options.timeoutSeconds < 0))
                return QStringLiteral("--timeout takes whole seconds, not \"%1\"").arg(v);
        } else if (global && arg == QLatin1String("--repository-root"))
            ok = value(options.repositoryRoot);
        else if (global && arg == QLatin1String("--keep"))
            ok = value(options.keepDirectory);
        else if (global && arg == QLatin1String("--verbose"))
            options.verbose = true;
        else if (global && arg == QLatin1String("--ask"))
            options.ask = true;
        else if (!global && (arg == QLatin1String("-m") || arg == QLatin1String("--message")))
            ok = value(options.comment);
        else if (!global && arg == QLatin1String("--discard"))
            options.discard = true;
        else if (!global && arg == QLatin1String("--replace"))
            options.replace = true;
        else if (!global && arg == QLatin1String("--recursive"))
            options.recursive = true;
        else if (!global && arg == QLatin1String("--keep-local"))
            options.keepLocal = true;
        else if (!global && (arg == QLatin1String("-r") || arg == QLatin1String("--revision")))
            ok = value(options.revision);
        else if (!global && arg == QLatin1String("--accept"))
            ok = value(options.accept);
        else if (!global && (arg == QLatin1String("-c") || arg == QLatin1String("--change")))
            ok = value(options.changes);
        else if (!global && arg == QLatin1String("--dry-run"))
            options.dryRun = true;
        else if (!global && arg == QLatin1String("--record-only"))
            options.recordOnly = true;
        else if (!global && arg == QLatin1String("--merged"))
            options.merged = true;
        else if (!global && arg == QLatin1String("--steal"))
            options.steal = true;
        else if (!global && arg == QLatin1String("--break"))
            options.breakLock = true;
        else if (!global && arg == QLatin1String("--limit")) {
            QString v;
            ok = value(v);
            bool number = false;
            options.limit = v.toInt(&number);
            if (ok && (!number || options.limit < 0))
                return QStringLiteral("--limit takes a whole number of entries, not \"%1\"").arg(v);
        } else if (!global && arg == QLatin1String("--from"))
            ok = value(options.from);
        else if (!global && arg == QLatin1String("--search"))
            ok = value(options.search);
        else if (!global && (arg == QLatin1String("-F") || arg == QLatin1String("--file")))
            ok = value(options.valueFile);
        else if (!global && arg == QLatin1String("--remove"))
            options.remove = true;
        else if (!global && arg == QLatin1String("--strip")) {
            QString v;
            ok = value(v);
            bool number = false;
            options.strip = v.toInt(&number);
            if (ok && (!number || options.strip < 0))
                return QStringLiteral("--strip takes a whole number of name components, not \"%1\"").arg(v);
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1)
            return QStringLiteral("unknown option %1").arg(arg);
        else if (global)
            options.command = arg;
        else
            options.arguments << arg;
        if (!ok)
            return QStringLiteral("%1 needs a value").arg(arg);
    }
    if (!options.userName.isNull() && passwordFile.isNull() && !passwordFromStdin)
        return QStringLiteral("--user needs --password-file or --password-stdin");
    if ((options.command == QLatin1String("lock") || options.command == QLatin1String("unlock"))
        && !isMultiLockForm(options) && !options.lockSupported)
        return QStringLiteral("%1 needs --locking yes (an IDE offers check-out only when "
                              "checkOutSupported() is true)")
            .arg(options.command);
    if (!passwordFile.isNull()) {
        QFile file(passwordFile);
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("cannot read the password file %1: %2")
                .arg(passwordFile, file.errorString());
        options.password = firstLine(file.readAll());
    } else if (passwordFromStdin) {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly))
            return QStringLiteral("cannot read standard input");
        options.password = firstLine(in.readLine());
    }
    return QString();
}

bool isMultiLockForm(const HostOptions& options)
{
    if (options.command == QLatin1String("lock"))
        return options.arguments.size() > 1 || options.steal;
    if (options.command == QLatin1String("unlock"))
        return options.arguments.size() > 1 || options.breakLock;
    return false;
}

QString defaultPluginPath()
{
    const QString installed = QCoreApplication::applicationDirPath()
        + QStringLiteral("/../" INSTALLED_PLUGIN_PATH);
    if (QFileInfo::exists(installed))
        return QDir::cleanPath(installed);
    return QStringLiteral(DEFAULT_PLUGIN_PATH);
}

QStringList splitPathParts(const QString& path)
{
    QStringList parts;
    const QStringList pieces = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& piece : pieces)
        if (piece != QLatin1String("."))
            parts << piece;
    return parts;
}

QString joinPathParts(const QStringList& parts)
{
    return parts.join(QLatin1Char('/'));
}

void setProviderOptions(SourceCodeControlSystemProviderInterface& provider, const HostOptions& options)
{
    provider.setOption(QLatin1String(SourceCodeControlOption::Executable), options.svnExecutable);
    // The password never shows in the process list, and no run hangs for ever.
    provider.setOption(QLatin1String(SourceCodeControlOption::PasswordFromStdin), QStringLiteral("Yes"));
    provider.setOption(QLatin1String(SourceCodeControlOption::Timeout),
                       QString::number(options.timeoutSeconds));
    if (!options.repositoryURL.isNull())
        provider.setOption(QLatin1String(SourceCodeControlOption::RepositoryURL), options.repositoryURL);
    provider.setOption(QLatin1String(SourceCodeControlOption::LockSupported),
                       options.lockSupported ? QStringLiteral("Yes") : QStringLiteral("No"));
}
