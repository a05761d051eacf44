#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

/**
 * A file in a temporary folder of its own (readable by the user alone),
 * for bytes the client reads through a path (a property value, a patch);
 * the folder goes with the object.
 */
class SVNPrivateFile
{
public:
    /** `name` is the file's name inside the folder. */
    explicit SVNPrivateFile(const QString& name) : m_name(name) {}

    /** Writes `bytes`; null when they were written, otherwise why not (what the bytes are: `what`). */
    QString write(const QByteArray& bytes, const QString& what);
    QString path() const { return m_folder.filePath(m_name); }

private:
    QTemporaryDir m_folder;
    QString m_name;
};
