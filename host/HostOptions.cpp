#include "HostOptions.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QTextStream>

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
        else if (!global && (arg == QLatin1String("-m") || arg == QLatin1String("--message")))
            ok = value(options.comment);
        else if (!global && arg == QLatin1String("--discard"))
            options.discard = true;
        else if (!global && arg == QLatin1String("--replace"))
            options.replace = true;
        else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1)
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
        && !options.lockSupported)
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

QString defaultPluginPath()
{
    const QString installed = QCoreApplication::applicationDirPath()
        + QStringLiteral("/../" INSTALLED_PLUGIN_PATH);
    if (QFileInfo::exists(installed))
        return QDir::cleanPath(installed);
    return QStringLiteral(DEFAULT_PLUGIN_PATH);
}

QString hostUsage()
{
    return QStringLiteral(
        "usage: scc-host [global options] COMMAND [arguments] [command options]\n"
        "\n"
        "Loads the Subversion provider plug-in with dlopen, as an IDE does, and\n"
        "runs one provider operation. PATH arguments are relative to the local\n"
        "root (--root); REPOPATH arguments are relative to the repository URL.\n"
        "\n"
        "Global options:\n"
        "  --plugin FILE         the plug-in library to load (default: %1)\n"
        "  --svn PROGRAM         the svn client the provider runs (default: svn)\n"
        "  --url URL             the repository URL (option SVNRepositoryURL; login checks it)\n"
        "  --user NAME           user name for login; without it login is skipped\n"
        "  --password-file FILE  read the password from the first line of FILE\n"
        "  --password-stdin      read the password from the first line of standard input\n"
        "  --locking yes|no      whether the IDE offers locking (option SVNLockSupported; default no);\n"
        "                        lock and unlock need yes\n"
        "  --timeout SECONDS     end an svn run that takes longer (option SVNTimeout; default 120,\n"
        "                        0: no limit)\n"
        "  --root DIR            the local root (a working copy, or where to check one out)\n"
        "  --repository-root P   the local root's path below the URL; with it, --root is\n"
        "                        bound with both lists and checked out when it is not yet\n"
        "                        a working copy; without it, DIR must be a working copy\n"
        "  --keep DIR            demo: build the demo in DIR and leave it there\n"
        "  -h, --help            this text\n"
        "\n"
        "Commands:\n"
        "  login                 check the credentials against the URL (\"svn info\")\n"
        "  status PATH...        print the seven status outputs of each file\n"
        "  add PATH -m TEXT      add and commit a file, bringing its directories under control\n"
        "  get PATH [--discard]  bring a file up to date; --discard deletes the local copy first\n"
        "  cat PATH REV DEST     write revision REV of a file to DEST\n"
        "  lock PATH [-m TEXT] [--replace]\n"
        "                        lock a file for editing; --replace first replaces a modified\n"
        "                        local copy by the repository's text\n"
        "  unlock PATH [--discard]\n"
        "                        release a lock; --discard also restores the file\n"
        "  commit PATH -m TEXT   commit a file or directory\n"
        "  ls [REPOPATH]         list the files of a repository directory\n"
        "  dirs [REPOPATH]       list the subdirectories of a repository directory\n"
        "  mkdir REPOPATH        create a repository directory (immediate commit)\n"
        "  demo                  run the whole life cycle against a throwaway file://\n"
        "                        repository made with svnadmin; needs no server\n"
        "\n"
        "On failure the exit status is 1 and the failed svn subcommand and the\n"
        "client's error text are printed on standard error; a usage error exits\n"
        "with 2. The password is read from a file or standard input, never from\n"
        "scc-host's own arguments, and scc-host hands it to each svn run on that\n"
        "run's standard input (option SVNPasswordFromStdin), so it does not show\n"
        "in the process list. SIGINT or SIGTERM to scc-host ends a running svn\n"
        "client too.\n")
        .arg(defaultPluginPath());
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
