#include "SVNPrivateFile.h"

#include <QFile>

QString SVNPrivateFile::write(const QByteArray& bytes, const QString& what)
{
    if (!m_folder.isValid())
        return QStringLiteral("cannot write the %1 for the client: %2").arg(what, m_folder.errorString());
    QFile file(path());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush())
        return QStringLiteral("cannot write the %1 for the client into %2: %3").arg(what, path(), file.errorString());
    return QString();
}
