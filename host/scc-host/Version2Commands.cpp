#include "Version2Commands.h"

#include "HostCommands.h"
#include "HostOptions.h"

#include <QTextStream>

#include <cstdio>

namespace {

using SourceCodeControl::Resolution;

const char* const s_commands[] = {"schedule", "commit",   "revert", "rm",   "mv",      "update",
                                  "resolve",  "log",      "annotate", "diff", "changes", "cleanup"};

struct Choice
{
    const char* name;
    Resolution resolution;
};
const Choice s_choices[] = {{"working", Resolution::Working},
                            {"base", Resolution::Base},
                            {"mine-full", Resolution::MineFull},
                            {"theirs-full", Resolution::TheirsFull}};

void printProgress(void*, const QString& item, int itemsSoFar)
{
    const QByteArray line =
        QStringLiteral("progress %1: %2\n").arg(QString::number(itemsSoFar), item).toLocal8Bit();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

// Revisions right-aligned and authors left-aligned, each column as wide as
// its longest entry; "-" for a line changed locally.
void printAnnotation(const QList<SourceCodeControl::AnnotatedLine>& lines, QTextStream& out)
{
    qsizetype revisionWidth = 1;
    qsizetype authorWidth = 0;
    for (const SourceCodeControl::AnnotatedLine& line : lines) {
        revisionWidth = qMax(revisionWidth, line.revision.size());
        authorWidth = qMax(authorWidth, line.author.size());
    }
    for (const SourceCodeControl::AnnotatedLine& line : lines)
        out << QStringLiteral("%1 %2 ")
                   .arg(line.revision.isEmpty() ? QStringLiteral("-") : line.revision, int(revisionWidth))
                   .arg(line.author, -int(authorWidth))
            << line.text << "\n";
}

int run(SourceCodeControlSystemProviderInterface2& provider, const HostOptions& options, QTextStream& out,
        QTextStream& err)
{
    const QString& command = options.command;
    const QStringList& args = options.arguments;
    const QString what = (QStringList{command} + args).join(QLatin1Char(' '));

    if (command == QLatin1String("schedule")) {
        if (args.isEmpty())
            return usageError(err, QStringLiteral("usage: schedule PATH..."));
        if (!provider.add(interfacePaths(args)))
            return failed(provider, what, err);
        for (const QString& path : args)
            out << "scheduled " << path << " for addition\n";
        return 0;
    }
    if (command == QLatin1String("commit")) {
        if (args.isEmpty() || options.comment.isNull())
            return usageError(err, QStringLiteral("usage: commit PATH... -m TEXT"));
        QString revision;
        if (!provider.commit(interfacePaths(args), options.comment, revision))
            return failed(provider, what, err);
        if (revision.isEmpty())
            out << "nothing to commit\n";
        else
            out << "Committed revision " << revision << ".\n";
        return 0;
    }
    if (command == QLatin1String("revert")) {
        if (args.isEmpty())
            return usageError(err, QStringLiteral("usage: revert PATH... [--recursive]"));
        if (!provider.revert(interfacePaths(args), options.recursive))
            return failed(provider, what, err);
        for (const QString& path : args)
            out << "reverted " << path << "\n";
        return 0;
    }
    if (command == QLatin1String("rm")) {
        if (args.isEmpty())
            return usageError(err, QStringLiteral("usage: rm PATH... [--keep-local]"));
        if (!provider.remove(interfacePaths(args), options.keepLocal))
            return failed(provider, what, err);
        for (const QString& path : args)
            out << "scheduled " << path << " for deletion" << (options.keepLocal ? " (kept on disk)\n" : "\n");
        return 0;
    }
    if (command == QLatin1String("mv")) {
        if (args.size() != 2)
            return usageError(err, QStringLiteral("usage: mv FROM TO"));
        if (!provider.move(interfacePath(args.at(0)), interfacePath(args.at(1))))
            return failed(provider, what, err);
        out << "moved " << args.at(0) << " to " << args.at(1) << "\n";
        return 0;
    }
    if (command == QLatin1String("update")) {
        const QStringList paths = args.isEmpty() ? QStringList{QStringLiteral(".")} : args;
        QStringList conflicted;
        if (!provider.update(interfacePaths(paths), options.revision, conflicted))
            return failed(provider, what, err);
        for (const QString& path : paths)
            out << "updated " << path
                << (options.revision.isEmpty() ? QString() : QStringLiteral(" to revision ") + options.revision)
                << "\n";
        if (!conflicted.isEmpty())
            out << "conflicts:\n";
        for (const QString& path : conflicted)
            out << "  " << (path.isEmpty() ? QStringLiteral(".") : path) << "\n";
        return 0;
    }
    if (command == QLatin1String("resolve")) {
        const Choice* choice = nullptr;
        for (const Choice& c : s_choices)
            if (options.accept == QLatin1String(c.name))
                choice = &c;
        if (args.size() != 1 || !choice)
            return usageError(err, QStringLiteral("usage: resolve PATH --accept working|base|mine-full|theirs-full"));
        if (!provider.resolve(interfacePath(args.at(0)), choice->resolution))
            return failed(provider, what, err);
        out << "resolved " << args.at(0) << " with " << choice->name << "\n";
        return 0;
    }
    if (command == QLatin1String("log")) {
        if (args.size() != 1)
            return usageError(err, QStringLiteral("usage: log PATH [--limit N]"));
        QList<SourceCodeControl::LogEntry> entries;
        if (!provider.log(interfacePath(args.at(0)), options.limit, entries))
            return failed(provider, what, err);
        for (const SourceCodeControl::LogEntry& entry : entries)
            printLogEntry(entry, out);
        return 0;
    }
    if (command == QLatin1String("annotate")) {
        if (args.size() != 1)
            return usageError(err, QStringLiteral("usage: annotate PATH [-r REV]"));
        QList<SourceCodeControl::AnnotatedLine> lines;
        if (!provider.annotate(interfacePath(args.at(0)), options.revision, lines))
            return failed(provider, what, err);
        printAnnotation(lines, out);
        return 0;
    }
    if (command == QLatin1String("diff")) {
        const qsizetype colon = options.revision.indexOf(QLatin1Char(':'));
        const QString from = colon < 0 ? options.revision : options.revision.left(colon);
        const QString to = colon < 0 ? QString() : options.revision.mid(colon + 1);
        if (args.size() != 1 || (colon >= 0 && (from.isEmpty() || to.isEmpty())))
            return usageError(err, QStringLiteral("usage: diff PATH [-r FROM[:TO]]"));
        QByteArray diff;
        if (!provider.diff(interfacePath(args.at(0)), from, to, diff))
            return failed(provider, what, err);
        writeBytes(out, diff);
        return 0;
    }
    if (command == QLatin1String("changes")) {
        if (args.size() > 1)
            return usageError(err, QStringLiteral("usage: changes [FOLDER]"));
        QList<SourceCodeControl::Change> changes;
        if (!provider.changes(interfacePath(args.value(0)), changes))
            return failed(provider, what, err);
        for (const SourceCodeControl::Change& change : changes)
            out << QStringLiteral("%1").arg(change.statusColumns, -7) << " "
                << (change.path.isEmpty() ? QStringLiteral(".") : change.path) << "\n";
        return 0;
    }
    if (command == QLatin1String("cleanup")) {
        if (args.size() > 1)
            return usageError(err, QStringLiteral("usage: cleanup [FOLDER]"));
        if (!provider.cleanup(interfacePath(args.value(0))))
            return failed(provider, what, err);
        out << "cleaned up " << (args.isEmpty() ? QStringLiteral(".") : args.at(0)) << "\n";
        return 0;
    }
    return usageError(err, QStringLiteral("unknown command %1").arg(command));
}

} // namespace

bool isVersion2Command(const QString& command)
{
    for (const char* name : s_commands)
        if (command == QLatin1String(name))
            return true;
    return false;
}

int runVersion2Command(SourceCodeControlSystemProviderInterface2* provider, const HostOptions& options,
                       QTextStream& out, QTextStream& err)
{
    if (!provider) {
        err << "scc-host: " << options.command << " needs version 2 of the provider interface, and "
            << options.plugin << " offers version 1 only (it lacks AllocateSourceCodeControlSystemInterface2)\n";
        return 1;
    }
    if (options.localRoot.isNull())
        return usageError(err, QStringLiteral("%1 needs --root").arg(options.command));
    return run(*provider, options, out, err);
}

void showProgress(SourceCodeControlSystemProviderInterface2& provider)
{
    provider.setProgressHandler(printProgress, nullptr);
}
