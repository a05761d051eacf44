#pragma once

// Shared by the fuzz targets: input bytes as text, quiet toolkit warnings,
// a failed property turned into a crash that libFuzzer records, and the
// properties every reader of a whole text has.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

/** Aborts with `what` when `condition` is false. */
#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property failed: %s (%s:%d)\n", what, __FILE__, __LINE__);       \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

/** The input bytes as Latin-1 text: every byte value becomes one character. */
inline QString latin1Text(const uint8_t* data, size_t size)
{
    return QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
}

/** Drops the toolkit's warnings (damaged streams make it print one per input). */
inline void silenceToolkit()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

/**
 * Reads `text` twice with `parse` (a reader of a whole text that says
 * through its `ok` whether the text was well formed): a text that is not
 * gives no entries, and the second reading gives what the first did, entry
 * for entry (`same` compares two). The entries of the first reading.
 */
template <typename Entry, typename Same>
QList<Entry> readTwice(QList<Entry> (*parse)(const QByteArray&, bool*), const QByteArray& text, Same same)
{
    bool ok = false;
    const QList<Entry> entries = parse(text, &ok);
    FUZZ_CHECK(ok || entries.isEmpty(), "entries from a text that is not well formed");
    bool okAgain = false;
    const QList<Entry> again = parse(text, &okAgain);
    FUZZ_CHECK(okAgain == ok && again.size() == entries.size(), "reading again gave another answer");
    for (qsizetype i = 0; i < entries.size(); ++i)
        FUZZ_CHECK(same(entries.at(i), again.at(i)), "reading again gave another entry");
    return entries;
}
