#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

/** One revision of a history as "svn log --xml --verbose" prints it. */
struct SVNLogEntry
{
    QString revision;         ///< "1234"
    QString author;           ///< empty when the revision has none
    QDateTime date;           ///< UTC; invalid when the revision has none
    QString message;          ///< as committed
    QStringList changedPaths; ///< "M /trunk/a.c", "A /trunk/b.c (from /trunk/a.c:12)"

    /**
     * The entries of a log's XML, in its order. Empty when the text holds
     * none or is not well formed; `ok`, when given, tells the two apart.
     */
    static QList<SVNLogEntry> parse(const QByteArray& xml, bool* ok = nullptr);

    /** A date as the client writes it ("2026-12-07T03:53:01.721368Z"), in UTC; invalid when it is none. */
    static QDateTime parseDate(const QString& text);
};

/** Who last changed one line, as "svn blame --xml" says it (no text: blame's XML has none). */
struct SVNBlameEntry
{
    int line = 0;      ///< from 1
    QString revision;  ///< empty for a line changed locally and not committed
    QString author;
    QDateTime date;    ///< UTC; invalid where the revision is empty

    /** The entries of a blame's XML, in its order; empty when it is not well formed (`ok` tells). */
    static QList<SVNBlameEntry> parse(const QByteArray& xml, bool* ok = nullptr);
};
