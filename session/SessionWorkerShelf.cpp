// The shelf operations of the session's worker: what shelve(), unshelve(),
// shelves(), dropShelf() and the shelf a revert keeps first run, in the
// worker's thread.

#include "SessionShelf.h"
#include "SessionWorker.h"
#include "WorkingCopyDigest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace SvnScc {

namespace {

const Outcome s_done{true, QString(), QString()};

Outcome refused(const char* command, const QString& why)
{
    return Outcome{false, QLatin1String(command), why};
}

QString listed(const QList<SourceCodeControl::ItemChange>& changes)
{
    QStringList lines;
    for (const SourceCodeControl::ItemChange& change : changes)
        lines << change.action + change.path;
    return lines.join(QLatin1Char('\n'));
}

} // namespace

ShelfStore SessionWorker::shelfStore() const
{
    return ShelfStore(ShelfStore::folderFor(m_canonicalRoot.isEmpty() ? m_localRoot : m_canonicalRoot));
}

bool SessionWorker::isUnversioned(const QString& path)
{
    if (path.isEmpty() || !QFileInfo::exists(absolute(path)))
        return false;
    // The working copy's database says it at once, with no client run; the
    // status cache may not have seen a file made since it was read.
    QStringList recorded;
    if (m_digest && m_digest->recordedBelow(path.section(QLatin1Char('/'), 0, -2), recorded))
        return !recorded.contains(path);
    readAgain({path});
    const Status status = readStatus(path);
    return status.known && !status.controlled;
}

Outcome SessionWorker::keepBeforeRevert(const QStringList& relativePaths)
{
    if (!m_provider3)
        return s_done; // a version-2 plug-in makes no patches: nothing can be kept
    // A revert leaves unversioned files alone, and the client makes no patch of them.
    QStringList versioned;
    for (const QString& path : relativePaths) {
        if (!isUnversioned(path))
            versioned << path;
    }
    QByteArray patch;
    if (versioned.isEmpty())
        return s_done;
    if (!m_provider3->createPatch(versioned, patch))
        return outcomeOf(false); // nothing is reverted that could not be kept
    if (patch.isEmpty())
        return s_done;
    ShelfContent content;
    content.about.date = QDateTime::currentDateTimeUtc();
    QStringList shown;
    for (const QString& path : std::as_const(versioned))
        shown << (path.isEmpty() ? QStringLiteral(".") : path);
    content.about.name = QStringLiteral("before revert %1 %2")
                             .arg(content.about.date.toString(Qt::ISODateWithMs), shown.join(QLatin1Char(' ')));
    content.about.paths = versioned;
    content.beforeRevert = true;
    content.patch = patch;
    const ShelfStore store = shelfStore();
    QString error;
    if (!store.write(content, error))
        return refused("revert", QStringLiteral("the changes could not be kept before the revert: ") + error);
    store.prune(content.about.date);
    return s_done;
}

Outcome SessionWorker::shelve(const QString& name, const QStringList& paths)
{
    QStringList relativePaths;
    if (const Outcome refusal = prepare(paths, relativePaths, "shelve"); !refusal.ok)
        return refusal;
    if (name.trimmed().isEmpty() || relativePaths.isEmpty())
        return refused("shelve", QStringLiteral("a shelf needs a name and paths"));
    if (!m_provider3)
        return refused("shelve", QStringLiteral("the plug-in has no version-3 interface: it makes no patches"));
    const ShelfStore store = shelfStore();
    if (store.contains(name))
        return refused("shelve", QStringLiteral("a shelf is named \"%1\" already").arg(name));

    // The unversioned files named among the paths are kept as they are;
    // the client reverts the others.
    ShelfContent content;
    QStringList versioned;
    for (const QString& path : relativePaths) {
        if (!isUnversioned(path)) {
            versioned << path;
            continue;
        }
        QFile file(absolute(path));
        if (!QFileInfo(file).isFile())
            return refused("shelve", QStringLiteral("%1 is an unversioned folder: shelve its files").arg(path));
        if (!file.open(QIODevice::ReadOnly))
            return refused("shelve", QStringLiteral("%1: %2").arg(path, file.errorString()));
        content.files.append({path, file.readAll()});
    }
    if (!versioned.isEmpty() && !m_provider3->createPatch(versioned, content.patch))
        return outcomeOf(false);
    if (content.patch.isEmpty() && content.files.isEmpty())
        return refused("shelve", QStringLiteral("nothing to shelve: the paths hold no changes"));
    content.about.name = name;
    content.about.date = QDateTime::currentDateTimeUtc();
    content.about.paths = relativePaths;
    QString error;
    if (!store.write(content, error))
        return refused("shelve", error);

    // Only now that the shelf is written whole is anything taken away.
    Outcome outcome = s_done;
    if (!content.patch.isEmpty())
        outcome = outcomeOf(m_provider->revert(versioned, true));
    if (outcome.ok) {
        for (const auto& file : std::as_const(content.files)) {
            if (!QFile::remove(absolute(file.first))) {
                outcome = refused("shelve", QStringLiteral("%1 could not be removed").arg(file.first));
                break;
            }
        }
    }
    afterChange(relativePaths);
    return outcome;
}

Outcome SessionWorker::unshelve(const QString& name)
{
    QStringList none;
    if (const Outcome refusal = prepare({}, none, "patch"); !refusal.ok)
        return refusal;
    if (!m_provider3)
        return refused("patch", QStringLiteral("the plug-in has no version-3 interface: it applies no patches"));
    const ShelfStore store = shelfStore();
    ShelfContent content;
    QString error;
    if (!store.read(name, content, error))
        return refused("patch", error);

    // An unversioned file of the shelf that exists with other bytes is never
    // overwritten: the shelf is refused whole, nothing changed.
    for (const auto& file : std::as_const(content.files)) {
        QFile existing(absolute(file.first));
        if (existing.exists() && (!existing.open(QIODevice::ReadOnly) || existing.readAll() != file.second))
            return refused("patch", QStringLiteral("the shelf \"%1\" does not apply; nothing changed:\n"
                                                   "%2 exists with other content")
                                        .arg(name, file.first));
    }
    QStringList notApplied;
    QStringList touched = content.about.paths;
    if (!content.patch.isEmpty()) {
        // A dry run first: a shelf that does not apply cleanly changes nothing.
        QList<SourceCodeControl::ItemChange> changes;
        if (!m_provider3->applyPatch(content.patch, -1, true, changes)) {
            Outcome outcome = outcomeOf(false);
            outcome.error = QStringLiteral("the shelf \"%1\" does not apply; nothing changed:\n%2\n%3")
                                .arg(name, listed(changes), outcome.error);
            return outcome;
        }
        changes.clear();
        if (!m_provider3->applyPatch(content.patch, -1, false, changes)) {
            QString command;
            notApplied << listed(changes) << m_provider->getLastError(command);
        }
        for (const SourceCodeControl::ItemChange& change : std::as_const(changes))
            touched << change.path;
    }
    for (const auto& file : std::as_const(content.files)) {
        const QString path = absolute(file.first);
        if (QFileInfo::exists(path))
            continue; // the same bytes: checked above
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSaveFile restored(path);
        if (!restored.open(QIODevice::WriteOnly) || restored.write(file.second) != file.second.size() || !restored.commit())
            notApplied << QStringLiteral("%1: %2").arg(file.first, restored.errorString());
        touched << file.first;
    }
    afterChange(touched);
    if (!notApplied.isEmpty())
        return refused("patch", QStringLiteral("the shelf \"%1\" did not apply whole and is kept:\n%2")
                                    .arg(name, notApplied.join(QLatin1Char('\n'))));
    if (!store.drop(name, error))
        return refused("patch", error);
    return s_done;
}

Result<QList<Shelf>> SessionWorker::shelves()
{
    Result<QList<Shelf>> result;
    QStringList none;
    static_cast<Outcome&>(result) = prepare({}, none, "shelves");
    if (result.ok)
        result.value = shelfStore().list();
    return result;
}

Outcome SessionWorker::dropShelf(const QString& name)
{
    QStringList none;
    if (const Outcome refusal = prepare({}, none, "shelves"); !refusal.ok)
        return refusal;
    QString error;
    if (!shelfStore().drop(name, error))
        return refused("shelves", error);
    return s_done;
}

} // namespace SvnScc
