#include "EightBit.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <random>

TEST(EightBit, IsUtf8AndLosesNoByte)
{
    EXPECT_EQ(fromEightBit(QByteArray("caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80")), QString::fromUtf8("café 日 😀"));
    EXPECT_EQ(toEightBit("café 日 😀"), QByteArray("caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x98\x80"));
    EXPECT_TRUE(fromEightBit(static_cast<const char*>(nullptr)).isNull());
    EXPECT_FALSE(fromEightBit("").isNull());

    // Invalid sequences (a Latin-1 byte, a cut sequence, an overlong form,
    // an encoded surrogate, alone and paired, a value above U+10FFFF) come
    // back byte for byte, and valid text around them is decoded as usual.
    const QByteArray invalid[] = {"caf\xe9", "\xe6\x97", "\xc0\xaf", "\xed\xa0\x80", "\xed\xa0\x80\xed\xb0\x80",
                                  "\xf4\x90\x80\x80", "\xff\xfe", "a\x80" "b"};
    for (const QByteArray& bytes : invalid) {
        const QString text = fromEightBit(bytes);
        EXPECT_EQ(toEightBit(text), bytes);
        EXPECT_FALSE(text.contains(QChar::ReplacementCharacter));
    }
    // The escape of byte b is U+DC00 + b, as other tools' "surrogateescape" has it;
    // an encoded surrogate is three such bytes, no character.
    EXPECT_EQ(fromEightBit(QByteArray("\xe9t\xc3\xa9")), QString(QChar(0xDCE9)) + "té");
    EXPECT_EQ(fromEightBit(QByteArray("\xed\xa0\x80")), QString(QChar(0xDCED)) + QChar(0xDCA0) + QChar(0xDC80));

    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes(int(random() % 12), '\0');
        for (char& byte : bytes)
            byte = char(random() % 4 == 0 ? random() % 128 : 0x80 + random() % 128);
        EXPECT_EQ(toEightBit(fromEightBit(bytes)), bytes) << bytes.toHex().constData();
    }
    // Distinct strings never share bytes, lone surrogates included.
    EXPECT_NE(toEightBit(QString(QChar(0xD800))), toEightBit(QString(QChar(0xDC80))));
}

TEST(EightBit, TheByte0x80IsItsEscapeAndU0080IsTwoBytes)
{
    // A name of the byte 0x80 alone is no UTF-8 and decodes to its escape,
    // as any such byte does; the character U+0080 is UTF-8's two bytes.
    const struct
    {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"\x80", QString(QChar(0xDC80))},
        {"\x80\x80", QString(QChar(0xDC80)) + QChar(0xDC80)},
        {"\xc2\x80", QString(QChar(0x80))},
        {"a\xc2\x80", "a" + QString(QChar(0x80))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toHex().constData());
        EXPECT_EQ(fromEightBit(c.bytes), c.text);
        EXPECT_EQ(toEightBit(c.text), c.bytes);
    }
}
