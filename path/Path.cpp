#include "Path.h"

QString Path::toOsPath(const QString& path)
{
    return path;
}
