#include "EightBit.h"

#include <cstring>

namespace {

const char16_t s_escapeBase = 0xDC00; // byte b (0x80..0xFF) decodes to U+DC00 + b

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence starting at `p` (at most `left`
// bytes available) and its code point, or 0 when it is not a valid sequence:
// overlong forms, surrogates and values above U+10FFFF are all invalid.
int decodeSequence(const unsigned char* p, qsizetype left, char32_t& codePoint)
{
    const unsigned char lead = p[0];
    int length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (left < length || p[1] < low || p[1] > high)
        return 0;
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(p[i]))
            return 0;
        codePoint = (codePoint << 6) | (p[i] & 0x3F);
    }
    return length;
}

void appendUtf8(QByteArray& out, char32_t c)
{
    if (c < 0x800) {
        out.append(char(0xC0 | (c >> 6)));
    } else if (c < 0x10000) {
        out.append(char(0xE0 | (c >> 12)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
    } else {
        out.append(char(0xF0 | (c >> 18)));
        out.append(char(0x80 | ((c >> 12) & 0x3F)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
    }
    out.append(char(0x80 | (c & 0x3F)));
}

} // namespace

QByteArray toEightBit(const QString& text)
{
    const char16_t* units = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size && units[i] < 0x80)
        ++i;
    if (i == size)
        return text.toLatin1();

    QByteArray out;
    out.reserve(size * 3);
    out.append(text.left(i).toLatin1());
    for (; i < size; ++i) {
        const char16_t unit = units[i];
        if (unit < 0x80) {
            out.append(char(unit));
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size
                   && QChar::isLowSurrogate(units[i + 1])) {
            appendUtf8(out, QChar::surrogateToUcs4(unit, units[i + 1]));
            ++i;
        } else if (unit >= s_escapeBase + 0x80 && unit <= s_escapeBase + 0xFF) {
            out.append(char(unit - s_escapeBase)); // an escaped byte goes back as it came
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

QString fromEightBit(const char* data, qsizetype size)
{
    if (size <= 0)
        return QStringLiteral("");
    {
        // Widened while it is checked: most text is ASCII, and is done then.
        QString ascii(size, Qt::Uninitialized);
        char16_t* units = reinterpret_cast<char16_t*>(ascii.data());
        unsigned char seen = 0;
        for (qsizetype i = 0; i < size; ++i) {
            const unsigned char byte = static_cast<unsigned char>(data[i]);
            seen |= byte;
            units[i] = byte;
        }
        if (seen < 0x80)
            return ascii;
    }

    QString out;
    out.reserve(size);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    qsizetype i = 0;
    while (i < size) {
        const unsigned char byte = bytes[i];
        if (byte < 0x80) {
            out.append(QChar(char16_t(byte)));
            ++i;
            continue;
        }
        char32_t codePoint = 0;
        const int length = decodeSequence(bytes + i, size - i, codePoint);
        if (length == 0) {
            // Not valid UTF-8: keep the byte itself, recoverable by toEightBit().
            out.append(QChar(char16_t(s_escapeBase + byte)));
            ++i;
            continue;
        }
        if (codePoint >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(codePoint)));
            out.append(QChar(QChar::lowSurrogate(codePoint)));
        } else {
            out.append(QChar(char16_t(codePoint)));
        }
        i += length;
    }
    return out;
}

QString fromEightBit(const char* text)
{
    if (!text)
        return QString();
    return fromEightBit(text, qsizetype(std::strlen(text)));
}
