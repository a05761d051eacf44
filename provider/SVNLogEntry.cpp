#include "SVNLogEntry.h"

#include <QTimeZone>
#include <QXmlStreamReader>

QDateTime SVNLogEntry::parseDate(const QString& text)
{
    // Seconds, then a fraction of up to six digits, then "Z".
    QDateTime date = QDateTime::fromString(text.left(19), QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    if (!date.isValid())
        return QDateTime();
    date.setTimeZone(QTimeZone::utc());
    if (text.size() > 20 && text.at(19) == QLatin1Char('.')) {
        const QString fraction = text.mid(20, 3).leftJustified(3, QLatin1Char('0'));
        bool digits = false;
        const int ms = fraction.toInt(&digits);
        if (digits)
            date = date.addMSecs(ms);
    }
    return date;
}

QList<SVNLogEntry> SVNLogEntry::parse(const QByteArray& xml, bool* ok)
{
    QList<SVNLogEntry> entries;
    QXmlStreamReader reader(xml);
    SVNLogEntry* entry = nullptr;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = reader.name();
        if (name == QLatin1String("logentry")) {
            entries.append(SVNLogEntry());
            entry = &entries.last();
            entry->revision = reader.attributes().value(QLatin1String("revision")).toString();
        } else if (!entry) {
            continue;
        } else if (name == QLatin1String("author")) {
            entry->author = reader.readElementText();
        } else if (name == QLatin1String("date")) {
            entry->date = parseDate(reader.readElementText());
        } else if (name == QLatin1String("msg")) {
            entry->message = reader.readElementText();
        } else if (name == QLatin1String("path")) {
            const QXmlStreamAttributes attributes = reader.attributes();
            const QString action = attributes.value(QLatin1String("action")).toString();
            const QString from = attributes.value(QLatin1String("copyfrom-path")).toString();
            const QString fromRevision = attributes.value(QLatin1String("copyfrom-rev")).toString();
            QString path = action + QLatin1Char(' ') + reader.readElementText();
            if (!from.isEmpty())
                path += QStringLiteral(" (from %1:%2)").arg(from, fromRevision);
            entry->changedPaths << path;
        }
    }
    const bool wellFormed = !reader.hasError();
    if (ok)
        *ok = wellFormed;
    if (!wellFormed)
        entries.clear();
    return entries;
}

QList<SVNBlameEntry> SVNBlameEntry::parse(const QByteArray& xml, bool* ok)
{
    QList<SVNBlameEntry> entries;
    QXmlStreamReader reader(xml);
    SVNBlameEntry* entry = nullptr;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = reader.name();
        if (name == QLatin1String("entry")) {
            entries.append(SVNBlameEntry());
            entry = &entries.last();
            entry->line = reader.attributes().value(QLatin1String("line-number")).toInt();
        } else if (!entry) {
            continue;
        } else if (name == QLatin1String("commit")) {
            entry->revision = reader.attributes().value(QLatin1String("revision")).toString();
        } else if (name == QLatin1String("author")) {
            entry->author = reader.readElementText();
        } else if (name == QLatin1String("date")) {
            entry->date = SVNLogEntry::parseDate(reader.readElementText());
        }
    }
    const bool wellFormed = !reader.hasError();
    if (ok)
        *ok = wellFormed;
    if (!wellFormed)
        entries.clear();
    return entries;
}
