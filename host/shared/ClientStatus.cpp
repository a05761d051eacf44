#include "ClientStatus.h"

#include "ClientAnswers.h"

ClientStatus clientStatus(const QString& svnExecutable, const QString& directory,
                          const QString& name, const QStringList& options, QString* error)
{
    const QString target = name.contains(QLatin1Char('@')) ? name + QLatin1Char('@') : name;
    const QStringList command{QStringLiteral("status"), QStringLiteral("--show-updates"), QStringLiteral("--verbose")};
    ClientStatus status;
    QByteArray output;
    if (!clientOutput(svnExecutable, directory, command + options + QStringList{QStringLiteral("--"), target},
                      output, error))
        return status;
    const QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1Char('?')) && line.endsWith(QLatin1Char(' ') + name)) {
            status.listed = true; // unversioned: its columns alone
            status.columns = line.left(7);
            continue;
        }
        if (line.size() < 10 || line.at(7) != QLatin1Char(' '))
            continue;
        // Working revision, last changed revision, author; then the name.
        qsizetype pos = 9;
        QStringList fields;
        for (int field = 0; field < 4; ++field) {
            while (pos < line.size() && line.at(pos) == QLatin1Char(' '))
                ++pos;
            const qsizetype start = pos;
            while (field < 3 && pos < line.size() && line.at(pos) != QLatin1Char(' '))
                ++pos;
            fields << (field < 3 ? line.mid(start, pos - start) : line.mid(start));
        }
        // The name starts in column 42 unless a long author (which may hold
        // blanks) pushed it on; the client was asked for this name alone.
        if (fields.at(3) != name && !line.endsWith(QLatin1Char(' ') + name))
            continue;
        status.listed = true;
        status.columns = line.left(7);
        status.outOfDate = line.at(8) == QLatin1Char('*');
        status.workingRevision = fields.at(0);
        status.lastChangedRevision = fields.at(1);
    }
    return status;
}

QString differenceFromClient(const FileStatus& status, const ClientStatus& client)
{
    if (!client.listed)
        return QStringLiteral("the client does not list the file");
    QStringList differences;
    auto compare = [&](const char* what, const QString& ours, const QString& theirs) {
        if (ours != theirs)
            differences << QStringLiteral("%1 %2, client %3").arg(QLatin1String(what), ours, theirs);
    };
    auto yesNo = [](bool value) { return value ? QStringLiteral("yes") : QStringLiteral("no"); };
    const QChar first = client.columns.at(0);
    compare("controlled", yesNo(status.controlled), yesNo(first != QLatin1Char('?')));
    compare("status", status.statusText, client.columns);
    compare("revision", status.revisionText, client.workingRevision);
    compare("changed", status.lastChangedText, client.lastChangedRevision);
    compare("outOfDate", yesNo(status.outOfDate), yesNo(client.outOfDate));
    compare("modified", yesNo(status.modified),
            yesNo(first == QLatin1Char('M') || first == QLatin1Char('!')));
    compare("checkedOut", yesNo(status.checkedOut), yesNo(client.columns.at(5) == QLatin1Char('K')));
    return differences.join(QStringLiteral("; "));
}
