#include "components/TStringManager.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

const TStringManager &sm()
{
    return TStringManager::instance();
}

} // namespace

TEST(TStringManager, LowerTableFollowsWindows1252)
{
    const auto &table = sm().lowerTable();
    const struct
    {
        unsigned char byte;
        unsigned char lower;
    } cases[] = {
        { 'A', 'a' },
        { 'Z', 'z' },
        { 'a', 'a' },
        { '0', '0' },
        { '[', '[' },
        { 0x8A, 0x9A }, // Š
        { 0x8C, 0x9C }, // Œ
        { 0x8E, 0x9E }, // Ž
        { 0x9F, 0xFF }, // Ÿ
        { 0xC0, 0xE0 }, // À
        { 0xC9, 0xE9 }, // É
        { 0xDE, 0xFE }, // Þ
        { 0xD7, 0xD7 }, // × has no lower case
        { 0xDF, 0xDF }, // ß
        { 0xB5, 0xB5 }, // µ
        { 0x80, 0x80 }, // €
        { 0x81, 0x81 }, // undefined in the code page: itself
        { 0xE9, 0xE9 },
    };
    for (const auto &c : cases)
        EXPECT_EQ(table[c.byte], c.lower) << "byte " << int(c.byte);

    // Every byte maps to a byte whose own lower case is itself.
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(table[table[b]], table[b]) << "byte " << b;
}

TEST(TStringManager, LowerTextKeepsWhatTheCodePageCannotCarry)
{
    EXPECT_EQ(sm().LowerText(QStringLiteral("FICHIER.MP3")), QStringLiteral("fichier.mp3"));
    EXPECT_EQ(sm().LowerText(QStringLiteral("\u00C9T\u00C9 \u0160\u0178")),
        QStringLiteral("\u00E9t\u00E9 \u0161\u00FF"));
    // Greek capital sigma is not Windows-1252: left as it is, never '?'.
    EXPECT_EQ(sm().LowerText(QStringLiteral("A\u03A3?")), QStringLiteral("a\u03A3?"));
}

TEST(TStringManager, BlankAndFirstChar)
{
    EXPECT_TRUE(sm().IsBlank(QString()));
    EXPECT_TRUE(sm().IsBlank(QStringLiteral(" \t\r\n")));
    EXPECT_TRUE(sm().IsBlank(QString(QChar(32))));
    EXPECT_FALSE(sm().IsBlank(QStringLiteral("  .")));
    EXPECT_FALSE(sm().IsBlank(QString(QChar(0xA0)))); // no-break space is above 32

    EXPECT_EQ(sm().FirstChar(QString()), QChar(0));
    EXPECT_EQ(sm().FirstChar(QStringLiteral(".mp3")), QChar(u'.'));
}

TEST(TStringManager, PositionsAreOneBased)
{
    const struct
    {
        const char *sub;
        const char *text;
        int start;
        int pos;
    } cases[] = {
        { ",", "a,b,c", 1, 2 },
        { ",", "a,b,c", 2, 2 },
        { ",", "a,b,c", 3, 4 },
        { ",", "a,b,c", 5, 0 },
        { ",", "a,b,c", 0, 2 }, // below 1 counts as 1
        { ",", "a,b,c", -7, 2 },
        { ",", "a,b,c", 99, 0 },
        { "b,c", "a,b,c", 1, 3 },
        { "x", "a,b,c", 1, 0 },
        { "", "abc", 1, 0 }, // nothing to find
        { "a", "", 1, 0 },
    };
    for (const auto &c : cases) {
        EXPECT_EQ(sm().PosFrom(QString::fromLatin1(c.sub), QString::fromLatin1(c.text), c.start), c.pos)
            << c.sub << " in " << c.text << " from " << c.start;
    }
    EXPECT_EQ(sm().CharPosFrom(u',', QStringLiteral("a,b,c"), 3), 4);
    EXPECT_EQ(sm().CharPosFrom(u'%', QStringLiteral("abc"), 1), 0);
}

TEST(TStringManager, NthPosCountsOverlappingOccurrences)
{
    const struct
    {
        const char *sub;
        const char *text;
        int n;
        int pos;
    } cases[] = {
        { "aa", "aaaa", 1, 1 },
        { "aa", "aaaa", 2, 2 }, // overlaps the first
        { "aa", "aaaa", 3, 3 },
        { "aa", "aaaa", 4, 0 },
        { "%", "%SystemRoot%\\x.dll", 2, 12 },
        { "%", "%SystemRoot\\x.dll", 2, 0 }, // one "%" is not a variable
        { "%", "%%", 2, 2 },
        { "%", "abc", 1, 0 },
        { "%", "%a%", 0, 0 },
        { "%", "%a%", -1, 0 },
        { "", "abc", 1, 0 },
    };
    for (const auto &c : cases) {
        EXPECT_EQ(sm().NthPos(QString::fromLatin1(c.sub), QString::fromLatin1(c.text), c.n), c.pos)
            << c.sub << " #" << c.n << " in " << c.text;
    }
}

TEST(TStringManager, TextAroundTheFirstOccurrence)
{
    const struct
    {
        const char *sub;
        const char *text;
        const char *after;
        const char *before;
    } cases[] = {
        { ",", "C:\\i.ico,3", "3", "C:\\i.ico" },
        { ",", "a,b,c", "b,c", "a" },
        { ",", "C:\\i.ico", "", "C:\\i.ico" }, // absent: nothing after, all before
        { ",", ",5", "5", "" },
        { ",", "x,", "", "x" },
        { ".", ".mp3", "mp3", "" },
        { ",", "", "", "" },
    };
    for (const auto &c : cases) {
        EXPECT_EQ(sm().TextAfter(QString::fromLatin1(c.sub), QString::fromLatin1(c.text)),
            QString::fromLatin1(c.after));
        EXPECT_EQ(sm().TextBefore(QString::fromLatin1(c.sub), QString::fromLatin1(c.text)),
            QString::fromLatin1(c.before));
    }
}
