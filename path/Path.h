#pragma once

#include <QString>

/** A file-system path value (being completed). */
class Path
{
public:
    /** The operating-system form of a path: on this platform the path itself. */
    static QString toOsPath(const QString& path);
};
