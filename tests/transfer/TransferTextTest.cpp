#include "transfer/DataPacket.h"
#include "transfer/SizeText.h"
#include "transfer/SocketErrors.h"

#include "support/QtPrinters.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class SizeTextFrench : public ::testing::Test
{
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::French, QLocale::France)); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

TEST_F(SizeTextFrench, FormatSizeSteps)
{
    const struct
    {
        qint64 n;
        const char *text;
    } cases[] = {
        { -5, "-5 octet" },
        { 0, "0 octet" },
        { 1, "1 octets" },
        { 1023, "1023 octets" },
        { 1024, "1 Ko" },
        { 1535, "1 Ko" },
        { 1536, "2 Ko" },
        { 1048575, "1024 Ko" },
        { 1048576, "1,0 Mo" },
        { 1572864, "1,5 Mo" },
        { 2147483647, "2048,0 Mo" },
        // Files of 2 GiB and more: never wrapped negative.
        { 2147483648LL, "2048,0 Mo" },
        { 5LL << 30, "5120,0 Mo" },
        { -2147483649LL, "-2147483649 octet" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(SizeText::FormatSize(c.n), QString::fromUtf8(c.text)) << c.n;
}

TEST(SizeText, FormatSizeUsesTheLocaleSeparator)
{
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(SizeText::FormatSize(1048576), QStringLiteral("1.0 Mo"));
}

TEST(SizeText, FileSizesOfPresentMissingAndUnreadableFiles)
{
    QTemporaryDir dir;
    const QString present = dir.filePath(QStringLiteral("f.bin"));
    QFile f(present);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(3000, 'x'));
    f.close();
    const QString missing = dir.filePath(QStringLiteral("none"));

    EXPECT_EQ(SizeText::FileSizeText(present, false), QStringLiteral("3000"));
    EXPECT_EQ(SizeText::FileSizeText(present, true), QStringLiteral("3 Ko"));
    EXPECT_EQ(SizeText::FileSizeText(missing, false), QString());
    EXPECT_EQ(SizeText::RawFileSize(missing), QStringLiteral("0"));
    EXPECT_EQ(SizeText::RawFileSize(QString()), QStringLiteral("0"));
    EXPECT_EQ(SizeText::RawFileSize(present), QStringLiteral("3000"));

    // A read-only file still has its size.
    ASSERT_TRUE(f.setPermissions(QFileDevice::ReadOwner));
    EXPECT_EQ(SizeText::RawFileSize(present), QStringLiteral("3000"));
    // One that cannot be opened at all gives "0".
    ASSERT_TRUE(f.setPermissions(QFileDevice::Permissions()));
    if (!QFile(present).open(QIODevice::ReadOnly)) { // root reads anything
        EXPECT_EQ(SizeText::FileSizeText(present, false), QStringLiteral("0"));
    }
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

TEST(SocketErrors, TextsOfListedAndUnlistedCodes)
{
    EXPECT_EQ(
        SocketErrors::SocketErrorText(10061), QStringLiteral("Erreur socket n°10061 : Connection refusée."));
    EXPECT_EQ(SocketErrors::SocketErrorText(10059),
        QStringLiteral("Erreur socket n°10059 : Erreur socket inconnue"));
    EXPECT_EQ(SocketErrors::SocketErrorText(11004),
        QStringLiteral("Erreur socket n°11004 : Valid name, no data record of requested type."));
    EXPECT_EQ(
        SocketErrors::SocketErrorText(10013), QStringLiteral("Erreur socket n°10013 : Permission Refusée."));
}

TEST(SocketErrors, QtErrorsMapOntoWindowsSocketsCodes)
{
    using E = QAbstractSocket::SocketError;
    const struct
    {
        E error;
        qint32 code;
    } cases[] = {
        { E::ConnectionRefusedError, 10061 },
        { E::RemoteHostClosedError, 10054 },
        { E::SocketTimeoutError, 10060 },
        { E::HostNotFoundError, 11001 },
        { E::NetworkError, 10051 },
        { E::AddressInUseError, 10048 },
        { E::SocketAccessError, 10013 },
        { E::SocketAddressNotAvailableError, 10049 },
        { E::UnknownSocketError, -1 },
    };
    for (const auto &c : cases) {
        EXPECT_EQ(SocketErrors::winsockCode(c.error), c.code) << int(c.error);
        // Every mapped code has a text of its own.
        if (c.code > 0) {
            EXPECT_FALSE(SocketErrors::SocketErrorText(c.code).endsWith(QStringLiteral("inconnue")));
        }
    }
}

TEST(DataPacket, HeaderLayout)
{
    const QByteArray h = DataPacket::header("r\xe9sum\xe9.txt", "1234");
    ASSERT_EQ(h.size(), 510);
    EXPECT_EQ(h.left(4), QByteArray::fromHex("01000000"));
    EXPECT_EQ(quint8(h[4]), 10);
    EXPECT_EQ(h.mid(5, 10), QByteArray("r\xe9sum\xe9.txt"));
    EXPECT_EQ(quint8(h[260]), 4);
    EXPECT_EQ(h.mid(261, 4), QByteArray("1234"));

    const auto parsed = DataPacket::parseHeader(h);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->fileName, QByteArray("r\xe9sum\xe9.txt"));
    EXPECT_EQ(parsed->fileSize, QByteArray("1234"));

    // A name longer than its length byte can say is cut to 255.
    EXPECT_EQ(quint8(DataPacket::header(QByteArray(300, 'a'), "1")[4]), 255);
}

TEST(DataPacket, BlockAndStatusLayout)
{
    EXPECT_EQ(DataPacket::block(0x01020304, "ab"),
        QByteArray::fromHex("02000000"
                            "04030201"
                            "02000000"
                            "6162"));
    EXPECT_EQ(DataPacket::status(6), QByteArray::fromHex("06000000"));
    EXPECT_EQ(DataPacket::status(-1), QByteArray::fromHex("ffffffff"));
    EXPECT_EQ(DataPacket::readInt(QByteArray::fromHex("feffffff"), 0), -2);
}

TEST(DataPacket, HeadersTooShortForTheirTexts)
{
    QByteArray h = DataPacket::header("name", "1");
    EXPECT_FALSE(DataPacket::parseHeader(h.left(4)).has_value());
    EXPECT_FALSE(DataPacket::parseHeader(h.left(8)).has_value()); // name needs 9
    EXPECT_TRUE(DataPacket::parseHeader(h.left(9)).has_value());
    h[260] = char(250); // size text would run past the 510 bytes sent
    EXPECT_FALSE(DataPacket::parseHeader(h).has_value());
}

} // namespace
