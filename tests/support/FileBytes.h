#pragma once

// Whole files as bytes, to set up and check what the code under test reads and writes.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

/** Replaces the contents of `path` with `bytes`; failing to fails the test. */
inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
}

/** The contents of `path`, or "<unreadable>". */
inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}
