#include "HostCommands.h"

#include "HostOptions.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

namespace {

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

int usageError(QTextStream& err, const QString& text)
{
    err << "scc-host: " << text << "\n" << "Try scc-host --help.\n";
    err.flush();
    return 2;
}

int failed(SourceCodeControlSystemProviderInterface& provider, const QString& what,
           QTextStream& err)
{
    printLastError(provider, what, err);
    return 1;
}

} // namespace

bool queryStatus(SourceCodeControlSystemProviderInterface& provider,
                 const QStringList& pathParts, FileStatus& status)
{
    status = FileStatus();
    return provider.status(pathParts, status.controlled, status.checkedOut, status.modified,
                           status.outOfDate, status.statusText, status.revisionText,
                           status.lastChangedText);
}

QString statusHeading()
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
        .arg(QStringLiteral("controlled"), -10)
        .arg(QStringLiteral("checkedOut"), -10)
        .arg(QStringLiteral("modified"), -8)
        .arg(QStringLiteral("outOfDate"), -9)
        .arg(QStringLiteral("status"), -9)
        .arg(QStringLiteral("revision"), -8)
        .arg(QStringLiteral("changed"), -8)
        .arg(QStringLiteral("file"));
}

QString formatStatus(const FileStatus& status, const QString& name)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8")
        .arg(yesNo(status.controlled), -10)
        .arg(yesNo(status.checkedOut), -10)
        .arg(yesNo(status.modified), -8)
        .arg(yesNo(status.outOfDate), -9)
        .arg(QLatin1Char('[') + status.statusText + QLatin1Char(']'), -9)
        .arg(status.revisionText, -8)
        .arg(status.lastChangedText, -8)
        .arg(name);
}

void printLastError(SourceCodeControlSystemProviderInterface& provider,
                    const QString& what, QTextStream& err)
{
    QString command;
    const QString message = provider.getLastError(command);
    err << "scc-host: " << what << " failed\n";
    err << "  " << (command.isEmpty() ? QStringLiteral("(no svn command)") : command) << ":";
    const QStringList lines = message.split(QLatin1Char('\n'));
    if (message.isEmpty())
        err << " (no error text)\n";
    else if (lines.size() == 1)
        err << " " << message << "\n";
    else {
        err << "\n";
        for (const QString& line : lines)
            err << "    " << line << "\n";
    }
    err.flush();
}

QString clientProblem(const QString& svnExecutable)
{
    const QString path = svnExecutable.contains(QLatin1Char('/'))
        ? svnExecutable
        : QStandardPaths::findExecutable(svnExecutable);
    const QFileInfo info(path);
    if (svnExecutable.isEmpty() || path.isEmpty() || !info.exists())
        return QStringLiteral("cannot run '%1': not found").arg(svnExecutable);
    if (info.isDir() || !info.isExecutable())
        return QStringLiteral("cannot run '%1': not executable").arg(svnExecutable);
    return QString();
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

bool configureProvider(SourceCodeControlSystemProviderInterface& provider,
                       const HostOptions& options, QTextStream& err)
{
    setProviderOptions(provider, options);
    if (!options.userName.isNull()) {
        if (!provider.login(options.userName, options.password, options.repositoryURL)) {
            printLastError(provider, QStringLiteral("login"), err);
            return false;
        }
    }
    if (!options.localRoot.isNull()) {
        // The check-out runs in the root's parent; a child that cannot enter
        // its working directory runs where the host runs, so make sure it exists.
        if (!options.repositoryRoot.isNull())
            QDir().mkpath(QFileInfo(options.localRoot).path());
        const QStringList localRoots = splitPathParts(options.localRoot);
        QString commandBefore;
        const QString messageBefore = provider.getLastError(commandBefore);
        const bool bound = options.repositoryRoot.isNull()
            ? provider.setRoots(localRoots)
            : provider.setRoots(localRoots, splitPathParts(options.repositoryRoot));
        if (!bound) {
            QString command;
            const QString message = provider.getLastError(command);
            // The one-list form runs nothing for a folder that is no working copy.
            if (command == commandBefore && message == messageBefore && options.repositoryRoot.isNull())
                err << "scc-host: " << options.localRoot
                    << " is not a working copy (give --repository-root to check one out there)\n";
            else
                printLastError(provider, QStringLiteral("setRoots %1").arg(options.localRoot), err);
            return false;
        }
    }
    return true;
}

int runHostCommand(SourceCodeControlSystemProviderInterface& provider,
                   const HostOptions& options, QTextStream& out, QTextStream& err)
{
    const QString& command = options.command;
    const QStringList& args = options.arguments;
    auto needs = [&](int count) { return args.size() == count; };
    const QStringList workingCopyCommands = {
        QStringLiteral("status"), QStringLiteral("add"), QStringLiteral("get"), QStringLiteral("cat"),
        QStringLiteral("lock"), QStringLiteral("unlock"), QStringLiteral("commit")};
    if (workingCopyCommands.contains(command) && options.localRoot.isNull())
        return usageError(err, QStringLiteral("%1 needs --root").arg(command));

    if (command == QLatin1String("login")) {
        if (options.userName.isNull())
            return usageError(err, QStringLiteral("login needs --user"));
        out << "login " << options.userName << " at " << options.repositoryURL << ": ok\n";
        return 0;
    }
    if (command == QLatin1String("status")) {
        if (args.isEmpty())
            return usageError(err, QStringLiteral("usage: status PATH..."));
        out << statusHeading() << "\n";
        int result = 0;
        for (const QString& path : args) {
            FileStatus status;
            if (!queryStatus(provider, splitPathParts(path), status)) {
                out << formatStatus(status, path) << "  (not known)\n";
                out.flush();
                printLastError(provider, QStringLiteral("status %1").arg(path), err);
                result = 1;
            } else {
                out << formatStatus(status, path) << "\n";
            }
        }
        return result;
    }
    if (command == QLatin1String("add")) {
        if (!needs(1) || options.comment.isNull())
            return usageError(err, QStringLiteral("usage: add PATH -m TEXT"));
        if (!provider.addFile(splitPathParts(args.at(0)), options.comment))
            return failed(provider, QStringLiteral("add %1").arg(args.at(0)), err);
        out << "added and committed " << args.at(0) << "\n";
        return 0;
    }
    if (command == QLatin1String("get")) {
        if (!needs(1))
            return usageError(err, QStringLiteral("usage: get PATH [--discard]"));
        if (!provider.getFile(splitPathParts(args.at(0)), !options.discard))
            return failed(provider, QStringLiteral("get %1").arg(args.at(0)), err);
        out << "updated " << args.at(0) << (options.discard ? " (local copy replaced)\n" : "\n");
        return 0;
    }
    if (command == QLatin1String("cat")) {
        if (!needs(3))
            return usageError(err, QStringLiteral("usage: cat PATH REV DEST"));
        if (!provider.getTo(splitPathParts(args.at(0)), args.at(1), args.at(2)))
            return failed(provider, QStringLiteral("cat %1").arg(args.at(0)), err);
        out << "wrote " << args.at(0) << " at revision " << args.at(1) << " to " << args.at(2) << "\n";
        return 0;
    }
    if (command == QLatin1String("lock")) {
        if (!needs(1))
            return usageError(err, QStringLiteral("usage: lock PATH [-m TEXT] [--replace]"));
        if (!provider.checkout(splitPathParts(args.at(0)), options.comment, options.replace))
            return failed(provider, QStringLiteral("lock %1").arg(args.at(0)), err);
        out << "locked " << args.at(0) << "\n";
        return 0;
    }
    if (command == QLatin1String("unlock")) {
        if (!needs(1))
            return usageError(err, QStringLiteral("usage: unlock PATH [--discard]"));
        if (!provider.undoCheckout(splitPathParts(args.at(0)), options.discard))
            return failed(provider, QStringLiteral("unlock %1").arg(args.at(0)), err);
        out << "unlocked " << args.at(0) << (options.discard ? " (local changes discarded)\n" : "\n");
        return 0;
    }
    if (command == QLatin1String("commit")) {
        if (!needs(1) || options.comment.isNull())
            return usageError(err, QStringLiteral("usage: commit PATH -m TEXT"));
        if (!provider.checkin(splitPathParts(args.at(0)), options.comment))
            return failed(provider, QStringLiteral("commit %1").arg(args.at(0)), err);
        out << "committed " << args.at(0) << "\n";
        return 0;
    }
    if (command == QLatin1String("ls") || command == QLatin1String("dirs")) {
        if (args.size() > 1)
            return usageError(err, QStringLiteral("usage: %1 [REPOPATH]").arg(command));
        const QString path = args.value(0);
        QStringList names;
        const bool files = command == QLatin1String("ls");
        const bool ok = files ? provider.getFilesList(splitPathParts(path), names)
                              : provider.getDirectoriesList(splitPathParts(path), names);
        if (!ok)
            return failed(provider, QStringLiteral("%1 %2").arg(command, path), err);
        for (const QString& name : names)
            out << name << (files ? "\n" : "/\n");
        return 0;
    }
    if (command == QLatin1String("mkdir")) {
        const QStringList parts = needs(1) ? splitPathParts(args.at(0)) : QStringList();
        if (parts.isEmpty())
            return usageError(err, QStringLiteral("usage: mkdir REPOPATH"));
        if (!provider.createDirectory(parts.mid(0, parts.size() - 1), parts.last()))
            return failed(provider, QStringLiteral("mkdir %1").arg(args.at(0)), err);
        out << "created " << args.at(0) << " in the repository\n";
        return 0;
    }
    if (command.isEmpty())
        return usageError(err, QStringLiteral("no command given"));
    return usageError(err, QStringLiteral("unknown command %1").arg(command));
}
