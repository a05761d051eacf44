#pragma once

#include "SVNFileStatus.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <memory>

/**
 * Reads the lines of "svn status --verbose" (with or without
 * "--show-updates") as the client writes them, one at a time, and hands
 * every entry to a sink: its path as the client printed it and its record.
 *
 * A line is an entry unless it is empty, a detail line (blanks, then ">":
 * a tree conflict's "      >   ...", a move's "        > moved to X"), an
 * ignored item's ("I", printed only for a target named so), or comes after
 * a "Status against revision:" or "Summary of conflicts:" line and before
 * the next block header: "Performing status on external item at ..."
 * (the entries of an external's own working copy follow) or "--- Changelist
 * '...':" (the entries of a changelist). Summaries are known by their text
 * alone: the client leaves them out in some folders, so the last line may
 * be an entry. Lines starting with "?" are entries too (unversioned items),
 * their name everything from its column on, leading blanks included.
 *
 * Flags: modified for "M" or "!" in column 1, locked for "K" in column 6, out
 * of date for "*" in column 7 (the older layout) or alone in column 9 (the
 * newer one). After the status columns come the working revision, the
 * last-changed revision and the author; the path is the rest of the line,
 * read from column 42 when the newer fixed columns say it starts there (an
 * empty author, a name with leading blanks). After an author of more than
 * twelve characters the path is the first rest that the name check accepts
 * (an author may hold blanks: "Release Engineering"), the rest after the
 * author's first word when none is accepted or there is no check. A line too
 * short for that layout never reads past its end; missing fields stay null.
 */
class SVNStatusReader
{
public:
    /** Receives one entry: its path's bytes and its record. */
    using Sink = std::function<void(QByteArrayView path, SVNFileStatus& record)>;
    /** Whether the folder the lines are about holds an entry at this path (on disk or in its records). */
    using NameCheck = std::function<bool(const QString& path)>;

    explicit SVNStatusReader(Sink sink, NameCheck check = NameCheck());
    ~SVNStatusReader();
    SVNStatusReader(const SVNStatusReader&) = delete;
    SVNStatusReader& operator=(const SVNStatusReader&) = delete;

    /** Reads one line (without its line end). */
    void add(QByteArrayView line);

private:
    struct Recent;

    QByteArrayView pathAfterLongAuthor(QByteArrayView line, qsizetype pos) const;
    QString text(QByteArrayView bytes);

    Sink m_sink;
    NameCheck m_check;
    std::unique_ptr<Recent> m_recent;
    bool m_skipping = false;
};
