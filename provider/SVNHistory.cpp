// The version-2 operations that read: history, annotate, diff, and the list
// of what changed below a folder.

#include "SVNInterface.h"

#include "EightBit.h"
#include "SVNItemLine.h"
#include "SVNLogEntry.h"
#include "SVNUrl.h"

#include <QFile>
#include <QTemporaryFile>
#include <QXmlStreamReader>

#include <algorithm>

namespace {

const QLatin1Char Slash('/');

// An output that keeps every line's bytes, a line feed after each.
SVNOutput intoBytes(QByteArray& bytes)
{
    SVNOutput output;
    output.observer = [&bytes](QByteArrayView line) { bytes.append(line.data(), line.size()).append('\n'); };
    output.restart = [&bytes] { bytes.clear(); };
    return output;
}

// A text's lines without their line ends (LF or CR LF); a last line
// without one counts, a line end at the very end makes no empty line.
QStringList linesOf(const QByteArray& text)
{
    QStringList lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        const qsizetype next = end < 0 ? text.size() : end + 1;
        if (end < 0)
            end = text.size();
        const qsizetype length = end - start - (end > start && text.at(end - 1) == '\r' ? 1 : 0);
        lines << fromEightBit(text.constData() + start, length);
        start = next;
    }
    return lines;
}

// Whether `revision` is a revision number (digits only).
bool isRevisionNumber(const QString& revision)
{
    if (revision.isEmpty())
        return false;
    for (const QChar c : revision)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// The revision of the first entry of "svn info --xml": the number the asked
// revision names (its last-changed revision is the commit's attribute).
QString entryRevision(const QByteArray& xml)
{
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("entry")) {
            const QString number = reader.attributes().value(QLatin1String("revision")).toString();
            return isRevisionNumber(number) ? number : QString();
        }
    }
    return QString();
}

} // namespace

bool SVNInterface::log(const QString& path, int limit, QList<SourceCodeControl::LogEntry>& entries)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Log, {path}, items))
            return false;
        // The item's URL, so the history reaches the newest revision and not
        // only the working copy's base.
        const QString url = itemURL(items.first());
        QByteArray xml;
        if (!run(SVNCommands::history(url, qMax(0, limit)), intoBytes(xml)).succeeded())
            return false;
        bool wellFormed = false;
        const QList<SVNLogEntry> read = SVNLogEntry::parse(xml, &wellFormed);
        if (!wellFormed) {
            setLastError(QLatin1String(SVNSubcommand::Log), QStringLiteral("the client's XML could not be read"));
            return false;
        }
        QList<SourceCodeControl::LogEntry> result;
        result.reserve(read.size());
        for (const SVNLogEntry& entry : read)
            result.append({entry.revision, entry.author, entry.date, entry.message, entry.changedPaths});
        entries = result;
        return true;
    });
}

bool SVNInterface::annotate(const QString& path, const QString& revision,
                            QList<SourceCodeControl::AnnotatedLine>& lines)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Blame, {path}, items))
            return false;
        const QString& item = items.first();
        // WORKING blames the working file, local lines with no revision; its
        // text is the file itself. Any other revision (BASE when none is
        // given): the client's text at it.
        const bool working = revision.compare(QLatin1String("WORKING"), Qt::CaseInsensitive) == 0;
        QString at = revision.isEmpty() ? QStringLiteral("BASE") : revision;
        // Lines and texts come from two runs: both at one revision number,
        // so that a commit between them cannot mix two revisions. A keyword
        // that may name another revision by the second run (HEAD, a date,
        // ...) is read as its number once. BASE is the working copy's own
        // and does not move; a number is one already.
        if (!working && !isRevisionNumber(at) && at.compare(QLatin1String("BASE"), Qt::CaseInsensitive) != 0) {
            QByteArray info;
            if (!run(SVNCommands::revisionNumber(localRootPath, item, at), intoBytes(info)).succeeded())
                return false;
            at = entryRevision(info);
            if (at.isEmpty()) {
                setLastError(QLatin1String(SVNSubcommand::Info),
                             QStringLiteral("the client named no revision for %1 at %2").arg(item, revision));
                return false;
            }
        }
        QByteArray xml, text;
        if (!run(SVNCommands::blame(localRootPath, item, working ? QString() : at), intoBytes(xml)).succeeded())
            return false;
        if (working) {
            QFile file(localPath(item));
            if (!file.open(QIODevice::ReadOnly)) {
                setLastError(QLatin1String(SVNSubcommand::Blame),
                             QStringLiteral("cannot read %1: %2").arg(localPath(item), file.errorString()));
                return false;
            }
            text = file.readAll();
        } else {
            SVNOutput output;
            QTemporaryFile scratch;
            if (!scratch.open()) {
                setLastError(QLatin1String(SVNSubcommand::Cat), QStringLiteral("cannot make a scratch file: %1")
                                                                    .arg(scratch.errorString()));
                return false;
            }
            output.descriptor = scratch.handle();
            output.restart = [&scratch] {
                if (scratch.resize(0))
                    scratch.seek(0);
            };
            if (!run(SVNCommands::cat(localRootPath, item, at), output).succeeded())
                return false;
            scratch.seek(0);
            text = scratch.readAll();
        }
        bool wellFormed = false;
        const QList<SVNBlameEntry> blamed = SVNBlameEntry::parse(xml, &wellFormed);
        const QStringList texts = linesOf(text);
        if (!wellFormed) {
            setLastError(QLatin1String(SVNSubcommand::Blame), QStringLiteral("the client's XML could not be read"));
            return false;
        }
        QList<SourceCodeControl::AnnotatedLine> result;
        result.reserve(texts.size());
        for (qsizetype i = 0; i < texts.size(); ++i) {
            SourceCodeControl::AnnotatedLine line;
            line.text = texts.at(i);
            result.append(line);
        }
        for (const SVNBlameEntry& entry : blamed) {
            if (entry.line < 1 || entry.line > result.size())
                continue;
            SourceCodeControl::AnnotatedLine& line = result[entry.line - 1];
            line.revision = entry.revision;
            line.author = entry.author;
            line.date = entry.date;
        }
        lines = result;
        return true;
    });
}

bool SVNInterface::diff(const QString& path, const QString& from, const QString& to, QByteArray& unifiedDiff)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Diff, {path}, items))
            return false;
        return runToBytes(SVNCommands::diff(localRootPath, items.first(), from, to), unifiedDiff);
    });
}

bool SVNInterface::changes(const QString& folder, QList<SourceCodeControl::Change>& changes)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Status, {folder}, items))
            return false;
        QList<SourceCodeControl::Change> result;
        SVNOutput output;
        output.observer = [&](QByteArrayView line) {
            const SVNItemLine::StatusLine read = SVNItemLine::readStatus(line, SVNItemLine::StatusForm::Plain);
            if (read.kind != SVNItemLine::StatusKind::Entry)
                return;
            SourceCodeControl::Change change;
            change.statusColumns = fromEightBit(read.columns.data(), read.columns.size());
            change.path = read.name == QByteArrayView(".") ? QStringLiteral("")
                                                           : fromEightBit(read.name.data(), read.name.size());
            result.append(change);
        };
        output.restart = [&] { result.clear(); };
        if (!run(SVNCommands::changes(localRootPath, items.first()), output).succeeded())
            return false;
        changes = result;
        return true;
    });
}

namespace {

// A URL whose names may hold "@", made safe to carry a peg revision: each
// "@" after the host written as "%40", which the client decodes back.
QString withPeg(const QString& url, const QString& revision)
{
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    const qsizetype path = scheme < 0 ? 0 : url.indexOf(Slash, scheme + 3);
    QString safe = url;
    if (path >= 0)
        safe = url.left(path) + url.mid(path).replace(QLatin1Char('@'), QLatin1String("%40"));
    return safe + QLatin1Char('@') + revision;
}

// The action letters of a <path> of "diff --summarize --xml": the text's and
// the properties' column, trailing blanks removed ("A", "D", "M", " M", "MM").
QString summaryAction(const QXmlStreamAttributes& attributes)
{
    const QStringView item = attributes.value(QLatin1String("item"));
    const QChar text = item == QLatin1String("added")      ? QLatin1Char('A')
                     : item == QLatin1String("deleted")    ? QLatin1Char('D')
                     : item == QLatin1String("modified")   ? QLatin1Char('M')
                     : item == QLatin1String("replaced")   ? QLatin1Char('R')
                                                           : QLatin1Char(' ');
    const QChar props = attributes.value(QLatin1String("props")) == QLatin1String("modified") ? QLatin1Char('M')
                                                                                             : QLatin1Char(' ');
    QString action = QString(text) + props;
    while (action.endsWith(QLatin1Char(' ')))
        action.chop(1);
    return action;
}

} // namespace

bool SVNInterface::logRange(const QString& path, const QString& startRevision, int limit, const QString& search,
                            QList<SourceCodeControl::LogEntry>& entries)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Log, {path}, items))
            return false;
        if (!startRevision.isEmpty() && !isRevisionNumber(startRevision)
            && startRevision.compare(QLatin1String("HEAD"), Qt::CaseInsensitive) != 0) {
            setLastError(QLatin1String(SVNSubcommand::Log),
                         QStringLiteral("%1 is no revision number").arg(startRevision));
            return false;
        }
        const QString url = itemURL(items.first());
        // With a search the client's limit counts the revisions searched, not
        // the matches: the search then runs over the whole range and the
        // matches are cut here.
        QByteArray xml;
        if (!run(SVNCommands::historyRange(url, startRevision, search.isEmpty() ? qMax(0, limit) : 0, search),
                 intoBytes(xml))
                 .succeeded())
            return false;
        bool wellFormed = false;
        QList<SVNLogEntry> read = SVNLogEntry::parse(xml, &wellFormed);
        if (!wellFormed) {
            setLastError(QLatin1String(SVNSubcommand::Log), QStringLiteral("the client's XML could not be read"));
            return false;
        }
        if (limit > 0 && read.size() > limit)
            read.resize(limit);
        QList<SourceCodeControl::LogEntry> result;
        result.reserve(read.size());
        for (const SVNLogEntry& entry : std::as_const(read))
            result.append({entry.revision, entry.author, entry.date, entry.message, entry.changedPaths});
        entries = result;
        return true;
    });
}

bool SVNInterface::changedBetween(const QString& path, const QString& from, const QString& to,
                                  QList<SourceCodeControl::ItemChange>& changes)
{
    return guarded([&] {
        QStringList items;
        if (!checkPaths(SVNSubcommand::Diff, {path}, items))
            return false;
        if (from.isEmpty()) {
            setLastError(QLatin1String(SVNSubcommand::Diff), QStringLiteral("no revision to compare from was given"));
            return false;
        }
        const QString url = itemURL(items.first());
        QByteArray xml;
        if (!run(SVNCommands::summary(withPeg(url, from), withPeg(url, to.isEmpty() ? QStringLiteral("HEAD") : to)),
                 intoBytes(xml))
                 .succeeded())
            return false;
        QList<SourceCodeControl::ItemChange> read;
        QXmlStreamReader reader(xml);
        while (!reader.atEnd()) {
            if (reader.readNext() != QXmlStreamReader::StartElement || reader.name() != QLatin1String("path"))
                continue;
            const QString action = summaryAction(reader.attributes());
            QStringList below;
            if (!SVNUrl::below(reader.readElementText(), url, below))
                continue;
            read.append({below.join(Slash), action});
        }
        if (reader.hasError()) {
            setLastError(QLatin1String(SVNSubcommand::Diff),
                         QStringLiteral("the client's XML could not be read: %1").arg(reader.errorString()));
            return false;
        }
        std::sort(read.begin(), read.end(),
                  [](const SourceCodeControl::ItemChange& a, const SourceCodeControl::ItemChange& b) {
                      return a.path < b.path;
                  });
        changes = read;
        return true;
    });
}

QString SVNInterface::itemURL(const QString& item) const
{
    const QStringList parts = item.split(Slash, Qt::SkipEmptyParts);
    return parts.isEmpty() ? rootURL : SVNUrl::join(rootURL, parts);
}

bool SVNInterface::runToBytes(const SVNCommand& command, QByteArray& bytes)
{
    // Byte for byte: the client writes into a scratch file.
    QTemporaryFile scratch;
    if (!scratch.open()) {
        setLastError(command.subcommand, QStringLiteral("cannot make a scratch file: %1").arg(scratch.errorString()));
        return false;
    }
    SVNOutput output;
    output.descriptor = scratch.handle();
    output.restart = [&scratch] {
        if (scratch.resize(0))
            scratch.seek(0);
    };
    if (!run(command, output).succeeded())
        return false;
    scratch.seek(0);
    bytes = scratch.readAll();
    return true;
}
