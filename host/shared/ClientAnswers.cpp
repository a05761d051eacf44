#include "ClientAnswers.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QXmlStreamReader>

namespace {

QDateTime utcDate(const QString& text)
{
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}

// A name holding '@' gets the empty peg revision, so that the client reads it as a name.
QString asTarget(const QString& target)
{
    return target.contains(QLatin1Char('@')) ? target + QLatin1Char('@') : target;
}

} // namespace

bool clientOutput(const QString& svnExecutable, const QString& directory, const QStringList& arguments,
                  QByteArray& output, QString* error)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LANGUAGE"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(directory);
    // Ahead of the subcommand, so that it stays an option when the arguments end with "--" and a target.
    process.start(svnExecutable, QStringList{QStringLiteral("--non-interactive")} + arguments);
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0) {
        output = process.readAllStandardOutput();
        return true;
    }
    if (error)
        *error = process.error() == QProcess::FailedToStart
            ? process.errorString()
            : QString::fromUtf8(process.readAllStandardError()).trimmed();
    return false;
}

QList<SourceCodeControl::LogEntry> clientLog(const QString& svnExecutable, const QString& directory,
                                             const QString& target, const QStringList& options,
                                             QString* error)
{
    QList<SourceCodeControl::LogEntry> entries;
    QByteArray xml;
    const QStringList arguments = QStringList{QStringLiteral("log"), QStringLiteral("--xml"),
                                              QStringLiteral("--verbose")}
        + options + QStringList{QStringLiteral("--"), asTarget(target)};
    if (!clientOutput(svnExecutable, directory, arguments, xml, error))
        return entries;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = reader.name();
        if (name == QLatin1String("logentry")) {
            entries.append(SourceCodeControl::LogEntry());
            entries.last().revision = reader.attributes().value(QLatin1String("revision")).toString();
        } else if (entries.isEmpty()) {
            continue;
        } else if (name == QLatin1String("author")) {
            entries.last().author = reader.readElementText();
        } else if (name == QLatin1String("date")) {
            entries.last().date = utcDate(reader.readElementText());
        } else if (name == QLatin1String("msg")) {
            entries.last().message = reader.readElementText();
        } else if (name == QLatin1String("path")) {
            const QXmlStreamAttributes attributes = reader.attributes();
            const QString from = attributes.value(QLatin1String("copyfrom-path")).toString();
            const QString fromRevision = attributes.value(QLatin1String("copyfrom-rev")).toString();
            QString path = attributes.value(QLatin1String("action")).toString() + QLatin1Char(' ')
                + reader.readElementText();
            if (!from.isEmpty())
                path += QStringLiteral(" (from %1:%2)").arg(from, fromRevision);
            entries.last().changedPaths << path;
        }
    }
    return entries;
}

QList<SourceCodeControl::AnnotatedLine> clientBlame(const QString& svnExecutable, const QString& directory,
                                                    const QString& target, const QStringList& options,
                                                    QString* error)
{
    QList<SourceCodeControl::AnnotatedLine> lines;
    QByteArray xml;
    const QStringList arguments = QStringList{QStringLiteral("blame"), QStringLiteral("--xml")} + options
        + QStringList{QStringLiteral("--"), asTarget(target)};
    if (!clientOutput(svnExecutable, directory, arguments, xml, error))
        return lines;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = reader.name();
        if (name == QLatin1String("entry")) {
            lines.append(SourceCodeControl::AnnotatedLine());
        } else if (lines.isEmpty()) {
            continue;
        } else if (name == QLatin1String("commit")) {
            lines.last().revision = reader.attributes().value(QLatin1String("revision")).toString();
        } else if (name == QLatin1String("author")) {
            lines.last().author = reader.readElementText();
        } else if (name == QLatin1String("date")) {
            lines.last().date = utcDate(reader.readElementText());
        }
    }
    return lines;
}
