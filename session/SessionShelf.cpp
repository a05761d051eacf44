#include "SessionShelf.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <algorithm>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace SvnScc {

namespace {

const QString s_temporaryPrefix = QStringLiteral(".tmp-");
const QString s_manifest = QStringLiteral("manifest.json");
const QString s_patch = QStringLiteral("patch");
const QString s_files = QStringLiteral("files");

/** Writes @p bytes as the new file @p path and flushes it to the disk. */
bool writeNew(const QString& path, const QByteArray& bytes, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(bytes) != bytes.size() || !file.flush()
        || ::fsync(file.handle()) != 0) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool readWhole(const QString& path, QByteArray& bytes, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    bytes = file.readAll();
    return true;
}

/** Whether the process that wrote the temporary @p name ("tmp-PID-...") is gone. */
bool writerGone(const QString& name)
{
    const QString pid = name.mid(s_temporaryPrefix.size()).section(QLatin1Char('-'), 0, 0);
    bool number = false;
    const qint64 id = pid.toLongLong(&number);
    if (!number || id <= 0)
        return true;
    return id != ::getpid() && ::kill(pid_t(id), 0) != 0 && errno == ESRCH;
}

} // namespace

QString ShelfStore::folderFor(const QString& canonicalRoot)
{
    const QByteArray key = QCryptographicHash::hash(canonicalRoot.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/svnscc/shelves/")
        + QString::fromLatin1(key);
}

bool ShelfStore::write(const ShelfContent& content, QString& error) const
{
    if (!QDir().mkpath(m_folder)) {
        error = QStringLiteral("cannot make the folder %1").arg(m_folder);
        return false;
    }
    const QString id = content.about.date.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz")) + QLatin1Char('-')
        + QString::number(QRandomGenerator::global()->generate(), 16);
    const QString temporary = m_folder + QLatin1Char('/') + s_temporaryPrefix + QString::number(::getpid())
        + QLatin1Char('-') + id;
    const auto fail = [&] {
        QDir(temporary).removeRecursively();
        return false;
    };
    if (!QDir().mkpath(temporary + QLatin1Char('/') + s_files)) {
        error = QStringLiteral("cannot make the folder %1").arg(temporary);
        return fail();
    }
    QJsonArray paths, files;
    for (const QString& path : content.about.paths)
        paths.append(path);
    for (qsizetype i = 0; i < content.files.size(); ++i) {
        files.append(content.files.at(i).first);
        if (!writeNew(temporary + QLatin1Char('/') + s_files + QLatin1Char('/') + QString::number(i),
                      content.files.at(i).second, error))
            return fail();
    }
    if (!writeNew(temporary + QLatin1Char('/') + s_patch, content.patch, error))
        return fail();
    const QJsonObject manifest{
        {QStringLiteral("name"), content.about.name},
        {QStringLiteral("date"), content.about.date.toUTC().toString(Qt::ISODateWithMs)},
        {QStringLiteral("paths"), paths},
        {QStringLiteral("files"), files},
        {QStringLiteral("beforeRevert"), content.beforeRevert}};
    if (!writeNew(temporary + QLatin1Char('/') + s_manifest, QJsonDocument(manifest).toJson(), error))
        return fail();
    // The rename is the moment the shelf exists: before it, a reader sees
    // only a temporary, which it ignores.
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(m_folder + QLatin1Char('/') + id).constData())
        != 0) {
        error = QStringLiteral("cannot rename %1: %2").arg(temporary, QString::fromLocal8Bit(std::strerror(errno)));
        return fail();
    }
    if (const int folder = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY); folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

QList<ShelfStore::Entry> ShelfStore::entries() const
{
    QList<Entry> found;
    const QDir folder(m_folder);
    for (const QString& name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name)) {
        const QString path = folder.filePath(name);
        if (name.startsWith(s_temporaryPrefix)) {
            if (writerGone(name))
                QDir(path).removeRecursively();
            continue;
        }
        QByteArray bytes;
        QString ignored;
        if (!readWhole(path + QLatin1Char('/') + s_manifest, bytes, ignored))
            continue;
        const QJsonObject manifest = QJsonDocument::fromJson(bytes).object();
        Entry entry;
        entry.folder = path;
        entry.content.about.name = manifest.value(QStringLiteral("name")).toString();
        entry.content.about.date =
            QDateTime::fromString(manifest.value(QStringLiteral("date")).toString(), Qt::ISODateWithMs).toUTC();
        for (const QJsonValue& value : manifest.value(QStringLiteral("paths")).toArray())
            entry.content.about.paths << value.toString();
        for (const QJsonValue& value : manifest.value(QStringLiteral("files")).toArray())
            entry.content.files.append({value.toString(), QByteArray()});
        entry.content.beforeRevert = manifest.value(QStringLiteral("beforeRevert")).toBool();
        if (entry.content.about.name.isEmpty() || !entry.content.about.date.isValid())
            continue;
        found << entry;
    }
    std::stable_sort(found.begin(), found.end(), [](const Entry& a, const Entry& b) {
        return a.content.about.date > b.content.about.date;
    });
    return found;
}

QList<Shelf> ShelfStore::list() const
{
    QList<Shelf> shelves;
    for (const Entry& entry : entries())
        shelves << entry.content.about;
    return shelves;
}

bool ShelfStore::find(const QString& name, Entry& entry) const
{
    for (const Entry& one : entries()) {
        if (one.content.about.name == name) {
            entry = one;
            return true;
        }
    }
    return false;
}

bool ShelfStore::contains(const QString& name) const
{
    Entry entry;
    return find(name, entry);
}

bool ShelfStore::read(const QString& name, ShelfContent& content, QString& error) const
{
    Entry entry;
    if (!find(name, entry)) {
        error = QStringLiteral("no shelf is named \"%1\"").arg(name);
        return false;
    }
    content = entry.content;
    if (!readWhole(entry.folder + QLatin1Char('/') + s_patch, content.patch, error))
        return false;
    for (qsizetype i = 0; i < content.files.size(); ++i) {
        if (!readWhole(entry.folder + QLatin1Char('/') + s_files + QLatin1Char('/') + QString::number(i),
                       content.files[i].second, error))
            return false;
    }
    return true;
}

bool ShelfStore::drop(const QString& name, QString& error) const
{
    Entry entry;
    if (!find(name, entry)) {
        error = QStringLiteral("no shelf is named \"%1\"").arg(name);
        return false;
    }
    // Renamed to a temporary first, so that a removal cut short leaves no half shelf.
    const QString doomed = m_folder + QLatin1Char('/') + s_temporaryPrefix + QLatin1String("0-")
        + QFileInfo(entry.folder).fileName();
    if (std::rename(QFile::encodeName(entry.folder).constData(), QFile::encodeName(doomed).constData()) != 0) {
        error = QStringLiteral("cannot remove %1: %2").arg(entry.folder, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    QDir(doomed).removeRecursively();
    return true;
}

void ShelfStore::prune(const QDateTime& now) const
{
    const QDateTime oldest = now.toUTC().addDays(-RevertShelfDays);
    int kept = 0;
    for (const Entry& entry : entries()) {
        if (!entry.content.beforeRevert)
            continue;
        if (entry.content.about.date < oldest || ++kept > RevertShelvesKept) {
            const QString doomed = m_folder + QLatin1Char('/') + s_temporaryPrefix + QLatin1String("0-")
                + QFileInfo(entry.folder).fileName();
            if (std::rename(QFile::encodeName(entry.folder).constData(), QFile::encodeName(doomed).constData()) == 0)
                QDir(doomed).removeRecursively();
        }
    }
}

} // namespace SvnScc
