#pragma once

// Shared by the fuzz targets: input bytes as text, quiet toolkit warnings,
// and a failed property turned into a crash that libFuzzer records.

#include <QByteArray>
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
