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
 * What a line is, and where its columns, fields and name are, is
 * SVNItemLine::readStatus()'s to say (the verbose form); only its entries
 * are kept, but for an ignored item's ("I", printed only for a target named
 * so). Summaries are known by their text alone: the client leaves them out
 * in some folders, so the last line may be an entry.
 *
 * Flags: modified for "M" or "!" in column 1, locked for "K" in column 6, out
 * of date for the mark the line reader finds. After an author of more than
 * twelve characters the path is the first reading that the name check
 * accepts (an author may hold blanks: "Release Engineering"), the first
 * reading when none is accepted or there is no check. Missing fields stay
 * null.
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

    QString text(QByteArrayView bytes);

    Sink m_sink;
    NameCheck m_check;
    std::unique_ptr<Recent> m_recent;
};
