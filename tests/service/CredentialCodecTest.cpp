#include "service/CredentialCodec.h"

#include "support/QtPrinters.h"
#include "support/ScriptedDialogs.h"

#include <gtest/gtest.h>

namespace {

struct Md5Case {
    QString text;
    const char *hex;
};

TEST(CredentialCodec, Md5HexOverWindows1252Bytes)
{
    const Md5Case cases[] = {
        {QString(), "d41d8cd98f00b204e9800998ecf8427e"},
        {QStringLiteral("abc"), "900150983cd24fb0d6963f7d28e17f72"},
        // One byte 0xE9, not the two UTF-8 bytes of "é".
        {QStringLiteral("é"), "3406877694691ddd1dfb0aca54681407"},
        {QStringLiteral("mot de passe"), "729f2d8b3d3d9bc07ba349faab7fdf44"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CredentialCodec::MD5Hex(c.text), QLatin1String(c.hex)) << c.text.toStdString();
}

TEST(CredentialCodec, DeriveUserKeyTable)
{
    const struct {
        QString pseudonym;
        const char *key;
    } cases[] = {
        {QString(), "2126408769"},                       // square below 2^31
        {QStringLiteral("alice"), "-2121263167"},         // square in [2^31, 2^32): negative
        {QStringLiteral("Bob"), "-2143120752"},
        {QStringLiteral("é"), "-2147015580"},            // byte 0xE9
        {QStringLiteral("€"), "2138230081"},             // byte 0x80
        {QString(80, u'z'), "-1173175167"},
        {QString(200, u'z'), "677115873"},               // square above 2^32: low 32 bits
    };
    for (const auto &c : cases)
        EXPECT_EQ(CredentialCodec::DeriveUserKey(c.pseudonym), QLatin1String(c.key))
            << c.pseudonym.toStdString();
}

TEST(CredentialCodec, KnownLetterTexts)
{
    CredentialCodec codec;
    const struct {
        QString key;
        QString text;
        const char *letters;
    } cases[] = {
        {QStringLiteral("12345"), QStringLiteral("abc"), "bjmlcoga"},
        {QStringLiteral("-2121263167"), QStringLiteral("127.0.0.1"), "jilhpjihlbjeemonliha"},
        {QStringLiteral("-2143120752"), QStringLiteral("secret"), "odbnmhgejfeadi"},
        {QStringLiteral("-1"), QStringLiteral("été"), "dgmififc"},
    };
    for (const auto &c : cases) {
        QString letters;
        ASSERT_TRUE(codec.PC1EncryptText(c.key, c.text, letters));
        EXPECT_EQ(letters, QLatin1String(c.letters));
        QString back;
        ASSERT_TRUE(codec.PC1DecryptText(c.key, letters, back));
        EXPECT_EQ(back, c.text);
    }
    QString forCarol;
    ASSERT_TRUE(codec.EncryptForUser(QStringLiteral("carol"), QStringLiteral("10.0.0.7"), forCarol));
    EXPECT_EQ(forCarol, QStringLiteral("dhphgnjmjkockdcofb"));
}

TEST(CredentialCodec, LettersAreTwicePlusTerminatorAndDeterministic)
{
    CredentialCodec codec;
    for (int length : {1, 3, 15, 16, 255, CredentialCodec::kMaxClearBytes}) {
        const QString text(length, u'x');
        QString a, b;
        ASSERT_TRUE(codec.EncryptForUser(QStringLiteral("alice"), text, a));
        ASSERT_TRUE(codec.EncryptForUser(QStringLiteral("alice"), text, b));
        EXPECT_EQ(a.size(), 2 * (length + 1));
        EXPECT_EQ(a, b);
        for (QChar ch : a)
            ASSERT_TRUE(ch >= u'a' && ch <= u'p');
        QString back;
        ASSERT_TRUE(codec.DecryptForUser(QStringLiteral("alice"), a, back));
        EXPECT_EQ(back, text);
    }
}

TEST(CredentialCodec, EqualByteSumsShareTheKey)
{
    CredentialCodec codec;
    QString a, b, c;
    ASSERT_TRUE(codec.EncryptForUser(QStringLiteral("Bob"), QStringLiteral("192.168.1.20"), a));
    ASSERT_TRUE(codec.EncryptForUser(QStringLiteral("Coa"), QStringLiteral("192.168.1.20"), b));
    ASSERT_TRUE(codec.EncryptForUser(QStringLiteral("bob"), QStringLiteral("192.168.1.20"), c));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c); // letter case changes the sum
    // Decoding with another spelling's key gives other text.
    QString wrong;
    ASSERT_TRUE(codec.DecryptForUser(QStringLiteral("bob"), a, wrong));
    EXPECT_NE(wrong, QStringLiteral("192.168.1.20"));
}

TEST(CredentialCodec, NoResultLeavesTargetUnchanged)
{
    ScriptedDialogs dialogs;
    CredentialCodec codec(&dialogs);
    const QString before = QStringLiteral("kept");
    const struct {
        QString key;
        QString text;
        bool expectBox;
    } cases[] = {
        {QStringLiteral("123"), QString(), false},                   // empty text
        {QString(), QStringLiteral("abc"), false},                   // empty key
        {QStringLiteral("0123456789abcdef"), QStringLiteral("abc"), true}, // 16 characters
        {QStringLiteral("123"), QString(CredentialCodec::kMaxClearBytes + 1, u'x'), false},
    };
    for (const auto &c : cases) {
        dialogs.messages.clear();
        QString target = before;
        EXPECT_FALSE(codec.PC1EncryptText(c.key, c.text, target));
        EXPECT_EQ(target, before);
        if (c.text.size() <= CredentialCodec::kMaxClearBytes) {
            EXPECT_FALSE(codec.PC1DecryptText(c.key, c.text, target));
            EXPECT_EQ(target, before);
        }
        if (c.expectBox) {
            ASSERT_EQ(dialogs.messages.size(), 2);
            EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Key must be <=16 characters"));
            EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Error"));
            EXPECT_EQ(dialogs.messages[0].kind, DialogService::Kind::Error);
        } else {
            EXPECT_TRUE(dialogs.messages.isEmpty());
        }
    }
    // Fifteen characters still fit with the terminating zero.
    QString target;
    EXPECT_TRUE(codec.PC1EncryptText(QStringLiteral("012345678901234"), QStringLiteral("a"), target));
}

TEST(CredentialCodec, DecryptStopsAtFirstZeroAndToleratesOddLength)
{
    CredentialCodec codec;
    QString letters;
    ASSERT_TRUE(codec.PC1EncryptText(QStringLiteral("12345"), QStringLiteral("abc"), letters));
    QString back;
    // Letters after the encrypted terminator are ignored.
    ASSERT_TRUE(codec.PC1DecryptText(QStringLiteral("12345"), letters + QStringLiteral("pppp"), back));
    EXPECT_EQ(back, QStringLiteral("abc"));
    // An odd trailing letter is decoded without reading past the text.
    ASSERT_TRUE(codec.PC1DecryptText(QStringLiteral("12345"), letters.left(5), back));
    EXPECT_EQ(back.left(2), QStringLiteral("ab"));
}

} // namespace
