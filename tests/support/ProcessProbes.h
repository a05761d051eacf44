#pragma once

// What this process holds open and which children it has not reaped, read
// from /proc, so that a test can see a run leave nothing behind.

#include <QDir>
#include <QFile>
#include <QStringList>

#include <unistd.h>

/** Every open descriptor of this process with what it refers to. */
inline QStringList openDescriptors()
{
    QStringList result;
    const QDir fdDir("/proc/self/fd");
    for (const QString& name : fdDir.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fdDir.filePath(name));
        if (!target.isEmpty()) // the listing's own descriptor is gone by now
            result << name + QStringLiteral(" -> ") + target;
    }
    return result;
}

/** The pids of the processes (zombies included) whose parent is this process. */
inline QStringList childProcesses()
{
    QStringList result;
    const QByteArray self = QByteArray::number(::getpid());
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(QStringLiteral("/proc/") + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ...": comm may hold blanks, so start after the last ")".
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1] == self)
            result << pid;
    }
    return result;
}
