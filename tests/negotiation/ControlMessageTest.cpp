#include "negotiation/ControlMessage.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace ControlMessage;

TEST(ControlMessage, CommandTableHoldsTheEightTagsInOrder)
{
    EXPECT_EQ(
        CommandTable(), QStringList({ "", "{ask}", "{oui}", "{non}", "{can}", "{trc}", "{pok}", "{pre}" }));
}

TEST(ControlMessage, ClassifyComparesTheFirstFiveCharactersExactly)
{
    const struct
    {
        const char *message;
        Command expected;
    } cases[] = {
        { "{ask}bob\x01"
          "a\x02"
          "1\x03"
          "1.2.3.4",
            Command::Ask },
        { "{oui}", Command::Oui },
        { "{non}", Command::Non },
        { "{can}2010", Command::Can },
        { "{trc}", Command::Trc },
        { "{pok}", Command::Pok },
        { "{pre}trailing", Command::Pre },
        { "{OUI}", Command::Unknown }, // letter case matters
        { "", Command::Unknown },
        { "{ou", Command::Unknown }, // the first half of a split message
        { " {oui}", Command::Unknown },
        { "hello", Command::Unknown },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(classify(QString::fromLatin1(c.message)), c.expected);
    }
}

TEST(ControlMessage, EncodeWritesWindows1252AndTheEndByte)
{
    EXPECT_EQ(encode(QStringLiteral("{oui}")), QByteArray("{oui}\x05"));
    EXPECT_EQ(encode(QStringLiteral("{ask}Zoé")), QByteArray("{ask}Zo\xE9\x05"));
}

TEST(ControlMessage, ParseOfferReadsTheFourFields)
{
    const struct
    {
        const char *payload;
        const char *pseudo, *file, *size, *address;
    } cases[] = {
        { "alice\x01"
          "photo.jpg\x02"
          "1234\x03"
          "10.0.0.2",
            "alice", "photo.jpg", "1234", "10.0.0.2" },
        { "alice\x01"
          "photo.jpg\x02"
          "1234\x03"
          "10.0.0.2\x05"
          "junk",
            "alice", "photo.jpg", "1234", "10.0.0.2" },
        { "\x01\x02\x03", "", "", "", "" },
        { "alice", "", "", "", "" }, // no separators at all
        { "a\x02"
          "b\x01"
          "c\x03"
          "d",
            "a\x02"
            "b",
            "",
            "b\x01"
            "c",
            "d" }, // 0x02 before 0x01
        { "a\x01"
          "b.txt\x02"
          "12",
            "a", "b.txt", "", "" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(QByteArray(c.payload).toHex().constData());
        const Offer offer = parseOffer(QString::fromLatin1(c.payload));
        EXPECT_EQ(offer.pseudo, QString::fromLatin1(c.pseudo));
        EXPECT_EQ(offer.fileName, QString::fromLatin1(c.file));
        EXPECT_EQ(offer.size, QString::fromLatin1(c.size));
        EXPECT_EQ(offer.address, QString::fromLatin1(c.address));
    }
}

TEST(ControlMessage, MakeOfferIsReadBackAndCannotBeCutShort)
{
    Offer offer { QStringLiteral("alice"), QStringLiteral("ré\x05sumé.pdf"), QStringLiteral("99"),
        QStringLiteral("10.0.0.1") };
    const QString text = makeOffer(offer);
    EXPECT_EQ(text,
        QStringLiteral("{ask}alice\x01résumé.pdf\x02"
                       "99\x03"
                       "10.0.0.1"));
    EXPECT_EQ(classify(text), Command::Ask);
    const Offer back = parseOffer(payload(text));
    EXPECT_EQ(back.fileName, QStringLiteral("résumé.pdf"));
    EXPECT_EQ(back.size, QStringLiteral("99"));
    EXPECT_EQ(back.address, QStringLiteral("10.0.0.1"));
}

TEST(ControlMessage, OfferSizeTakesOnlyPlainDecimalsOfThirtyOneBits)
{
    const struct
    {
        const char *text;
        qint64 expected; // -1: refused
    } cases[] = {
        { "0", 0 },
        { "1234", 1234 },
        { "2147483647", 2147483647 },
        { "0012", 12 },
        { "2147483648", 2147483648LL }, // 2 GiB and more between Voxlane peers
        { "99999999999", 99999999999LL },
        { "9223372036854775807", 9223372036854775807LL },
        { "9223372036854775808", -1 }, // beyond 64 bits, not wrapped
        { "99999999999999999999", -1 },
        { "-1", -1 },
        { "+5", -1 },
        { " 5", -1 },
        { "5 ", -1 },
        { "12a", -1 },
        { "", -1 },
        { "1e3", -1 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<qint64> size = offerSize(QString::fromLatin1(c.text));
        if (c.expected < 0)
            EXPECT_FALSE(size.has_value());
        else
            EXPECT_EQ(size.value_or(-1), c.expected);
    }
}

TEST(ControlMessage, PortTextIsTheFourCharactersAfterTheTag)
{
    EXPECT_EQ(portText(QStringLiteral("{can}2010")), QStringLiteral("2010"));
    EXPECT_EQ(portText(QStringLiteral("{can}20105")), QStringLiteral("2010"));
    EXPECT_EQ(portText(QStringLiteral("{can}20")), QStringLiteral("20"));
}

TEST(ControlMessageFramer, CutsAtEveryEndByteAndKeepsTheRest)
{
    const struct
    {
        std::vector<QByteArray> reads;
        QList<QByteArray> expected;
    } cases[] = {
        { { "{oui}\x05" }, { "{oui}" } },
        { { "{oui}\x05{non}\x05" }, { "{oui}", "{non}" } },
        { { "{o", "ui}\x05" }, { "{oui}" } },
        { { "{can}20", "1", "0\x05{po", "k}\x05" }, { "{can}2010", "{pok}" } },
        { { "\x05" }, { "" } },
        { { "{oui}" }, {} },
        { { "{oui}\x05{no" }, { "{oui}" } },
    };
    for (const auto &c : cases) {
        Framer framer;
        QList<QByteArray> got;
        for (const QByteArray &read : c.reads) {
            const Framer::Result r = framer.feed(read);
            EXPECT_EQ(r.dropped, 0);
            got += r.messages;
        }
        EXPECT_EQ(got, c.expected);
    }
}

TEST(ControlMessageFramer, APendingMessageIsCappedAndDroppedUpToItsEnd)
{
    Framer framer;
    const QByteArray limit(Framer::kMaxPending, 'x');
    Framer::Result r = framer.feed(limit + "\x05");
    ASSERT_EQ(r.messages.size(), 1);
    EXPECT_EQ(r.messages.first().size(), Framer::kMaxPending);

    r = framer.feed(QByteArray(3000, 'y'));
    EXPECT_EQ(r.dropped, 0);
    r = framer.feed(QByteArray(3000, 'y')); // past the cap: thrown away
    EXPECT_EQ(r.dropped, 1);
    EXPECT_EQ(framer.pendingSize(), 0);
    r = framer.feed(QByteArray(9000, 'y')); // the rest of it goes too
    EXPECT_EQ(r.dropped, 0);
    EXPECT_EQ(framer.pendingSize(), 0);
    r = framer.feed("tail\x05{oui}\x05");
    EXPECT_EQ(r.messages, QList<QByteArray>({ "{oui}" }));
}
