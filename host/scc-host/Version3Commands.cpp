#include "Version3Commands.h"

#include "HostCommands.h"
#include "HostOptions.h"

#include <QFile>
#include <QStringDecoder>
#include <QTextStream>

namespace {

using SourceCodeControl::ConflictInfo;
using SourceCodeControl::Depth;
using SourceCodeControl::ItemChange;
using SourceCodeControl::ItemInfo;
using SourceCodeControl::LogEntry;
using SourceCodeControl::Property;

QStringList mergeRevisions(const HostOptions& options)
{
    return options.changes.split(QLatin1Char(','), Qt::SkipEmptyParts);
}

// "FROM" or "FROM:TO", neither side empty; TO is "" (HEAD) when not given.
bool splitRange(const QString& range, QString& from, QString& to)
{
    const qsizetype colon = range.indexOf(QLatin1Char(':'));
    from = colon < 0 ? range : range.left(colon);
    to = colon < 0 ? QString() : range.mid(colon + 1);
    return !from.isEmpty() && (colon < 0 || !to.isEmpty());
}

struct DepthWord
{
    const char* word;
    Depth depth;
};
const DepthWord s_depthWords[] = {{"empty", Depth::Empty},
                                  {"files", Depth::Files},
                                  {"immediates", Depth::Immediates},
                                  {"infinity", Depth::Infinity},
                                  {"exclude", Depth::Exclude}};

const DepthWord* depthWord(const QString& word)
{
    for (const DepthWord& known : s_depthWords)
        if (word == QLatin1String(known.word))
            return &known;
    return nullptr;
}

// Each subcommand with its usage line and whether a command line has the
// arguments it needs; checked before the plug-in runs anything.
struct Command
{
    const char* name;
    const char* usage;
    bool (*fits)(const HostOptions& options);
};
const Command s_commands[] = {
    {"info", "info PATH...", [](const HostOptions& o) { return !o.arguments.isEmpty(); }},
    {"copy", "copy FROM TO -m TEXT [-r REV]",
     [](const HostOptions& o) { return o.arguments.size() == 2 && !o.comment.isNull(); }},
    {"switch", "switch REPOPATH [PATH] [-r REV]",
     [](const HostOptions& o) { return !o.arguments.isEmpty() && o.arguments.size() <= 2; }},
    {"merge", "merge SOURCE [PATH] [-c REV[,REV...]] [--dry-run] [--record-only]",
     [](const HostOptions& o) {
         return !o.arguments.isEmpty() && o.arguments.size() <= 2
             && (o.changes.isNull() || !mergeRevisions(o).isEmpty());
     }},
    {"mergeinfo", "mergeinfo SOURCE [PATH] [--merged]",
     [](const HostOptions& o) { return !o.arguments.isEmpty() && o.arguments.size() <= 2; }},
    {"lock", "lock PATH... [-m TEXT] [--steal]",
     [](const HostOptions& o) { return !o.arguments.isEmpty() && !o.replace; }},
    {"unlock", "unlock PATH... [--break]", [](const HostOptions& o) { return !o.arguments.isEmpty() && !o.discard; }},
    {"relocate", "relocate URL", [](const HostOptions& o) { return o.arguments.size() == 1; }},
    {"proplist", "proplist PATH", [](const HostOptions& o) { return o.arguments.size() == 1; }},
    {"propset", "propset NAME VALUE PATH... or propset NAME -F FILE PATH...",
     [](const HostOptions& o) { return o.arguments.size() >= (o.valueFile.isNull() ? 3 : 2); }},
    {"propdel", "propdel NAME PATH...", [](const HostOptions& o) { return o.arguments.size() >= 2; }},
    {"ignore", "ignore PATH...", [](const HostOptions& o) { return !o.arguments.isEmpty(); }},
    {"changelist", "changelist NAME PATH... or changelist --remove PATH...",
     [](const HostOptions& o) { return o.arguments.size() >= (o.remove ? 1 : 2); }},
    {"log", "log PATH [--from REV] [--limit N] [--search TEXT]",
     [](const HostOptions& o) { return o.arguments.size() == 1; }},
    {"changed", "changed PATH -r FROM[:TO]",
     [](const HostOptions& o) {
         QString from, to;
         return o.arguments.size() == 1 && splitRange(o.revision, from, to);
     }},
    {"depth", "depth PATH empty|files|immediates|infinity|exclude",
     [](const HostOptions& o) { return o.arguments.size() == 2 && depthWord(o.arguments.at(1)); }},
    {"upgrade", "upgrade", [](const HostOptions& o) { return o.arguments.isEmpty(); }},
    {"patch-create", "patch-create PATH...", [](const HostOptions& o) { return !o.arguments.isEmpty(); }},
    {"patch-apply", "patch-apply FILE [--strip N] [--dry-run]",
     [](const HostOptions& o) { return o.arguments.size() == 1; }},
};

const Command* commandNamed(const QString& name)
{
    for (const Command& command : s_commands)
        if (name == QLatin1String(command.name))
            return &command;
    return nullptr;
}

bool readFile(const QString& name, QByteArray& bytes, QTextStream& err)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        err << "scc-host: cannot read " << name << ": " << file.errorString() << "\n";
        return false;
    }
    bytes = file.readAll();
    return true;
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

// Whether a value is UTF-8 text with no control characters but tab, CR and
// LF (anything else would garble a terminal); `text` gets it decoded.
bool printable(const QByteArray& value, QString& text)
{
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    text = decoder(value);
    if (decoder.hasError())
        return false;
    for (const QChar c : std::as_const(text)) {
        const char16_t unit = c.unicode();
        if ((unit < 0x20 && unit != u'\t' && unit != u'\n' && unit != u'\r') || (unit >= 0x7f && unit < 0xa0))
            return false;
    }
    return true;
}

// As "svn proplist -v" prints a property: the name indented by two blanks,
// then each line of the value by four. A value that is not printable text
// says so after its name, "(binary, N bytes, base64)", and follows as base64
// on one line; names hold no blanks, so a script tells the two apart.
void printProperty(const Property& property, QTextStream& out)
{
    QString text;
    if (!printable(property.value, text)) {
        out << "  " << property.name << " (binary, " << property.value.size() << " bytes, base64)\n    "
            << property.value.toBase64() << "\n";
        return;
    }
    out << "  " << property.name << "\n";
    for (const QString& line : text.split(QLatin1Char('\n')))
        out << "    " << line << "\n";
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
    const Command* known = commandNamed(command);
    if (!known)
        return usageError(err, QStringLiteral("unknown command %1").arg(command));
    if (!known->fits(options))
        return usageError(err, QStringLiteral("usage: %1").arg(QLatin1String(known->usage)));

    if (command == QLatin1String("info")) {
        QList<ItemInfo> infos;
        if (!provider.info(interfacePaths(args), infos))
            return failed(provider, what, err);
        for (const ItemInfo& info : infos)
            printInfo(info, out);
        return 0;
    }
    if (command == QLatin1String("copy")) {
        QString revision;
        if (!provider.copy(args.at(0), options.revision, args.at(1), options.comment, revision))
            return failed(provider, what, err);
        out << "copied " << args.at(0) << " to " << args.at(1) << " in revision " << revision << "\n";
        return 0;
    }
    if (command == QLatin1String("switch")) {
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
        const QStringList revisions = mergeRevisions(options);
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
        QStringList revisions;
        if (!provider.mergeInfo(interfacePath(args.value(1)), args.at(0), options.merged, revisions))
            return failed(provider, what, err);
        for (const QString& revision : revisions)
            out << "r" << revision << "\n";
        return 0;
    }
    if (command == QLatin1String("lock")) {
        if (!provider.lock(interfacePaths(args), options.comment, options.steal))
            return failed(provider, what, err);
        for (const QString& path : args)
            out << "locked " << path << (options.steal ? " (taken over)\n" : "\n");
        return 0;
    }
    if (command == QLatin1String("unlock")) {
        if (!provider.unlock(interfacePaths(args), options.breakLock))
            return failed(provider, what, err);
        for (const QString& path : args)
            out << "unlocked " << path << (options.breakLock ? " (broken)\n" : "\n");
        return 0;
    }
    if (command == QLatin1String("relocate")) {
        if (!provider.relocate(args.at(0)))
            return failed(provider, what, err);
        out << "relocated to " << args.at(0) << "\n";
        return 0;
    }
    if (command == QLatin1String("proplist")) {
        QList<Property> properties;
        if (!provider.properties(interfacePath(args.at(0)), properties))
            return failed(provider, what, err);
        if (!properties.isEmpty())
            out << "Properties on '" << args.at(0) << "':\n";
        for (const Property& property : properties)
            printProperty(property, out);
        return 0;
    }
    if (command == QLatin1String("propset")) {
        // A VALUE argument is text; -F takes any bytes as they are.
        const bool fromFile = !options.valueFile.isNull();
        QByteArray value;
        if (fromFile && !readFile(options.valueFile, value, err))
            return 1;
        if (!fromFile)
            value = args.at(1).toUtf8();
        const QStringList targets = args.mid(fromFile ? 1 : 2);
        if (!provider.setProperty(interfacePaths(targets), args.at(0), value))
            return failed(provider, what, err);
        for (const QString& path : targets)
            out << "property '" << args.at(0) << "' set on '" << path << "'\n";
        return 0;
    }
    if (command == QLatin1String("propdel")) {
        const QStringList targets = args.mid(1);
        if (!provider.deleteProperty(interfacePaths(targets), args.at(0)))
            return failed(provider, what, err);
        for (const QString& path : targets)
            out << "property '" << args.at(0) << "' deleted from '" << path << "'\n";
        return 0;
    }
    if (command == QLatin1String("ignore")) {
        if (!provider.ignore(interfacePaths(args)))
            return failed(provider, what, err);
        for (const QString& path : args)
            out << "ignored " << path << "\n";
        return 0;
    }
    if (command == QLatin1String("changelist")) {
        // --remove: "" takes the files out of whatever changelist holds them.
        const QString name = options.remove ? QString() : args.at(0);
        const QStringList targets = options.remove ? args : args.mid(1);
        if (!provider.setChangelist(interfacePaths(targets), name))
            return failed(provider, what, err);
        for (const QString& path : targets) {
            if (options.remove)
                out << "removed " << path << " from its changelist\n";
            else
                out << "added " << path << " to changelist " << name << "\n";
        }
        return 0;
    }
    if (command == QLatin1String("log")) {
        QList<LogEntry> entries;
        if (!provider.logRange(interfacePath(args.at(0)), options.from, options.limit, options.search, entries))
            return failed(provider, what, err);
        for (const LogEntry& entry : entries)
            printLogEntry(entry, out);
        return 0;
    }
    if (command == QLatin1String("changed")) {
        QString from, to;
        splitRange(options.revision, from, to);
        const QString path = interfacePath(args.at(0));
        QList<ItemChange> changes;
        if (!provider.changedBetween(path, from, to, changes))
            return failed(provider, what, err);
        // The client's two columns and its blanks up to the path, which is
        // root-relative like the PATH given.
        for (const ItemChange& change : changes) {
            const QString item = path.isEmpty() || change.path.isEmpty() ? path + change.path
                                                                          : path + QLatin1Char('/') + change.path;
            out << change.action.leftJustified(8) << shown(item) << "\n";
        }
        return 0;
    }
    if (command == QLatin1String("depth")) {
        const DepthWord* depth = depthWord(args.at(1));
        if (!provider.setDepth(interfacePath(args.at(0)), depth->depth))
            return failed(provider, what, err);
        if (depth->depth == Depth::Exclude)
            out << "excluded " << args.at(0) << " from the working copy\n";
        else
            out << "set the depth of " << args.at(0) << " to " << depth->word << "\n";
        return 0;
    }
    if (command == QLatin1String("upgrade")) {
        if (!provider.upgrade())
            return failed(provider, what, err);
        out << "upgraded the working copy\n";
        return 0;
    }
    if (command == QLatin1String("patch-create")) {
        QByteArray patch;
        if (!provider.createPatch(interfacePaths(args), patch))
            return failed(provider, what, err);
        writeBytes(out, patch);
        return 0;
    }
    if (command == QLatin1String("patch-apply")) {
        QByteArray patch;
        if (!readFile(args.at(0), patch, err))
            return 1;
        QList<ItemChange> changes;
        const bool applied = provider.applyPatch(patch, options.strip, options.dryRun, changes);
        // The client's item lines: its columns, padded as it pads them, then the path.
        for (const ItemChange& change : changes) {
            if (change.action == QLatin1String("Skipped"))
                out << "Skipped '" << change.path << "'\n";
            else
                out << change.action.leftJustified(10) << shown(change.path) << "\n";
        }
        out.flush();
        if (!applied)
            return failed(provider, what, err);
        if (options.dryRun)
            out << "(dry run: nothing changed)\n";
        return 0;
    }
    return usageError(err, QStringLiteral("unknown command %1").arg(command));
}

} // namespace

bool isVersion3Command(const HostOptions& options)
{
    if (options.command == QLatin1String("lock") || options.command == QLatin1String("unlock"))
        return isMultiLockForm(options);
    if (options.command == QLatin1String("log"))
        return !options.from.isNull() || !options.search.isNull();
    return commandNamed(options.command) != nullptr;
}

bool isLogPage(const HostOptions& options)
{
    return options.command == QLatin1String("log")
        && (options.limit > 0 || !options.from.isNull() || !options.search.isNull());
}

QString version3UsageProblem(const HostOptions& options)
{
    if (!isVersion3Command(options) && !isLogPage(options))
        return QString();
    const Command* known = commandNamed(options.command);
    return known->fits(options) ? QString() : QStringLiteral("usage: %1").arg(QLatin1String(known->usage));
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
