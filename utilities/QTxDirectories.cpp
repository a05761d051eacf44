#include "QTxDirectories.h"

#include "EightBit.h"
#include "Path.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdlib>

namespace {

QString s_applicationDirectory;
QString s_rootDirectory;

// Null when the variable is not set, empty when it is set to "".
QString environmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? fromEightBit(value) : QString();
}

} // namespace

namespace QTx {

void setApplicationPath(const char* path, int levels)
{
    QDir dir = QFileInfo(fromEightBit(path)).absoluteDir();
    s_applicationDirectory = Path::toOsPath(dir.canonicalPath());
    for (int i = 0; i < levels; ++i)
        dir.cdUp();
    s_rootDirectory = Path::toOsPath(dir.canonicalPath());
}

QString applicationDirectory()
{
    return s_applicationDirectory;
}

QString rootDirectory()
{
    return s_rootDirectory;
}

QString appPath()
{
    return QCoreApplication::arguments().value(0);
}

QString appDir()
{
    return QFileInfo(appPath()).absolutePath();
}

QString osDir()
{
    return QStringLiteral("/");
}

QString osRoot()
{
    return QStringLiteral("/");
}

QString tmpDir()
{
    for (const char* name : { "TMP", "TEMP", "TMPDIR" }) {
        const QString value = environmentValue(name);
        if (!value.isNull())
            return value;
    }
    return QStringLiteral("/tmp");
}

QString userHomeDirectory()
{
    return environmentValue("HOME");
}

QString userDocumentsDirectory()
{
    return environmentValue("HOME") + QStringLiteral("/Documents");
}

QString userDesktopDirectory()
{
    return environmentValue("HOME") + QStringLiteral("/Desktop");
}

QString userLocalAppDataDirectory(const QString& applicationName)
{
    QString result = environmentValue("HOME") + QStringLiteral("/.") + applicationName.toLower();
    return result.replace(QLatin1Char(' '), QLatin1Char('_'));
}

QString userRoamingAppDataDirectory(const QString& applicationName)
{
    Q_UNUSED(applicationName);
    return QLatin1String("");
}

} // namespace QTx
