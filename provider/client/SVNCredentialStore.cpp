#include "SVNCredentialStore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

namespace {

const char* const s_credentialKinds[] = {"svn.simple", "svn.username"};

// The client's own area, as the client the provider starts finds it.
QString authFolder()
{
    const QString home = qEnvironmentVariable("HOME");
    return (home.isEmpty() ? QDir::homePath() : home) + QStringLiteral("/.subversion/auth");
}

QString fileName(const QString& realm)
{
    return QString::fromLatin1(QCryptographicHash::hash(realm.toUtf8(), QCryptographicHash::Md5).toHex());
}

// The realm a stored entry names: the value after "K 15\nsvn:realmstring\nV n\n".
QString storedRealm(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = file.read(64 * 1024);
    const QByteArray key("\nsvn:realmstring\nV ");
    const qsizetype at = bytes.indexOf(key);
    if (at < 0)
        return QString();
    const qsizetype lengthEnd = bytes.indexOf('\n', at + key.size());
    bool ok = false;
    const int length = bytes.mid(at + key.size(), lengthEnd - at - key.size()).toInt(&ok);
    if (!ok || lengthEnd < 0)
        return QString();
    return QString::fromUtf8(bytes.mid(lengthEnd + 1, length));
}

bool remove(const QString& path, QString& problem)
{
    QFile file(path);
    if (!file.exists() || file.remove())
        return true;
    problem = QStringLiteral("cannot remove %1: %2").arg(path, file.errorString());
    return false;
}

} // namespace

namespace SVNCredentialStore {

bool forget(const QString& realm, QString& problem)
{
    bool removed = true;
    for (const char* kind : s_credentialKinds) {
        const QDir folder(authFolder() + QLatin1Char('/') + QLatin1String(kind));
        if (realm.isEmpty()) {
            for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden))
                removed = remove(folder.filePath(name), problem) && removed;
            continue;
        }
        const QString path = folder.filePath(fileName(realm));
        if (storedRealm(path) == realm)
            removed = remove(path, problem) && removed;
    }
    return removed;
}

bool trustStored(const QString& realm)
{
    return storedRealm(authFolder() + QStringLiteral("/svn.ssl.server/") + fileName(realm)) == realm;
}

} // namespace SVNCredentialStore
