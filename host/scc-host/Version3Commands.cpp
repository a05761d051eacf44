#include "Version3Commands.h"

#include "HostCommands.h"
#include "HostOptions.h"

#include <QTextStream>

namespace {

using SourceCodeControl::ConflictInfo;
using SourceCodeControl::ItemChange;
using SourceCodeControl::ItemInfo;

const char* const s_commands[] = {"info", "copy", "switch", "merge", "mergeinfo", "relocate"};

int usageError(QTextStream& err, const QString& text)
{
    err << "scc-host: " << text << "\nTry scc-host --help.\n";
    err.flush();
    return 2;
}

int failed(SourceCodeControlSystemProviderInterface3& provider, const QString& what, QTextStream& err)
{
    printLastError(provider, what, err);
    return 1;
}

QString interfacePath(const QString& argument)
{
    return joinPathParts(splitPathParts(argument));
}

QString shown(const QString& path)
{
    return path.isEmpty() ? QStringLiteral(".") : path;
}

void printConflicts(const QStringList& conflicted, QTextStream& out)
{
    if (!conflicted.isEmpty())
        out << "conflicts:\n";
    for (const QString& path : conflicted)
        out << "  " << shown(path) << "\n";
}

// One block a path, as "svn info" names the fields; a field with nothing
// to say is left out, and a blank line ends the block.
void printInfo(const ItemInfo& info, QTextStream& out)
{
    const auto field = [&out](const char* name, const QString& value) {
        if (!value.isEmpty())
            out << name << ": " << value << "\n";
    };
    field("Path", shown(info.path));
    field("Kind", info.kind);
    field("URL", info.url);
    field("Repository Path", info.repositoryPath.isEmpty() ? QStringLiteral("/") : info.repositoryPath);
    field("Repository Root", info.repositoryRoot);
    field("Repository UUID", info.repositoryUuid);
    field("Revision", info.revision);
    field("Last Changed Rev", info.lastChangedRevision);
    field("Last Changed Author", info.lastChangedAuthor);
    field("Last Changed Date",
          info.lastChangedDate.isValid() ? info.lastChangedDate.toUTC().toString(Qt::ISODate) : QString());
    field("Schedule", info.schedule);
    field("Depth", info.depth);
    field("Changelist", info.changelist);
    field("Moved From", info.movedFrom);
    field("Moved To", info.movedTo);
    field("Lock Owner", info.lockOwner);
    field("Lock Comment", info.lockComment);
    for (const ConflictInfo& conflict : info.conflicts) {
        if (conflict.kind == QLatin1String("text")) {
            field("Conflict Base File", conflict.baseFile);
            field("Conflict Theirs File", conflict.theirsFile);
            field("Conflict Mine File", conflict.mineFile);
        } else if (conflict.kind == QLatin1String("property")) {
            field("Conflict Properties File", conflict.rejectFile);
        } else {
            field("Tree Conflict", conflict.description);
        }
    }
    out << "\n";
}

int run(SourceCodeControlSystemProviderInterface3& provider, const HostOptions& options, QTextStream& out,
        QTextStream& err)
{
    const QString& command = options.command;
    const QStringList& args = options.arguments;
    const QString what = (QStringList{command} + args).join(QLatin1Char(' '));

    if (command == QLatin1String("info")) {
        if (args.isEmpty())
            return usageError(err, QStringLiteral("usage: info PATH..."));
        QStringList paths;
        for (const QString& argument : args)
            paths << interfacePath(argument);
        QList<ItemInfo> infos;
        if (!provider.info(paths, infos))
            return failed(provider, what, err);
        for (const ItemInfo& info : infos)
            printInfo(info, out);
        return 0;
    }
    if (command == QLatin1String("copy")) {
        if (args.size() != 2 || options.comment.isNull())
            return usageError(err, QStringLiteral("usage: copy FROM TO -m TEXT [-r REV]"));
        QString revision;
        if (!provider.copy(args.at(0), options.revision, args.at(1), options.comment, revision))
            return failed(provider, what, err);
        out << "copied " << args.at(0) << " to " << args.at(1) << " in revision " << revision << "\n";
        return 0;
    }
    if (command == QLatin1String("switch")) {
        if (args.isEmpty() || args.size() > 2)
            return usageError(err, QStringLiteral("usage: switch REPOPATH [PATH] [-r REV]"));
        QStringList conflicted;
        const QString path = interfacePath(args.value(1));
        if (!provider.switchTo(path, args.at(0), options.revision, conflicted))
            return failed(provider, what, err);
        out << "switched " << shown(path) << " to " << args.at(0)
            << (options.revision.isEmpty() ? QString() : QStringLiteral(" at revision ") + options.revision) << "\n";
        printConflicts(conflicted, out);
        return 0;
    }
    if (command == QLatin1String("merge")) {
        const QStringList revisions = options.changes.split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (args.isEmpty() || args.size() > 2 || (!options.changes.isNull() && revisions.isEmpty()))
            return usageError(err, QStringLiteral("usage: merge SOURCE [PATH] [-c REV[,REV...]] [--dry-run] [--record-only]"));
        QList<ItemChange> changes;
        QStringList conflicted;
        if (!provider.merge(interfacePath(args.value(1)), args.at(0), revisions, options.dryRun, options.recordOnly,
                            changes, conflicted))
            return failed(provider, what, err);
        // The client's own columns, then the path.
        for (const ItemChange& change : changes)
            out << change.action << " " << shown(change.path) << "\n";
        if (options.dryRun)
            out << "(dry run: nothing changed)\n";
        printConflicts(conflicted, out);
        return 0;
    }
    if (command == QLatin1String("mergeinfo")) {
        if (args.isEmpty() || args.size() > 2)
            return usageError(err, QStringLiteral("usage: mergeinfo SOURCE [PATH] [--merged]"));
        QStringList revisions;
        if (!provider.mergeInfo(interfacePath(args.value(1)), args.at(0), options.merged, revisions))
            return failed(provider, what, err);
        for (const QString& revision : revisions)
            out << "r" << revision << "\n";
        return 0;
    }
    if (command == QLatin1String("lock")) {
        if (args.isEmpty() || options.replace)
            return usageError(err, QStringLiteral("usage: lock PATH... [-m TEXT] [--steal]"));
        QStringList paths;
        for (const QString& argument : args)
            paths << interfacePath(argument);
        if (!provider.lock(paths, options.comment, options.steal))
            return failed(provider, what, err);
        for (const QString& path : args)
            out << "locked " << path << (options.steal ? " (taken over)\n" : "\n");
        return 0;
    }
    if (command == QLatin1String("unlock")) {
        if (args.isEmpty() || options.discard)
            return usageError(err, QStringLiteral("usage: unlock PATH... [--break]"));
        QStringList paths;
        for (const QString& argument : args)
            paths << interfacePath(argument);
        if (!provider.unlock(paths, options.breakLock))
            return failed(provider, what, err);
        for (const QString& path : args)
            out << "unlocked " << path << (options.breakLock ? " (broken)\n" : "\n");
        return 0;
    }
    if (command == QLatin1String("relocate")) {
        if (args.size() != 1)
            return usageError(err, QStringLiteral("usage: relocate URL"));
        if (!provider.relocate(args.at(0)))
            return failed(provider, what, err);
        out << "relocated to " << args.at(0) << "\n";
        return 0;
    }
    return usageError(err, QStringLiteral("unknown command %1").arg(command));
}

} // namespace

bool isVersion3Command(const HostOptions& options)
{
    if (isMultiLockForm(options))
        return true;
    for (const char* name : s_commands)
        if (options.command == QLatin1String(name))
            return true;
    return false;
}

int runVersion3Command(SourceCodeControlSystemProviderInterface3* provider, const HostOptions& options,
                       QTextStream& out, QTextStream& err)
{
    if (!provider) {
        err << "scc-host: " << options.command << " needs version 3 of the provider interface, and "
            << options.plugin << " offers an older one only (it lacks AllocateSourceCodeControlSystemInterface3)\n";
        return 1;
    }
    if (options.localRoot.isNull())
        return usageError(err, QStringLiteral("%1 needs --root").arg(options.command));
    return run(*provider, options, out, err);
}
