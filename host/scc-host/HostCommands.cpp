#include "HostCommands.h"

#include "HostOptions.h"
#include "ProviderSetUp.h"
#include "Version2Commands.h"
#include "Version3Commands.h"

#include <QFileDevice>
#include <QTextStream>

#include <cstdio>

namespace {

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

void printFailure(const QString& what, const QString& command, const QString& message, QTextStream& err)
{
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

} // namespace

int usageError(QTextStream& err, const QString& text)
{
    err << "scc-host: " << text << "\n" << "Try scc-host --help.\n";
    err.flush();
    return 2;
}

int failed(SourceCodeControlSystemProviderInterface& provider, const QString& what, QTextStream& err)
{
    printLastError(provider, what, err);
    return 1;
}

QString interfacePath(const QString& argument)
{
    return joinPathParts(splitPathParts(argument));
}

QStringList interfacePaths(const QStringList& arguments)
{
    QStringList paths;
    for (const QString& argument : arguments)
        paths << interfacePath(argument);
    return paths;
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
    printFailure(what, command, message, err);
}

void printLogEntry(const SourceCodeControl::LogEntry& entry, QTextStream& out)
{
    out << "r" << entry.revision << " | "
        << (entry.author.isEmpty() ? QStringLiteral("(no author)") : entry.author) << " | "
        << (entry.date.isValid() ? entry.date.toUTC().toString(Qt::ISODate) : QStringLiteral("(no date)"))
        << "\n";
    out << entry.message;
    if (!entry.message.isEmpty() && !entry.message.endsWith(QLatin1Char('\n')))
        out << "\n";
    for (const QString& path : entry.changedPaths)
        out << "  " << path << "\n";
    out << "\n";
}

void writeBytes(QTextStream& out, const QByteArray& bytes)
{
    out.flush();
    if (QIODevice* device = out.device()) {
        device->write(bytes);
        if (auto* file = qobject_cast<QFileDevice*>(device))
            file->flush();
    } else {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
    }
}

bool configureProvider(SourceCodeControlSystemProviderInterface& provider,
                       const HostOptions& options, QTextStream& err)
{
    const ProviderSetUp setUp = setUpProvider(provider, options);
    if (setUp.failedStep == ProviderSetUp::NotAWorkingCopy)
        err << "scc-host: " << setUp.message << " (give --repository-root to check one out there)\n";
    else if (setUp.failedStep == ProviderSetUp::Login)
        printFailure(QStringLiteral("login"), setUp.command, setUp.message, err);
    else if (setUp.failedStep == ProviderSetUp::Binding)
        printFailure(QStringLiteral("setRoots %1").arg(options.localRoot), setUp.command, setUp.message, err);
    return !setUp.failed();
}

int runHostCommand(SourceCodeControlSystemProviderInterface& provider,
                   SourceCodeControlSystemProviderInterface2* provider2,
                   SourceCodeControlSystemProviderInterface3* provider3, const HostOptions& options,
                   QTextStream& out, QTextStream& err)
{
    const QString& command = options.command;
    if (provider2 && options.verbose)
        showProgress(*provider2);
    // Version 3 first: log is version 2's too, and a version-3 plug-in pages it.
    if (isVersion3Command(options) || (provider3 && isLogPage(options)))
        return runVersion3Command(provider3, options, out, err);
    if (isVersion2Command(command))
        return runVersion2Command(provider2, options, out, err);
    const QStringList& args = options.arguments;
    auto needs = [&](int count) { return args.size() == count; };
    const QStringList workingCopyCommands = {
        QStringLiteral("status"), QStringLiteral("add"), QStringLiteral("get"), QStringLiteral("cat"),
        QStringLiteral("lock"), QStringLiteral("unlock"), QStringLiteral("checkin")};
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
        // Several files: one client run for the whole local root answers them all.
        if (args.size() > 1)
            provider.setOption(QLatin1String(SourceCodeControlOption::StatusScope), QStringLiteral("WorkingCopy"));
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
    if (command == QLatin1String("checkin")) {
        if (!needs(1) || options.comment.isNull())
            return usageError(err, QStringLiteral("usage: checkin PATH -m TEXT"));
        if (!provider.checkin(splitPathParts(args.at(0)), options.comment))
            return failed(provider, QStringLiteral("checkin %1").arg(args.at(0)), err);
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

QString hostUsage()
{
    return QStringLiteral(
        "usage: scc-host [global options] COMMAND [arguments] [command options]\n"
        "\n"
        "Loads the Subversion provider plug-in with dlopen, as an IDE does, and\n"
        "runs one provider operation. PATH arguments are relative to the local\n"
        "root (--root; \".\" is the local root itself); REPOPATH arguments are\n"
        "relative to the repository URL.\n"
        "\n"
        "Global options:\n"
        "  --plugin FILE         the plug-in library to load (default: %1)\n"
        "  --svn PROGRAM         the svn client the provider runs (default: svn)\n"
        "  --url URL             the repository URL (option SVNRepositoryURL; login checks it)\n"
        "  --user NAME           user name for login; without it login is skipped\n"
        "  --password-file FILE  read the password from the first line of FILE\n"
        "  --password-stdin      read the password from the first line of standard input\n"
        "  --locking yes|no      whether the IDE offers locking (option SVNLockSupported; default no);\n"
        "                        lock and unlock of one file without --steal / --break need yes\n"
        "  --timeout SECONDS     end an svn run silent for longer (option SVNTimeout; default 120,\n"
        "                        0: no limit)\n"
        "  --root DIR            the local root (a working copy, or where to check one out)\n"
        "  --repository-root P   the local root's path below the URL; with it, --root is\n"
        "                        bound with both lists and checked out when it is not yet\n"
        "                        a working copy; without it, DIR must be a working copy\n"
        "  --keep DIR            demo: build the demo in DIR and leave it there\n"
        "  --verbose             print every svn run of the provider on standard error: where\n"
        "                        and what runs (the password as ******) and how it ended; and\n"
        "                        each item a long operation reports (\"progress 3: Sending a.c\")\n"
        "  --ask                 when standard input is a terminal, ask there what a server or\n"
        "                        ssh asks (user and password, an untrusted certificate, ssh's\n"
        "                        host key or passphrase); otherwise nothing is asked\n"
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
        "  checkin PATH -m TEXT  commit one file or directory (checkin)\n"
        "  ls [REPOPATH]         list the files of a repository directory\n"
        "  dirs [REPOPATH]       list the subdirectories of a repository directory\n"
        "  mkdir REPOPATH        create a repository directory (immediate commit)\n"
        "  demo                  run the whole life cycle against a throwaway file://\n"
        "                        repository made with svnadmin; needs no server\n"
        "\n"
        "Commands of version 2 of the interface (a plug-in without it refuses them):\n"
        "  schedule PATH...      schedule files and folders for addition, with missing parent\n"
        "                        folders; nothing is committed\n"
        "  commit PATH... -m TEXT\n"
        "                        commit them all in one revision (a folder: everything changed\n"
        "                        below it); prints \"Committed revision N.\" or \"nothing to commit\"\n"
        "  revert PATH... [--recursive]\n"
        "                        back to the base text; --recursive reverts folders whole; an\n"
        "                        added file stays on disk, unversioned\n"
        "  rm PATH... [--keep-local]\n"
        "                        schedule for deletion; --keep-local leaves the files on disk\n"
        "  mv FROM TO            move or rename a file or folder, history kept (TO is its new path)\n"
        "  update [PATH...] [-r REV]\n"
        "                        bring PATHs (default: the local root) to REV (default: HEAD);\n"
        "                        conflicts are postponed and listed after \"conflicts:\"\n"
        "  resolve PATH --accept working|base|mine-full|theirs-full\n"
        "                        mark a conflict resolved, keeping the chosen text\n"
        "  log PATH [--limit N]  history, newest first: revision, author, date (UTC), message\n"
        "                        and the changed paths\n"
        "  annotate PATH [-r REV]\n"
        "                        each line with the revision and author that last changed it\n"
        "                        (REV: BASE by default; WORKING shows local edits as \"-\")\n"
        "  diff PATH [-r FROM[:TO]]\n"
        "                        the client's unified diff, byte for byte: local changes, FROM\n"
        "                        to the working file, or FROM to TO\n"
        "  changes [FOLDER]      every changed item below FOLDER, from the working copy alone,\n"
        "                        as svn status prints it\n"
        "  cleanup [FOLDER]      finish or undo what a killed client left below FOLDER\n"
        "\n"
        "Commands of version 3 of the interface (a plug-in without it refuses them).\n"
        "REPOPATH, SOURCE, FROM and TO are relative to the repository root\n"
        "(\"trunk\", \"branches/1.0\"):\n"
        "  info PATH...          what the working copy records of each: URL, repository path,\n"
        "                        revisions, lock, conflicts and their files (no server)\n"
        "  copy FROM TO -m TEXT [-r REV]\n"
        "                        make a branch or tag: one server-side copy of FROM (at REV,\n"
        "                        default HEAD) to TO, which must not exist\n"
        "  switch REPOPATH [PATH] [-r REV]\n"
        "                        switch PATH (default: the local root) to REPOPATH; conflicts\n"
        "                        are postponed and listed after \"conflicts:\"\n"
        "  merge SOURCE [PATH] [-c REV[,REV...]] [--dry-run] [--record-only]\n"
        "                        merge SOURCE into PATH: every eligible revision, or each REV\n"
        "                        (\"42\", a range \"40-45\", \"-42\" to undo 42); prints each item\n"
        "                        line of the client; --dry-run changes nothing\n"
        "  mergeinfo SOURCE [PATH] [--merged]\n"
        "                        the revisions of SOURCE still eligible for PATH (--merged: the\n"
        "                        ones merged already), one \"rN\" a line, oldest first\n"
        "  lock PATH... [-m TEXT] [--steal]\n"
        "                        with several PATHs or --steal: lock them all in one run;\n"
        "                        --steal takes over a lock another user holds\n"
        "  unlock PATH... [--break]\n"
        "                        with several PATHs or --break: unlock them all in one run;\n"
        "                        --break removes a lock this working copy does not hold\n"
        "  relocate URL          point the working copy at the repository's new root URL\n"
        "  proplist PATH         every property of PATH, as \"svn proplist -v\" prints it; a value\n"
        "                        that is not printable text as \"NAME (binary, N bytes, base64)\"\n"
        "                        and its base64 on the next line\n"
        "  propset NAME VALUE PATH...\n"
        "  propset NAME -F FILE PATH...\n"
        "                        set a property on each PATH; -F: the value is FILE's bytes\n"
        "  propdel NAME PATH...  delete a property from each PATH\n"
        "  ignore PATH...        add each unversioned PATH to svn:ignore of its folder\n"
        "  changelist NAME PATH...\n"
        "  changelist --remove PATH...\n"
        "                        put files into changelist NAME, or take them out of theirs\n"
        "  log PATH [--from REV] [--limit N] [--search TEXT]\n"
        "                        one page of history from REV (default: HEAD) back, at most N\n"
        "                        entries; --search keeps those matching TEXT (a glob over author,\n"
        "                        date, message and changed paths, any case)\n"
        "  changed PATH -r FROM[:TO]\n"
        "                        what changed below PATH in the repository from FROM to TO\n"
        "                        (default: HEAD), as \"svn diff --summarize\" prints it\n"
        "  depth PATH empty|files|immediates|infinity|exclude\n"
        "                        make a folder sparse or full; exclude takes it out\n"
        "  upgrade               bring an older working copy to the client's format\n"
        "  patch-create PATH...  the local changes of PATHs as a patch in git's format, its bytes\n"
        "                        on standard output\n"
        "  patch-apply FILE [--strip N] [--dry-run]\n"
        "                        apply a patch, N leading name components removed (default:\n"
        "                        worked out from the names); prints the client's item lines;\n"
        "                        exit status 1 when a hunk was rejected or an item skipped\n"
        "\n"
        "On failure the exit status is 1 and the failed svn subcommand and the\n"
        "client's error text are printed on standard error; a usage error exits\n"
        "with 2. The password is read from a file or standard input, never from\n"
        "scc-host's own arguments, and scc-host hands it to each svn run on that\n"
        "run's standard input (option SVNPasswordFromStdin), so it does not show\n"
        "in the process list. SIGINT or SIGTERM to scc-host cancels the running\n"
        "operation: its svn client ends at once (one that changes the working copy\n"
        "gets a second, and the working copy is cleaned up after it).\n")
        .arg(defaultPluginPath());
}
