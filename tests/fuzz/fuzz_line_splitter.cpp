// LineCutter on arbitrary pieces, as a child's output arrives. The first
// byte of each piece gives its size (0 to 255, so empty pieces occur); the
// lines that come out, joined again with the line ends they were cut at,
// must give back the input. A CR ends a line and swallows the byte after it
// unseen (also across pieces), so that byte is taken back from the input as
// it was.

#include "EightBit.h"
#include "FuzzSupport.h"
#include "LineCutter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray input;
    QStringList lines{"sentinel"};
    LineCutter cutter(&lines);
    QByteArray pending;
    size_t pos = 0;
    while (pos < size) {
        size_t pieceSize = data[pos++];
        if (pieceSize > size - pos)
            pieceSize = size - pos;
        const QByteArray piece(reinterpret_cast<const char*>(data + pos), qsizetype(pieceSize));
        input += piece;
        pending += piece;
        cutter.cut(pending, false);
        pos += pieceSize;
    }
    cutter.cut(pending, true);
    FUZZ_CHECK(pending.isEmpty(), "bytes left after the end");
    FUZZ_CHECK(lines.takeFirst() == QLatin1String("sentinel"), "lines already there were touched");
    if (input.isEmpty()) {
        FUZZ_CHECK(lines.isEmpty(), "lines from no bytes");
        return 0;
    }

    qsizetype at = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines.at(i);
        FUZZ_CHECK(line.isNull() == line.isEmpty(), "an empty line that is not null");
        const QByteArray bytes = toEightBit(line); // back to the bytes the child wrote
        FUZZ_CHECK(input.mid(at, bytes.size()) == bytes, "line differs from the input");
        FUZZ_CHECK(!bytes.contains('\n') && !bytes.contains('\r'), "a line end inside a line");
        at += bytes.size();
        if (at == input.size()) {
            FUZZ_CHECK(i == lines.size() - 1, "lines after the end of the input");
            break;
        }
        const char end = input.at(at);
        FUZZ_CHECK(end == '\n' || end == '\r', "line cut at a byte that is no line end");
        at += end == '\r' ? 2 : 1;
        FUZZ_CHECK(at <= input.size() + 1, "ran past the input");
        if (at >= input.size())
            FUZZ_CHECK(i == lines.size() - 1, "a trailing empty line");
    }
    FUZZ_CHECK(at >= input.size(), "input left over after the last line");
    return 0;
}
