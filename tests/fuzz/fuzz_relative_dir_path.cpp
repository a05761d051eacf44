// Path::relativeDirPath on two arbitrary paths (the input split at its first
// NUL byte): no crash; a false result leaves the result null; and, for paths
// without "." or ".." steps, following the result from the base arrives at
// the target.

#include "FuzzSupport.h"
#include "Path.h"

#include <QFileInfo>
#include <QStringList>

namespace {

QStringList absoluteParts(const QString& path)
{
    return QFileInfo(path).absoluteFilePath().split(QLatin1Char('/'), Qt::SkipEmptyParts);
}

bool hasDotSteps(const QStringList& parts)
{
    return parts.contains(QLatin1String(".")) || parts.contains(QLatin1String(".."));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = latin1Text(data, size);
    const qsizetype split = text.indexOf(QChar(0));
    const QString base = split < 0 ? text : text.left(split);
    const QString target = split < 0 ? QString() : text.mid(split + 1);
    if (base.contains(QChar(0)) || target.contains(QChar(0)))
        return 0;

    QString result = "unset";
    const bool ok = Path::relativeDirPath(base, target, result);
    if (!ok) {
        FUZZ_CHECK(result.isNull(), "false with a result");
        return 0;
    }
    if (target == QLatin1String("."))
        return 0;
    QStringList reached = absoluteParts(base);
    const QStringList wanted = absoluteParts(target);
    if (hasDotSteps(reached) || hasDotSteps(wanted))
        return 0;
    FUZZ_CHECK(result.isNull() || !result.isEmpty(), "an empty result that is not null");
    if (!result.isNull()) {
        FUZZ_CHECK(!result.startsWith(QLatin1Char('/')) && !result.endsWith(QLatin1Char('/')),
                   "result with a leading or trailing slash");
        for (const QString& step : result.split(QLatin1Char('/'))) {
            FUZZ_CHECK(!step.isEmpty(), "an empty step");
            if (step == QLatin1String("..")) {
                FUZZ_CHECK(!reached.isEmpty(), "climbed above the root");
                reached.removeLast();
            } else {
                reached << step;
            }
        }
    }
    FUZZ_CHECK(reached == wanted, "following the result misses the target");
    return 0;
}
