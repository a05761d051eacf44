// Branches and merges: what the working copy records of items, server-side
// copies, switch, merge and merge information, locks taken over and broken,
// and relocation after the server moved.

#include "SVNInterface.h"

#include "EightBit.h"
#include "SVNItemLine.h"
#include "SVNUrl.h"

#include <QDir>
#include <QRegularExpression>
#include <QXmlStreamReader>

using namespace SourceCodeControl;

namespace {

const QLatin1Char Slash('/');

// A tree conflict in the client's own words, from the attributes of
// <tree-conflict>: "local file edit, incoming file delete or move upon update".
QString treeConflictWords(const QXmlStreamAttributes& conflict, const QString& incomingKind)
{
    static const std::pair<const char*, const char*> s_reasons[] = {
        {"edit", "edit"},           {"obstruction", "obstruction"}, {"delete", "delete"},
        {"missing", "missing"},     {"unversioned", "unversioned"}, {"add", "add"},
        {"replace", "replace"},     {"moved-away", "moved away"},   {"moved-here", "moved here"},
    };
    static const std::pair<const char*, const char*> s_actions[] = {
        {"edit", "edit"}, {"add", "add"}, {"delete", "delete or move"}, {"replace", "replace"}};
    const auto words = [](const auto& table, const QString& value) {
        for (const auto& entry : table)
            if (value == QLatin1String(entry.first))
                return QString::fromLatin1(entry.second);
        return value;
    };
    const auto kindWord = [](const QString& kind) { return kind == QLatin1String("none") ? QString() : kind; };
    return QStringLiteral("local %1 %2, incoming %3 %4 upon %5")
        .arg(kindWord(conflict.value(QLatin1String("kind")).toString()),
             words(s_reasons, conflict.value(QLatin1String("reason")).toString()), incomingKind,
             words(s_actions, conflict.value(QLatin1String("action")).toString()),
             conflict.value(QLatin1String("operation")).toString());
}

// A repository path as a "^/" URL: each name percent-encoded. Empty when
// the path is no repository path (a URL, absolute, or with "..").
QString caretURL(const QString& repositoryPath)
{
    if (repositoryPath.startsWith(Slash) || repositoryPath.contains(QLatin1String("://")))
        return QString();
    QStringList names;
    for (const QString& name : repositoryPath.split(Slash, Qt::SkipEmptyParts)) {
        if (name == QLatin1String(".."))
            return QString();
        if (name != QLatin1String("."))
            names << SVNUrl::encode(name);
    }
    return QStringLiteral("^/") + names.join(Slash);
}

// The URL for a switch or merge into the local target @p item. The client
// resolves a "^/" URL through the local target, reading it with a peg
// revision, so a target holding "@" fails whether written as it is ("Syntax
// error parsing peg revision") or with the "@" that ends a peg (no such
// node), while with a full URL it takes the target as written. Such a
// target gets the full URL, made from the working copy's repository root
// (read locally, and only for such a target); every other one keeps "^/".
QString urlFor(const QString& caret, const QString& item, SVNWorkingCopyLayout& layout, const QString& localRoot)
{
    if (!item.contains(QLatin1Char('@')))
        return caret;
    const QString repositoryRoot = layout.repositoryRoot(localRoot);
    return repositoryRoot.isEmpty() ? caret : repositoryRoot + caret.mid(1);
}

// One element of merge()'s revisions as the client's "-c" takes it:
// "42", "40-45", "-42"; empty when it is none of them.
QString changeOf(const QString& element)
{
    static const QRegularExpression s_change(QStringLiteral("^(-?[1-9][0-9]*|[1-9][0-9]*-[1-9][0-9]*)$"));
    return s_change.match(element).hasMatch() ? element : QString();
}

} // namespace

QString SVNInterface::rootRelative(const QString& path) const
{
    const QString clean = QDir::cleanPath(path);
    if (clean == localRootPath)
        return QString(QLatin1String(""));
    if (clean.startsWith(localRootPath + Slash))
        return clean.mid(localRootPath.size() + 1);
    return clean;
}

bool SVNInterface::info(const QStringList& paths, QList<ItemInfo>& infos)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Info, paths, items))
            return false;
        QStringList lines;
        if (!run(SVNCommands::itemInfo(localRootPath, items), lines))
            return false;
        QList<ItemInfo> read;
        QXmlStreamReader reader(lines.join(QLatin1Char('\n')));
        ItemInfo* item = nullptr;
        ConflictInfo* conflict = nullptr;
        while (!reader.atEnd()) {
            if (reader.readNext() != QXmlStreamReader::StartElement)
                continue;
            const QStringView name = reader.name();
            const QXmlStreamAttributes attributes = reader.attributes();
            if (name == QLatin1String("entry")) {
                read.append(ItemInfo());
                item = &read.last();
                conflict = nullptr;
                const QString path = attributes.value(QLatin1String("path")).toString();
                item->path = path == QLatin1String(".") ? QStringLiteral("") : path;
                item->kind = attributes.value(QLatin1String("kind")).toString();
                bool number = false;
                const QString revision = attributes.value(QLatin1String("revision")).toString();
                revision.toLongLong(&number);
                item->revision = number ? revision : QStringLiteral(""); // an addition has none
                item->depth = QStringLiteral("infinity");
                continue;
            }
            if (!item)
                continue;
            if (name == QLatin1String("url")) {
                item->url = reader.readElementText();
            } else if (name == QLatin1String("relative-url")) {
                const QString relative = reader.readElementText();
                QStringList names;
                for (const QString& segment : relative.mid(2).split(Slash, Qt::SkipEmptyParts))
                    names << SVNUrl::decode(segment);
                item->repositoryPath = names.join(Slash);
            } else if (name == QLatin1String("root")) {
                item->repositoryRoot = reader.readElementText();
            } else if (name == QLatin1String("uuid")) {
                item->repositoryUuid = reader.readElementText();
            } else if (name == QLatin1String("schedule")) {
                item->schedule = reader.readElementText();
            } else if (name == QLatin1String("depth")) {
                item->depth = reader.readElementText();
            } else if (name == QLatin1String("changelist")) {
                item->changelist = reader.readElementText();
            } else if (name == QLatin1String("moved-from")) {
                item->movedFrom = rootRelative(QDir(localRootPath).absoluteFilePath(reader.readElementText()));
            } else if (name == QLatin1String("moved-to")) {
                item->movedTo = rootRelative(QDir(localRootPath).absoluteFilePath(reader.readElementText()));
            } else if (name == QLatin1String("commit")) {
                item->lastChangedRevision = attributes.value(QLatin1String("revision")).toString();
            } else if (name == QLatin1String("author") && !conflict) {
                item->lastChangedAuthor = reader.readElementText();
            } else if (name == QLatin1String("date")) {
                item->lastChangedDate = QDateTime::fromString(reader.readElementText(), Qt::ISODateWithMs).toUTC();
            } else if (name == QLatin1String("owner")) {
                item->lockOwner = reader.readElementText();
            } else if (name == QLatin1String("comment")) {
                item->lockComment = reader.readElementText();
            } else if (name == QLatin1String("conflict") || name == QLatin1String("tree-conflict")) {
                item->conflicts.append(ConflictInfo());
                conflict = &item->conflicts.last();
                const bool tree = name == QLatin1String("tree-conflict");
                conflict->kind = tree ? QStringLiteral("tree")
                                      : attributes.value(QLatin1String("type")) == QLatin1String("property")
                                          ? QStringLiteral("property")
                                          : QStringLiteral("text");
                if (tree) {
                    // The incoming side's kind: the right one, or the left one of a deletion.
                    QString left;
                    QString right;
                    while (reader.readNextStartElement()) {
                        if (reader.name() == QLatin1String("version")) {
                            const QXmlStreamAttributes version = reader.attributes();
                            (version.value(QLatin1String("side")) == QLatin1String("source-left") ? left : right) =
                                version.value(QLatin1String("kind")).toString();
                        }
                        reader.skipCurrentElement();
                    }
                    conflict->description =
                        treeConflictWords(attributes, right.isEmpty() || right == QLatin1String("none") ? left : right);
                }
            } else if (conflict) {
                QString* file = name == QLatin1String("prev-base-file")  ? &conflict->baseFile
                              : name == QLatin1String("cur-base-file")   ? &conflict->theirsFile
                              : name == QLatin1String("prev-wc-file")    ? &conflict->mineFile
                              : name == QLatin1String("prop-file")       ? &conflict->rejectFile
                                                                         : nullptr;
                if (file)
                    *file = rootRelative(reader.readElementText());
            }
        }
        if (reader.hasError() || read.size() != items.size()) {
            setLastError(QLatin1String(SVNSubcommand::Info),
                         QStringLiteral("the client's XML could not be read: %1").arg(reader.errorString()));
            return false;
        }
        // In the order asked, each under the path it was asked as.
        for (qsizetype i = 0; i < read.size(); ++i)
            read[i].path = items.at(i);
        infos = read;
        return true;
    });
}

bool SVNInterface::copy(const QString& fromRepositoryPath, const QString& revision, const QString& toRepositoryPath,
                        const QString& message, QString& newRevision)
{
    return guarded([&] {
        const QString from = caretURL(fromRepositoryPath);
        const QString to = caretURL(toRepositoryPath);
        if (from.isEmpty() || to.isEmpty() || to == QLatin1String("^/")) {
            setLastError(QLatin1String(SVNSubcommand::Copy),
                         QStringLiteral("%1 and %2 must be paths below the repository root (\"trunk\", "
                                        "\"branches/1.0\"), not URLs")
                             .arg(fromRepositoryPath, toRepositoryPath));
            return false;
        }
        // The client copies into an existing folder: an existing target is refused first.
        const SVNRunResult exists = client.run(SVNCommands::urlInfo(localRootPath, to), SVNOutput());
        if (exists.succeeded()) {
            setLastError(QLatin1String(SVNSubcommand::Copy),
                         QStringLiteral("%1 exists already in the repository").arg(toRepositoryPath));
            return false;
        }
        if (!exists.hasCode("W170000") && !exists.hasCode("E170000")) {
            setLastError(QLatin1String(SVNSubcommand::Info), exists.message());
            return false;
        }
        QStringList lines;
        if (!run(SVNCommands::copyURL(localRootPath, from, revision, to, message), lines))
            return false;
        for (const QString& line : lines)
            if (line.startsWith(QLatin1String("Committed revision ")) && line.endsWith(QLatin1Char('.')))
                newRevision = line.mid(19, line.size() - 20);
        return true;
    });
}

bool SVNInterface::readItemLines(const SVNCommand& command, QList<ItemChange>* changes, QStringList& conflicted)
{
    QList<ItemChange> seen;
    QStringList conflicts;
    SVNOutput output;
    output.observer = [&](QByteArrayView line) {
        const SVNItemLine::ActionLine read = SVNItemLine::readAction(line, command.subcommand);
        if (!read.namesItem)
            return;
        QString path = fromEightBit(read.path.data(), read.path.size());
        if (path == QLatin1String("."))
            path = QStringLiteral("");
        seen.append({path, fromEightBit(read.action.data(), read.action.size())});
        if (read.conflict && !conflicts.contains(path))
            conflicts << path;
    };
    output.restart = [&] {
        seen.clear();
        conflicts.clear();
    };
    const bool succeeded = run(command, output).succeeded();
    if (succeeded) {
        if (changes)
            *changes = seen;
        conflicted = conflicts;
    }
    return succeeded;
}

bool SVNInterface::switchTo(const QString& path, const QString& repositoryPath, const QString& revision,
                            QStringList& conflicted)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Switch, {path}, items))
            return false;
        const QString url = caretURL(repositoryPath);
        if (url.isEmpty()) {
            setLastError(QLatin1String(SVNSubcommand::Switch),
                         QStringLiteral("%1 is no path below the repository root").arg(repositoryPath));
            return false;
        }
        const QString item = items.first();
        const bool switched =
            readItemLines(SVNCommands::switchPath(localRootPath, item.isEmpty() ? QStringLiteral(".") : item,
                                                  urlFor(url, item, workingCopyLayout, localRootPath),
                                                  revision),
                          nullptr, conflicted);
        if (item.isEmpty())
            adoptRootURL(workingCopyLayout.recordedURL(localRootPath), workingCopyLayout.repositoryRoot(localRootPath));
        // At the newest revision nothing is out of date: a local re-read, as after an update.
        const bool newest = revision.isEmpty() || revision.compare(QLatin1String("HEAD"), Qt::CaseInsensitive) == 0;
        statusPass.rereadItems(items, switched && newest ? SVNStatusPass::BroughtUpToDate : SVNStatusPass::AskServer);
        return switched;
    });
}

bool SVNInterface::merge(const QString& path, const QString& sourceRepositoryPath, const QStringList& revisions,
                         bool dryRun, bool recordOnly, QList<ItemChange>& changes, QStringList& conflicted)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Merge, {path}, items))
            return false;
        const QString url = caretURL(sourceRepositoryPath);
        QStringList parts;
        for (const QString& element : revisions) {
            const QString change = changeOf(element.trimmed());
            if (change.isEmpty()) {
                setLastError(QLatin1String(SVNSubcommand::Merge),
                             QStringLiteral("%1 is no revision (\"42\"), range (\"40-45\") or reverse (\"-42\")")
                                 .arg(element));
                return false;
            }
            parts << change;
        }
        if (url.isEmpty() || url == QLatin1String("^/")) {
            setLastError(QLatin1String(SVNSubcommand::Merge),
                         QStringLiteral("%1 is no path below the repository root").arg(sourceRepositoryPath));
            return false;
        }
        const QString item = items.first();
        const bool merged = readItemLines(
            SVNCommands::merge(localRootPath, item.isEmpty() ? QStringLiteral(".") : item,
                               urlFor(url, item, workingCopyLayout, localRootPath),
                               parts.join(QLatin1Char(',')), dryRun, recordOnly),
            &changes, conflicted);
        if (!dryRun)
            statusPass.rereadItems(items, SVNStatusPass::Edited);
        return merged;
    });
}

bool SVNInterface::mergeInfo(const QString& path, const QString& sourceRepositoryPath, bool merged,
                             QStringList& revisions)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Mergeinfo, {path}, items))
            return false;
        const QString url = caretURL(sourceRepositoryPath);
        if (url.isEmpty() || url == QLatin1String("^/")) {
            setLastError(QLatin1String(SVNSubcommand::Mergeinfo),
                         QStringLiteral("%1 is no path below the repository root").arg(sourceRepositoryPath));
            return false;
        }
        QStringList lines;
        if (!run(SVNCommands::mergeInfo(localRootPath, items.first(), url, merged), lines))
            return false;
        QStringList numbers;
        for (const QString& line : lines)
            if (line.startsWith(QLatin1Char('r')))
                numbers << line.mid(1).trimmed();
        revisions = numbers;
        return true;
    });
}

bool SVNInterface::lock(const QStringList& paths, const QString& comment, bool steal)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Lock, paths, items))
            return false;
        const bool locked = run(SVNCommands::lockPaths(localRootPath, items, comment, steal));
        // A lock taken over is no longer held elsewhere: the cached mark goes.
        statusPass.rereadItems(items, SVNStatusPass::LockChanged);
        return locked;
    });
}

bool SVNInterface::unlock(const QStringList& paths, bool breakLock)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Unlock, paths, items))
            return false;
        const bool unlocked = run(SVNCommands::unlockPaths(localRootPath, items, breakLock));
        statusPass.rereadItems(items, SVNStatusPass::LockChanged);
        return unlocked;
    });
}

bool SVNInterface::relocate(const QString& newRepositoryRoot)
{
    return guarded([&] {
        const QString oldRoot = workingCopyLayout.repositoryRoot(localRootPath);
        if (oldRoot.isEmpty()) {
            setLastError(QLatin1String(SVNSubcommand::Relocate),
                         QStringLiteral("%1 records no repository root").arg(localRootPath));
            return false;
        }
        QString newRoot = newRepositoryRoot;
        while (newRoot.endsWith(Slash))
            newRoot.chop(1);
        if (!run(SVNCommands::relocate(localRootPath, oldRoot, newRoot)))
            return false;
        // Every later run, listings included, goes to the new place.
        if (repositoryURL.startsWith(oldRoot))
            repositoryURL = newRoot + repositoryURL.mid(oldRoot.size());
        statusPass.online();
        adoptRootURL(workingCopyLayout.recordedURL(localRootPath), newRoot);
        return true;
    });
}
