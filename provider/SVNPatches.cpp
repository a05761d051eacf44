// Patches: the local changes written as one, and one applied, so that the
// round trip through a revert gives back exactly what there was.

#include "SVNInterface.h"

#include "EightBit.h"
#include "SVNItemLine.h"
#include "SVNPrivateFile.h"
#include "SVNUrl.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <algorithm>
#include <memory>
#include <set>

using namespace SourceCodeControl;

namespace {

const QLatin1Char Slash('/');

// One file of a patch: its name as the patch gives it (git's "a/" and
// "b/" taken off, which the client takes off itself), and whether the
// patch creates it.
struct PatchedFile
{
    QString name;
    bool added = false;
};

// The files a patch names: from "+++ NAME<TAB>..." lines, or for a git
// section without them (a binary file) from "diff --git a/NAME b/NAME".
QList<PatchedFile> patchedFiles(const QByteArray& patch)
{
    QList<PatchedFile> files;
    bool git = false;
    bool named = false;
    for (const QByteArray& raw : patch.split('\n')) {
        const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        if (line.startsWith("diff --git ")) {
            git = true;
            named = false;
            files.append(PatchedFile());
            const QByteArray halves = line.mid(11);
            const qsizetype length = (halves.size() - 5) / 2; // "a/NAME b/NAME"
            if (halves.startsWith("a/") && length > 0 && halves.mid(length + 2, 3) == " b/")
                files.last().name = fromEightBit(halves.constData() + 2, length);
        } else if (line.startsWith("Index: ") && !git) {
            files.append(PatchedFile());
            named = false;
        } else if (line.startsWith("new file mode") && !files.isEmpty()) {
            files.last().added = true;
        } else if (line.startsWith("--- ") && !files.isEmpty()
                   && (line.endsWith("(nonexistent)") || line.startsWith("--- /dev/null"))) {
            files.last().added = true;
        } else if (line.startsWith("+++ ") && !named) {
            if (files.isEmpty())
                files.append(PatchedFile());
            QByteArray name = line.mid(4);
            const qsizetype tab = name.indexOf('\t');
            if (tab >= 0)
                name.truncate(tab);
            if (git && name.startsWith("b/"))
                name = name.mid(2);
            if (name != "/dev/null")
                files.last().name = fromEightBit(name.constData(), name.size());
            named = true;
        }
    }
    files.removeIf([](const PatchedFile& file) { return file.name.isEmpty(); });
    return files;
}

// `name` without its first `strip` components; null when it has no more.
QString stripped(const QString& name, int strip)
{
    QStringList parts = name.split(Slash, Qt::SkipEmptyParts);
    if (parts.size() <= strip)
        return QString();
    return parts.mid(strip).join(Slash);
}

// Whether two files hold the same bytes.
bool sameBytes(const QString& first, const QString& second)
{
    QFile a(first);
    QFile b(second);
    return a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly) && a.size() == b.size()
        && a.readAll() == b.readAll();
}

} // namespace

bool SVNInterface::createPatch(const QStringList& paths, QByteArray& patch)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Diff, paths, items))
            return false;
        return runToBytes(SVNCommands::patchOf(localRootPath, items), patch);
    });
}

bool SVNInterface::applyPatch(const QByteArray& patch, int strip, bool dryRun, QList<ItemChange>& changes)
{
    return guarded([&] {
        if (strip < -1) {
            setLastError(QLatin1String(SVNSubcommand::Patch), QStringLiteral("%1 components cannot be stripped").arg(strip));
            return false;
        }
        const QList<PatchedFile> files = patchedFiles(patch);
        if (strip == -1) {
            // The names a patch of createPatch() holds are the repository's:
            // the local root's own path below the repository root goes. The
            // local root itself (a property change of it) is named by that
            // path alone, with no slash after it.
            QStringList rootParts;
            SVNUrl::below(rootURL, workingCopyLayout.repositoryRoot(localRootPath), rootParts);
            const QString rootName = rootParts.join(Slash);
            const QString prefix = rootName + Slash;
            const bool underRoot = !rootParts.isEmpty() && !files.isEmpty()
                && std::all_of(files.begin(), files.end(), [&](const PatchedFile& file) {
                       return file.name == rootName || file.name.startsWith(prefix);
                   });
            strip = underRoot ? int(rootParts.size()) : 0;
        }
        SVNPrivateFile patchFile(QStringLiteral("patch"));
        const QString problem = patchFile.write(patch, QStringLiteral("patch"));
        if (!problem.isNull()) {
            setLastError(QLatin1String(SVNSubcommand::Patch), problem);
            return false;
        }

        // An unversioned item where the patch adds a file would be skipped:
        // it is moved aside in its own folder while the patch applies (a dry
        // run too, so that it shows what a real one does), and compared with
        // what the patch made of it afterwards.
        struct Aside
        {
            QString item;  // root-relative
            QString moved; // where it waits
        };
        std::vector<Aside> asides;
        std::vector<std::unique_ptr<QTemporaryDir>> holders;
        {
            std::set<QString> seen;
            for (const PatchedFile& file : files) {
                const QString item = stripped(file.name, strip);
                if (!file.added || item.isEmpty())
                    continue;
                QString blocker;
                const QStringList parts = item.split(Slash);
                for (qsizetype i = 1; i <= parts.size() && blocker.isNull(); ++i) {
                    const QString upTo = parts.mid(0, i).join(Slash);
                    if (QFileInfo(localPath(upTo)).exists() && !workingCopyLayout.inspectNode(localPath(upTo)).known)
                        blocker = upTo;
                }
                if (blocker.isNull() || !seen.insert(blocker).second)
                    continue;
                const QString folder = QFileInfo(localPath(blocker)).path();
                auto holder = std::make_unique<QTemporaryDir>(folder + QStringLiteral("/.patch-aside-XXXXXX"));
                const QString moved = holder->filePath(QStringLiteral("item"));
                if (!holder->isValid() || !QDir().rename(localPath(blocker), moved)) {
                    for (const Aside& aside : asides)
                        QDir().rename(aside.moved, localPath(aside.item));
                    setLastError(QLatin1String(SVNSubcommand::Patch),
                                 QStringLiteral("cannot move %1 aside while the patch applies; nothing was changed")
                                     .arg(blocker));
                    return false;
                }
                asides.push_back({blocker, moved});
                holders.push_back(std::move(holder));
            }
        }

        QList<ItemChange> seen;
        QStringList words;
        bool rejected = false;
        SVNOutput output;
        output.observer = [&](QByteArrayView line) {
            const QString text = fromEightBit(line.data(), line.size());
            const SVNItemLine::ActionLine read = SVNItemLine::readAction(line, SVNSubcommand::Patch);
            if (read.namesItem) {
                seen.append({fromEightBit(read.path.data(), read.path.size()),
                             fromEightBit(read.action.data(), read.action.size())});
                if (read.conflict) {
                    rejected = true;
                    words << text;
                }
            } else if (text.startsWith(QLatin1String("Skipped "))) {
                const qsizetype open = text.indexOf(QLatin1Char('\''));
                const qsizetype close = text.indexOf(QLatin1Char('\''), open + 1);
                if (open > 0 && close > open)
                    seen.append({text.mid(open + 1, close - open - 1), QStringLiteral("Skipped")});
                words << text;
            } else if (text.startsWith(QLatin1Char('>')) && text.contains(QLatin1String("rejected"))) {
                words << text;
            }
        };
        output.restart = [&] {
            seen.clear();
            words.clear();
            rejected = false;
        };
        const bool ran = run(SVNCommands::applyPatch(localRootPath, patchFile.path(), strip, dryRun), output).succeeded();

        // A patch names files alone: a folder the client deleted because
        // the patch emptied it was no deletion of the patch's, and comes
        // back (its files stay deleted).
        if (ran && !dryRun) {
            std::set<QString> named;
            for (const PatchedFile& file : files)
                named.insert(stripped(file.name, strip));
            QStringList emptied;
            for (const ItemChange& change : std::as_const(seen))
                if (change.action.startsWith(QLatin1Char('D')) && named.count(change.path) == 0)
                    emptied << change.path;
            if (!emptied.isEmpty() && !run(SVNCommands::revertPaths(localRootPath, emptied, false)))
                words << QStringLiteral("%1: emptied by the patch and deleted; not brought back: %2")
                             .arg(emptied.join(QStringLiteral(", ")), lastErrorMessage);
        }

        // What waited aside: the same bytes the patch made are no loss; a
        // file the patch did not make goes back; one it made differently is
        // the user's again, taken out of the patch, and refused.
        QStringList refused;
        for (size_t i = 0; i < asides.size(); ++i) {
            const Aside& aside = asides[i];
            if (dryRun) {
                // Nothing was made: all of it goes back as it was.
                if (!QDir().rename(aside.moved, localPath(aside.item))) {
                    holders[i]->setAutoRemove(false);
                    refused << QStringLiteral("%1 (kept in %2)").arg(aside.item, aside.moved);
                }
                continue;
            }
            QStringList movedFiles;
            if (QFileInfo(aside.moved).isDir()) {
                QDirIterator it(aside.moved, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                QDirIterator::Subdirectories);
                while (it.hasNext()) {
                    const QString entry = it.next();
                    if (!it.fileInfo().isDir() || it.fileInfo().isSymLink())
                        movedFiles << entry.mid(aside.moved.size());
                    else
                        QDir().mkpath(localPath(aside.item) + entry.mid(aside.moved.size()));
                }
                QDir().mkpath(localPath(aside.item));
            } else {
                movedFiles << QString();
            }
            for (const QString& tail : std::as_const(movedFiles)) {
                const QString from = aside.moved + tail;
                const QString to = localPath(aside.item) + tail;
                const QString item = aside.item + tail;
                if (QFileInfo(to).exists() || QFileInfo(to).isSymLink()) {
                    if (sameBytes(from, to))
                        continue;
                    run(SVNCommands::revert(localRootPath, item));
                    QFile::remove(to);
                    refused << item;
                    seen.append({item, QStringLiteral("Skipped")});
                }
                if (!QFile::rename(from, to)) {
                    // Never lost: the folder it waits in stays.
                    holders[i]->setAutoRemove(false);
                    refused << QStringLiteral("%1 (kept in %2)").arg(item, from);
                }
            }
        }
        holders.clear(); // the aside folders, empty now but for what was the same

        if (!dryRun) {
            QStringList touched;
            for (const ItemChange& change : std::as_const(seen))
                touched << change.path;
            if (!touched.isEmpty())
                statusPass.rereadItems(touched, SVNStatusPass::Edited);
        }
        changes = seen;
        if (!ran)
            return false;
        if (rejected || !words.isEmpty() || !refused.isEmpty()) {
            if (!refused.isEmpty())
                words << QStringLiteral("%1: an unversioned item of other content is in the patch's way; it was left "
                                        "as it is")
                             .arg(refused.join(QStringLiteral(", ")));
            setLastError(QLatin1String(SVNSubcommand::Patch), words.join(QLatin1Char('\n')));
            return false;
        }
        return true;
    });
}
