// Operations on the local working copy: binding the roots, adding, getting,
// locking, unlocking and committing files.

#include "SVNInterface.h"

#include "EightBit.h"
#include "QTxFiles.h"
#include "SVNLogEntry.h"
#include "SVNUrl.h"
#include "SVNWorkingCopyLayout.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>

namespace {

const QString Slash = QStringLiteral("/");

} // namespace

bool SVNInterface::setRoots(const QStringList& newLocalRoots)
{
    return guarded([&] {
        localRoots = newLocalRoots;
        localRootPath = Slash + localRoots.join(Slash);
        if (!isWorkingCopy(localRootPath)) {
            setLastError(QLatin1String(SVNSubcommand::Info), QStringLiteral("%1 is not a working copy").arg(localRootPath));
            return false;
        }

        QStringList output;
        SVNOutput into;
        into.lines = &output;
        const SVNRunResult read = run(SVNCommands::info(localRootPath), into);
        // A working copy the client calls too old is bound all the same, so
        // that upgrade() can reach it; its status questions fail with the
        // client's words until then.
        if (read.hasCode("E155036")) {
            rootURL.clear();
            statusPass.bind(localRootPath, rootURL);
            return true;
        }
        if (!read.succeeded())
            return false;

        QString url;
        QString repositoryRoot;
        bool haveURL = false;
        for (const QString& line : output) {
            if (line.startsWith(QLatin1String("URL:"))) {
                url = line.mid(5);
                haveURL = true;
            } else if (line.startsWith(QLatin1String("Repository Root:"))) {
                repositoryRoot = line.mid(17);
            }
        }
        adoptRootURL(haveURL ? url : QString(), repositoryRoot);
        return true;
    });
}

void SVNInterface::adoptRootURL(const QString& url, const QString& repositoryRoot)
{
    if (!url.isEmpty()) {
        rootURL = url; // the repository URL of the local root, what file URLs are built on
        statusPass.bind(localRootPath, rootURL);
    }
    // The roots are names below the repository URL the host set, as the
    // two-list form and the listings take them, when the working copy
    // lies there; otherwise below the repository's root.
    QStringList parts;
    if (!repositoryURL.isEmpty() && SVNUrl::below(url, repositoryURL, parts)) {
        repositoryRoots = parts;
    } else if (url.startsWith(repositoryRoot)) {
        // The client prints URLs percent-encoded; the components are names.
        repositoryRoots.clear();
        for (const QString& segment : url.mid(repositoryRoot.size()).split(Slash, Qt::SkipEmptyParts))
            repositoryRoots << SVNUrl::decode(segment);
    }
}

bool SVNInterface::setRoots(const QStringList& newLocalRoots, const QStringList& newRepositoryRoots)
{
    return guarded([&] {
        localRoots = newLocalRoots;
        repositoryRoots = newRepositoryRoots;
        localRootPath = Slash + localRoots.join(Slash);

        QString parent;
        for (qsizetype i = 0; i + 1 < localRoots.size(); ++i)
            parent += Slash + localRoots[i];
        if (parent.isEmpty())
            parent = Slash; // a root directly below "/" is checked out from "/"

        rootURL = repositoryRoots.isEmpty() ? repositoryURL : SVNUrl::join(repositoryURL, repositoryRoots);
        statusPass.bind(localRootPath, rootURL);

        const SVNCommand checkout = SVNCommands::checkOutRoot(rootURL, parent, localRoots.value(localRoots.size() - 1));
        if (isWorkingCopy(localRootPath)) {
            // An existing checkout must be one of the place asked for, or every
            // answer would come from another branch.
            const QString recorded = workingCopyLayout.recordedURL(localRootPath);
            if (recorded.isNull() || SVNUrl::same(recorded, rootURL))
                return true;
            setLastError(checkout.subcommand, QStringLiteral("%1 is a working copy of %2, not of %3")
                                                  .arg(localRootPath, recorded, rootURL));
            return false;
        }
        if (localRoots.isEmpty()) {
            setLastError(checkout.subcommand, QStringLiteral("the file-system root / cannot be a local root"));
            return false;
        }
        return run(checkout);
    });
}

bool SVNInterface::addFile(const QStringList& pathParts, const QString& comment)
{
    return guarded([&] {
        if (pathParts.isEmpty())
            return false;

        // Bring each directory level under control, from the root downwards, so
        // that every fetch or add runs inside a parent that is a working copy.
        QString directory = localRootPath;
        QString url = rootURL;
        for (qsizetype level = 0; level + 1 < pathParts.size(); ++level) {
            const QString& name = pathParts[level];
            url += Slash + SVNUrl::encode(name);
            const QString levelDirectory = directory + Slash + name;
            const SVNFolderState state = workingCopyLayout.inspect(levelDirectory);
            if (state.missing) {
                // The client would only say that "some targets don't exist".
                setLastError(QLatin1String(SVNSubcommand::Add),
                             QStringLiteral("the folder %1 is versioned but missing on disk (\"svn update\" brings "
                                            "it back), so nothing can be added into it")
                                 .arg(pathParts.mid(0, level + 1).join(Slash)));
                return false;
            }
            if (!state.versioned && !hasEntriesFile(levelDirectory)) {
                // Only "not found" says the repository lacks the folder: any
                // other failure (a server that cannot be reached, refused
                // credentials) leaves nothing known of it, and nothing is added.
                const SVNRunResult probe = run(SVNCommands::info(url), SVNOutput());
                if (probe.succeeded()) {
                    // In a working copy of the newer layout the folder joins it;
                    // a check-out there would reset the depth of a versioned folder.
                    const SVNFolderState parent = workingCopyLayout.inspect(directory);
                    const bool fetched = parent.central ? fetchFolder(directory, parent.depth, name)
                                                        : run(SVNCommands::checkOutFolder(url, directory, name));
                    if (!fetched)
                        return false;
                } else if (!probe.hasCode("W170000") && !probe.hasCode("E170000") && !probe.hasCode("E160013")) {
                    return false;
                } else if (!run(SVNCommands::add(directory, name))) {
                    return false;
                } else if (!commit(SVNCommands::commitFolder(directory, name, comment),
                                   pathParts.mid(0, level + 1), true)) {
                    return false;
                }
                // It may be cached as "not a working copy"; let the next query look again.
                statusPass.forget(levelDirectory);
            }
            directory = levelDirectory;
        }

        const QString& fileName = pathParts.last();
        if (!run(SVNCommands::add(directory, fileName))
            || !commit(SVNCommands::commitAdded(directory, fileName, comment), pathParts, true))
            return false;
        statusPass.reread(pathParts, SVNStatusPass::BroughtUpToDate);
        return true;
    });
}

bool SVNInterface::commit(const SVNCommand& command, const QStringList& pathParts, bool addedHere)
{
    const SVNRunResult result = run(command, SVNOutput());
    if (result.succeeded())
        return true;
    if (result.endNotSeen() && landed(pathParts, command.message))
        return true;
    // What this operation scheduled for addition and could not commit is
    // unscheduled again: nothing is left "A" for a later commit to trip on.
    const QString relative = pathParts.join(Slash);
    if (addedHere) {
        SVNCommand revert = SVNCommands::revert(localRootPath, relative);
        revert.afterStop = true;
        const SVNRunResult reverted = client.run(revert, SVNOutput());
        client.log().write(QStringLiteral("%1 unscheduled again after its commit failed%2")
                               .arg(relative, reverted.succeeded() ? QString() : QStringLiteral(": ") + reverted.message()));
    }
    return false;
}

QString SVNInterface::landedRevision(const QStringList& pathParts, const QString& message)
{
    // After the stop and its clean-up the working copy still shows the old
    // base, so the server is asked: the newest revision of the item's URL.
    const qint64 base = workingCopyLayout.inspectNode(localFilePath(pathParts)).baseRevision;
    SVNCommand log = SVNCommands::newestChange(SVNUrl::join(rootURL, pathParts));
    log.afterStop = true;
    QByteArray xml;
    SVNOutput output;
    output.observer = [&xml](QByteArrayView line) { xml.append(line.data(), line.size()).append('\n'); };
    if (!client.run(log, output).succeeded())
        return QString();
    const QList<SVNLogEntry> entries = SVNLogEntry::parse(xml);
    if (entries.isEmpty() || entries.first().revision.toLongLong() <= base
        || entries.first().message != (message.isNull() ? QStringLiteral("") : message)
        || (!client.user().isEmpty() && entries.first().author != client.user()))
        return QString();
    client.log().write(QStringLiteral("the commit of %1 landed as revision %2, although its end was not seen; it is "
                                      "brought to it")
                           .arg(pathParts.join(Slash), entries.first().revision));
    return entries.first().revision;
}

bool SVNInterface::landed(const QStringList& pathParts, const QString& message)
{
    if (landedRevision(pathParts, message).isEmpty())
        return false;
    SVNCommand update = SVNCommands::update(localRootPath, pathParts.join(Slash));
    update.afterStop = true;
    client.run(update, SVNOutput());
    return true;
}

bool SVNInterface::updateFile(const QStringList& pathParts)
{
    return run(SVNCommands::update(localRootPath, pathParts.join(Slash)));
}

bool SVNInterface::getFile(const QStringList& pathParts, bool keepLocal)
{
    return guarded([&] {
        if (pathParts.isEmpty())
            return false;
        QString directory = localRootPath;
        for (qsizetype level = 0; level + 1 < pathParts.size(); ++level) {
            const QString& name = pathParts[level];
            const QString levelDirectory = directory + Slash + name;
            if (!isWorkingCopy(levelDirectory)) {
                const SVNFolderState parent = workingCopyLayout.inspect(directory);
                const bool fetched = parent.central ? fetchFolder(directory, parent.depth, name)
                                                    : run(SVNCommands::updateFolder(directory, name));
                if (!fetched)
                    return false;
                statusPass.forget(levelDirectory);
            }
            directory = levelDirectory;
        }
        bool changed = false;
        if (!keepLocal && !discardLocalChanges(pathParts, changed))
            return false;
        const SVNNodeState node = workingCopyLayout.inspectNode(localFilePath(pathParts));
        // The client brings a file external up to date only with the folder
        // that defines it; an update of the file alone would make it a switched
        // file, and every later update of the working copy would fail.
        const bool updated = node.fileExternal && !node.externalOwner.isEmpty()
            ? run(SVNCommands::updateTree(node.externalOwner))
            : updateFile(pathParts);
        if (!updated)
            return false;
        statusPass.reread(pathParts, SVNStatusPass::BroughtUpToDate);
        return true;
    });
}

bool SVNInterface::discardLocalChanges(const QStringList& pathParts, bool& changed)
{
    const QString path = localFilePath(pathParts);
    changed = false;
    if (!workingCopyLayout.inspectNode(path).central) {
        QTx::removeFile(path); // the per-folder layout: the update restores any missing file
        changed = true;
        return true;
    }
    // Decided from the working copy as it is now, never from the cache: the
    // file may have been edited outside the IDE since it was last read.
    SVNFileStatus record;
    bool listed = false;
    if (!statusPass.readFile(getLocalDirectory(pathParts), pathParts.last(), record, listed))
        return false;
    const QString relative = pathParts.join(Slash);
    const QString& columns = record.statusColumns;
    const auto column = [&columns](qsizetype i) { return i < columns.size() ? columns.at(i) : QLatin1Char(' '); };
    const QChar text = column(0);
    const QChar properties = column(1);
    const bool conflicted = text == QLatin1Char('C') || properties == QLatin1Char('C') || column(6) == QLatin1Char('C');
    struct stat st;
    const bool onDisk = ::lstat(toEightBit(path).constData(), &st) == 0;
    QString reason;
    if (conflicted || text == QLatin1Char('R') || properties == QLatin1Char('M')) {
        // A conflict, a replacement or a property change: only a revert takes
        // them back; the update then brings the repository's text.
        changed = true;
        return run(SVNCommands::revert(localRootPath, relative));
    }
    if ((!listed || text == QLatin1Char('?')) && onDisk)
        reason = QStringLiteral("it is not under version control");
    else if (text == QLatin1Char('D'))
        reason = QStringLiteral("it is scheduled for deletion");
    else if (text == QLatin1Char('A'))
        reason = QStringLiteral("it is scheduled for addition and is not in the repository yet");
    else if (text == QLatin1Char('~'))
        reason = QStringLiteral("a %1 stands where the working copy has another kind of item (an obstruction)")
                     .arg(onDisk && S_ISDIR(st.st_mode) ? QStringLiteral("folder") : QStringLiteral("file"));
    if (!reason.isNull()) {
        // Deleting it would lose what no update brings back.
        setLastError(QLatin1String(SVNSubcommand::Update),
                     QStringLiteral("%1 was left as it is: %2, so an update would not bring it back")
                         .arg(relative, reason));
        return false;
    }
    changed = record.modified; // "M" or "!": the update restores the repository's text
    if (text == QLatin1Char('M'))
        QTx::removeFile(path);
    return true;
}

bool SVNInterface::getTo(const QStringList& pathParts, const QString& revision,
                         const QString& destination)
{
    return guarded([&] {
        if (pathParts.isEmpty())
            return false;
        const QString cat = QLatin1String(SVNSubcommand::Cat);
        const QString folder = QFileInfo(destination).absolutePath();
        if (!QFileInfo(folder).isDir()) {
            setLastError(cat, QStringLiteral("cannot write %1: the folder %2 does not exist").arg(destination, folder));
            return false;
        }
        // The client writes straight into a scratch file beside the destination
        // (a file of any size costs no memory), which replaces the destination
        // only once the run succeeded and the text is on disk: a failed run or
        // a full disk leaves the destination as it was. A link is written
        // through; an existing file keeps its permissions.
        QSaveFile file(destination);
        if (!file.open(QIODevice::WriteOnly)) {
            setLastError(cat, QStringLiteral("cannot write %1: %2").arg(destination, file.errorString()));
            return false;
        }
        SVNOutput output;
        output.descriptor = file.handle();
        // A repeated run starts the scratch file afresh.
        output.restart = [&file] {
            if (file.resize(0))
                file.seek(0);
        };
        const SVNRunResult result = run(SVNCommands::cat(localRootPath, pathParts.join(Slash), revision), output);
        if (!result.succeeded()) {
            file.cancelWriting();
            const QString message = result.message();
            if (result.hasCode("E000028"))
                setLastError(cat, QStringLiteral("no room left on the device writing %1\n").arg(destination) + message);
            else if (result.hasCode("E000027"))
                setLastError(cat, QStringLiteral("the file size limit was reached writing %1\n").arg(destination) + message);
            return false;
        }
        if (!file.commit()) {
            setLastError(cat, QStringLiteral("cannot write %1: %2").arg(destination, file.errorString()));
            return false;
        }
        return true;
    });
}

bool SVNInterface::checkout(const QStringList& pathParts, const QString& comment, bool replaceLocal)
{
    return guarded([&] {
        if (pathParts.isEmpty())
            return false;
        if (client.user().isEmpty()) {
            // A lock belongs to a user; the client would only say that no
            // authenticated user name is available.
            setLastError(QLatin1String(SVNSubcommand::Lock),
                         QStringLiteral("a lock needs a user name: call login() with the user name first"));
            return false;
        }
        bool updated = false;
        if (workingCopyLayout.inspectNode(localFilePath(pathParts)).central) {
            // The repository's text replaces a changed local one before the lock is asked for.
            bool changed = false;
            if (replaceLocal && (!discardLocalChanges(pathParts, changed) || (changed && !updateFile(pathParts))))
                return false;
            updated = changed;
        } else {
            // The per-folder layout decides from the file's cached record.
            const SVNFileStatus* record = statusPass.record(pathParts);
            if (record && record->modified && replaceLocal) {
                bool changed = false;
                if (!discardLocalChanges(pathParts, changed) || !updateFile(pathParts))
                    return false;
                updated = true;
            }
        }
        // A lock whose post-lock hook failed is held all the same: the run counts as done.
        if (!run(SVNCommands::lock(localRootPath, pathParts.join(Slash), comment)))
            return false;
        QTx::setWriteable(localFilePath(pathParts), true);
        statusPass.reread(pathParts, SVNStatusPass::LockChanged | (updated ? SVNStatusPass::BroughtUpToDate : 0u));
        return true;
    });
}

bool SVNInterface::undoCheckout(const QStringList& pathParts, bool discardChanges)
{
    return guarded([&] {
        if (pathParts.isEmpty())
            return false;
        // A client of the newer layout cannot unlock a file that is gone (it
        // fails half-way and leaves the working copy needing a clean-up), so there
        // the lock goes first and the local changes after it.
        const bool unlockFirst = discardChanges && workingCopyLayout.inspectNode(localFilePath(pathParts)).central;
        bool changed = false;
        if (discardChanges && !unlockFirst && !discardLocalChanges(pathParts, changed))
            return false;
        if (!run(SVNCommands::unlock(localRootPath, pathParts.join(Slash))))
            return false;
        if (unlockFirst && !discardLocalChanges(pathParts, changed))
            return false;
        if (discardChanges && !updateFile(pathParts))
            return false;
        statusPass.reread(pathParts,
                          SVNStatusPass::LockChanged | (discardChanges ? SVNStatusPass::BroughtUpToDate : 0u));
        return true;
    });
}

bool SVNInterface::fetchFolder(const QString& parentDirectory, const QString& parentDepth,
                               const QString& name)
{
    const QString depth = parentDepth == QLatin1String("infinity") ? QStringLiteral("infinity")
                                                                   : QStringLiteral("empty");
    return run(SVNCommands::fetchFolder(parentDirectory, name, depth));
}

bool SVNInterface::checkin(const QStringList& pathParts, const QString& comment)
{
    return guarded([&] {
        if (pathParts.isEmpty())
            return false; // an empty target would commit the whole working copy
        if (!commit(SVNCommands::commit(localRootPath, pathParts.join(Slash), comment), pathParts, false))
            return false;
        statusPass.reread(pathParts, SVNStatusPass::BroughtUpToDate);
        return true;
    });
}
