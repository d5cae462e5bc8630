#include "base/Cp1252.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

TEST(Cp1252, TableOfCharactersAndBytes)
{
    const struct {
        char16_t ch;
        unsigned char byte;
    } cases[] = {
        {u'A', 0x41}, {u'\0', 0x00}, {u'é', 0xE9}, {u'ÿ', 0xFF}, {u'\u00A0', 0xA0},
        {u'€', 0x80}, {u'—', 0x97}, {u'’', 0x92}, {u'Œ', 0x8C}, {u'Ÿ', 0x9F},
        {u'\u0081', 0x81}, {u'\u009D', 0x9D},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Cp1252::byteOf(QChar(c.ch)), c.byte);
        EXPECT_EQ(Cp1252::charOf(c.byte), QChar(c.ch));
    }
}

TEST(Cp1252, UnmappableBecomesQuestionMark)
{
    // U+0100, a CJK character and an emoji (surrogate pair) each become one '?'.
    const QString text = QStringLiteral("a\u0100b\u4E2D") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("c");
    EXPECT_EQ(Cp1252::encode(text), QByteArray("a?b??c"));
    EXPECT_FALSE(Cp1252::canEncode(text));
    EXPECT_TRUE(Cp1252::canEncode(QStringLiteral("Téléchargements — “ok” ?")));
    // A C1 control byte that Windows-1252 remaps is not its own character.
    EXPECT_EQ(Cp1252::byteOf(QChar(u'\u0080')), '?');
}

TEST(Cp1252, EveryByteSurvivesRoundTrip)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    EXPECT_EQ(Cp1252::encode(Cp1252::decode(all)), all);
}

} // namespace
