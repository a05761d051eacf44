// The version-2 operations that change the working copy: scheduling,
// committing several items in one revision, revert, delete, move, update
// with conflicts postponed, resolve, clean-up.

#include "SVNInterface.h"

#include "EightBit.h"
#include "SVNItemLine.h"
#include "SVNKeptTexts.h"

#include <QRegularExpression>

#include <sys/stat.h>

namespace {

const QLatin1Char Slash('/');

bool exists(const QString& path)
{
    struct stat st;
    return ::lstat(toEightBit(path).constData(), &st) == 0;
}

bool isDirectory(const QString& path)
{
    struct stat st;
    return ::stat(toEightBit(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The resolution as the client's "--accept" spells it.
QString acceptOf(SourceCodeControl::Resolution choice)
{
    switch (choice) {
    case SourceCodeControl::Resolution::Working:
        return QStringLiteral("working");
    case SourceCodeControl::Resolution::Base:
        return QStringLiteral("base");
    case SourceCodeControl::Resolution::MineFull:
        return QStringLiteral("mine-full");
    case SourceCodeControl::Resolution::TheirsFull:
        return QStringLiteral("theirs-full");
    }
    return QString();
}

} // namespace

bool SVNInterface::checkPaths(const char* subcommand, const QStringList& paths, QStringList& items)
{
    items.clear();
    QString problem;
    if (paths.isEmpty())
        problem = QStringLiteral("no path was given");
    for (const QString& path : paths) {
        if (!problem.isNull())
            break;
        if (path.startsWith(Slash)) {
            problem = QStringLiteral("%1 is an absolute path; paths are relative to the local root %2")
                          .arg(path, localRootPath);
            break;
        }
        QStringList parts;
        for (const QString& part : path.split(Slash, Qt::SkipEmptyParts)) {
            if (part == QLatin1String("..")) {
                problem = QStringLiteral("%1 leaves the local root %2 (\"..\")").arg(path, localRootPath);
                break;
            }
            if (part != QLatin1String("."))
                parts << part;
        }
        items << parts.join(Slash);
    }
    if (problem.isNull())
        return true;
    items.clear();
    setLastError(QLatin1String(subcommand), problem);
    return false;
}

QString SVNInterface::localPath(const QString& item) const
{
    return item.isEmpty() ? localRootPath : localRootPath + Slash + item;
}

bool SVNInterface::refusedUnversioned(const char* subcommand, const QStringList& items, const QString& why)
{
    QStringList strangers;
    for (const QString& item : items) {
        if (item.isEmpty())
            continue; // the local root, a working copy once bound
        const SVNNodeState node = workingCopyLayout.inspectNode(localPath(item));
        if (node.central && !node.known)
            strangers << item;
    }
    if (strangers.isEmpty())
        return false;
    setLastError(QLatin1String(subcommand), QStringLiteral("%1: not under version control, so %2; nothing was touched")
                                                .arg(strangers.join(QStringLiteral(", ")), why));
    return true;
}

bool SVNInterface::add(const QStringList& paths)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Add, paths, items))
            return false;
        // The client schedules the unversioned folders above an item too: the
        // topmost of them is read instead, with all it holds.
        QStringList read;
        for (const QString& item : std::as_const(items)) {
            QString top = item;
            for (qsizetype slash = item.indexOf(Slash); slash > 0; slash = item.indexOf(Slash, slash + 1)) {
                if (!workingCopyLayout.inspectNode(localPath(item.left(slash))).known) {
                    top = item.left(slash);
                    break;
                }
            }
            if (!read.contains(top))
                read << top;
        }
        if (!run(SVNCommands::schedule(localRootPath, items)))
            return false;
        statusPass.rereadItems(read, SVNStatusPass::Edited);
        return true;
    });
}

bool SVNInterface::commit(const QStringList& paths, const QString& message, QString& newRevision)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Commit, paths, items))
            return false;
        // An added item needs its added parents in the same commit (the
        // client refuses it alone, E200009); then the parents go with
        // "--depth empty", unless a listed folder is to commit all it holds.
        QStringList targets = items;
        bool folderListed = false;
        bool parentsAdded = false;
        for (const QString& item : items) {
            folderListed = folderListed || isDirectory(localPath(item));
            for (qsizetype slash = item.lastIndexOf(Slash); slash > 0; slash = item.lastIndexOf(Slash, slash - 1)) {
                const QString parent = item.left(slash);
                const SVNNodeState node = workingCopyLayout.inspectNode(localPath(parent));
                if (!node.scheduled || node.deleted || node.baseRevision >= 0)
                    break; // a parent the repository has: so have the ones above it
                if (!targets.contains(parent)) {
                    targets.prepend(parent);
                    parentsAdded = true;
                }
            }
        }
        // Half of a local move goes with its other half (the client refuses
        // it alone, E200009), a moved folder with all it holds.
        for (const QString& item : items) {
            for (const QString& counterpart : workingCopyLayout.moveCounterparts(localPath(item))) {
                const QString other = rootRelative(counterpart);
                if (other.startsWith(Slash) || targets.contains(other))
                    continue;
                targets << other;
                folderListed = folderListed || workingCopyLayout.inspectNode(counterpart).kind == QLatin1String("dir");
            }
        }
        const SVNCommand command = SVNCommands::commitPaths(localRootPath, targets, message,
                                                            parentsAdded && !folderListed);
        QStringList lines;
        SVNOutput output;
        output.lines = &lines;
        const SVNRunResult result = run(command, output);
        QString revision;
        if (result.succeeded()) {
            for (const QString& line : lines)
                if (line.startsWith(QLatin1String("Committed revision ")) && line.endsWith(QLatin1Char('.')))
                    revision = line.mid(19, line.size() - 20);
        } else if (result.endNotSeen()) {
            revision = landedRevision(items.first().split(Slash, Qt::SkipEmptyParts), message);
            if (revision.isEmpty())
                return false;
            SVNCommand update = SVNCommands::updatePaths(localRootPath, targets, QString());
            update.afterStop = true;
            client.run(update, SVNOutput());
        } else {
            return false;
        }
        newRevision = revision;
        statusPass.rereadItems(targets, SVNStatusPass::BroughtUpToDate);
        return true;
    });
}

bool SVNInterface::revert(const QStringList& paths, bool recursive)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Revert, paths, items))
            return false;
        if (refusedUnversioned(SVNSubcommand::Revert, items, QStringLiteral("there is nothing to revert")))
            return false;
        // The client takes an item added with history (copied or moved here)
        // off the disk, a folder with everything it holds, where it leaves
        // any other addition there: the user's text stays all the same, kept
        // beside it while the client runs and put back, unversioned, where
        // the client left nothing.
        SVNKeptTexts kept;
        for (const QString& item : std::as_const(items)) {
            for (const QString& copy : workingCopyLayout.copiesAt(localPath(item), recursive)) {
                if (!kept.keep(copy)) {
                    const QString why = kept.error();
                    kept.putBack();
                    setLastError(QLatin1String(SVNSubcommand::Revert), why + QStringLiteral("; nothing was reverted"));
                    return false;
                }
            }
        }
        QStringList lines;
        const bool reverted = run(SVNCommands::revertPaths(localRootPath, items, recursive), lines);
        const bool putBack = kept.putBack();
        if (reverted)
            statusPass.rereadItems(items, SVNStatusPass::Edited);
        if (!putBack)
            setLastError(QLatin1String(SVNSubcommand::Revert),
                         reverted ? kept.error() : lastErrorMessage + QLatin1Char('\n') + kept.error());
        if (!reverted || !putBack)
            return false;
        // The client skips what it does not hold, and exits 0 all the same.
        const QStringList skipped = lines.filter(QRegularExpression(QStringLiteral("^Skipped ")));
        if (!skipped.isEmpty()) {
            setLastError(QLatin1String(SVNSubcommand::Revert), skipped.join(QLatin1Char('\n')));
            return false;
        }
        return true;
    });
}

bool SVNInterface::remove(const QStringList& paths, bool keepLocal)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Delete, paths, items))
            return false;
        // With --keep-local the client exits 0 for what it does not hold.
        if (refusedUnversioned(SVNSubcommand::Delete, items, QStringLiteral("it cannot be scheduled for deletion")))
            return false;
        if (!run(SVNCommands::deletePaths(localRootPath, items, keepLocal)))
            return false;
        statusPass.rereadItems(items, SVNStatusPass::Edited);
        return true;
    });
}

bool SVNInterface::move(const QString& from, const QString& to)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Move, {from, to}, items))
            return false;
        const QString& source = items.at(0);
        const QString& destination = items.at(1);
        QString problem;
        if (source.isEmpty() || destination.isEmpty())
            problem = QStringLiteral("the local root itself cannot be moved or replaced");
        else if (exists(localPath(destination)) || workingCopyLayout.inspectNode(localPath(destination)).known)
            problem = QStringLiteral("%1 exists already: a move names the item's new path, never a folder to "
                                     "move into")
                          .arg(destination);
        if (!problem.isNull()) {
            setLastError(QLatin1String(SVNSubcommand::Move), problem);
            return false;
        }
        if (!run(SVNCommands::move(localRootPath, source, destination)))
            return false;
        statusPass.rereadItems(items, SVNStatusPass::Edited);
        return true;
    });
}

bool SVNInterface::update(const QStringList& paths, const QString& revision, QStringList& conflicted)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Update, paths, items))
            return false;
        QStringList conflicts;
        SVNOutput output;
        output.observer = [&conflicts](QByteArrayView line) {
            const SVNItemLine::ActionLine read = SVNItemLine::readAction(line, SVNSubcommand::Update);
            if (!read.conflict)
                return;
            const QString path = fromEightBit(read.path.data(), read.path.size());
            if (!conflicts.contains(path))
                conflicts << path;
        };
        output.restart = [&conflicts] { conflicts.clear(); };
        const SVNRunResult result = run(SVNCommands::updatePaths(localRootPath, items, revision), output);
        // At the newest revision nothing is out of date. At an older one, or
        // after a failure half-way (some items rewritten, the folder left
        // locked), the server says what is: one run for all the items.
        const bool newest = revision.isEmpty() || revision.compare(QLatin1String("HEAD"), Qt::CaseInsensitive) == 0;
        if (!result.succeeded()) {
            const QString error = lastErrorMessage;
            const QString command = lastErrorCommand;
            statusPass.rereadItems(items, SVNStatusPass::AskServer
                                              | (result.end == SVNRunResult::End::Stopped ? SVNStatusPass::AfterStop : 0u));
            setLastError(command, error); // the update's failure, not the re-read's
            return false;
        }
        conflicted = conflicts;
        statusPass.rereadItems(items, newest ? SVNStatusPass::BroughtUpToDate : SVNStatusPass::AskServer);
        return true;
    });
}

bool SVNInterface::resolve(const QString& path, SourceCodeControl::Resolution choice)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Resolve, {path}, items)
            || !run(SVNCommands::resolve(localRootPath, items.first(), acceptOf(choice))))
            return false;
        statusPass.rereadItems(items, SVNStatusPass::Edited);
        return true;
    });
}

bool SVNInterface::cleanup(const QString& folder)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Cleanup, {folder}, items)
            || !run(SVNCommands::cleanupFolder(localRootPath, items.first())))
            return false;
        statusPass.rereadItems(items, SVNStatusPass::Edited);
        return true;
    });
}
