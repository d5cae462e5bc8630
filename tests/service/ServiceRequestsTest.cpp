#include "service/ServiceRequests.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

TEST(ServiceRequests, TargetsAsSentOnTheWire)
{
    // Values go in raw, one Windows-1252 byte per character.
    const QString p = QStringLiteral("Zoé & co");
    const struct
    {
        QByteArray target;
        QByteArray expected;
    } cases[] = {
        { ServiceRequests::connect(p, QStringLiteral("d41d"), QStringLiteral("abcp")),
            "/voxlane/connect.php?pseudo=Zo\xE9 & co&psw=d41d&ip=abcp" },
        { ServiceRequests::memberId(p), "/script/getinfo.php?function=getid&pseudo=Zo\xE9 & co" },
        { ServiceRequests::disconnect(p, QStringLiteral("d41d")),
            "/voxlane/deconnect.php?pseudo=Zo\xE9 & co&psw=d41d" },
        { ServiceRequests::connectedMembers(), "/voxlane/getconnected.php" },
        { ServiceRequests::contactAdd(
              QStringLiteral("A"), ServiceRequests::kCategoryPending, QStringLiteral("B")),
            "/script/qxd.php?pseudo=A&cmd=1&catego=3&add=B" },
        { ServiceRequests::contactDelete(
              QStringLiteral("A"), ServiceRequests::kCategoryContacts, QStringLiteral("B")),
            "/script/qxd.php?pseudo=A&cmd=2&catego=1&del=B" },
        { ServiceRequests::registeredSpelling(p),
            "/script/getinfo.php?function=getcorrectpseudo&pseudo=Zo\xE9 & co" },
        { ServiceRequests::cardDetails(p), "/script/getinfo.php?function=getinfo&pseudo=Zo\xE9 & co" },
        { ServiceRequests::memberInfo(QStringLiteral("getmail"), p),
            "/script/getinfo.php?function=getmail&pseudo=Zo\xE9 & co" },
        // The id reply is used as received, line end included.
        { ServiceRequests::avatar(QStringLiteral("42\r\n")), "/avatars/42\r\n.jpg" },
        { ServiceRequests::avatarUpload(p), "/avatars/uploadqxa.php?pseudo=Zo\xE9 & co" },
        // The euro sign is the byte 0x80; what Windows-1252 lacks becomes '?'.
        { ServiceRequests::memberId(QStringLiteral("€\u0100")),
            "/script/getinfo.php?function=getid&pseudo=\x80?" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.target, c.expected);
}

TEST(ServiceRequests, BrowserPages)
{
    const QString base = QStringLiteral("http://svc.example:8080");
    EXPECT_EQ(ServiceRequests::registrationPage(base),
        QStringLiteral("http://svc.example:8080/voxlane/?file=inscriptions.php"));
    EXPECT_EQ(ServiceRequests::profilePage(base, QStringLiteral("42")),
        QStringLiteral("http://svc.example:8080/quixvale/index.php?page=affichmembre.php?id=42"));
    EXPECT_EQ(ServiceRequests::mailPage(QStringLiteral("a@b.fr")), QStringLiteral("mailto:a@b.fr"));
}

TEST(ServiceRequests, AvatarUploadPartsInOrder)
{
    const auto parts
        = ServiceRequests::avatarUploadParts(QStringLiteral("/tmp/é.jpg"), QByteArray("\xFF\xD8"));
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(parts.at(0).name, QByteArray("dossier"));
    EXPECT_TRUE(parts.at(0).content.isEmpty());
    EXPECT_FALSE(parts.at(0).hasFileName);
    EXPECT_TRUE(parts.at(0).contentType.isEmpty());
    EXPECT_EQ(parts.at(1).name, QByteArray("file"));
    EXPECT_TRUE(parts.at(1).hasFileName);
    EXPECT_EQ(parts.at(1).fileName, QByteArray("/tmp/\xE9.jpg"));
    EXPECT_EQ(parts.at(1).contentType, QByteArray("multipart/form-data"));
    EXPECT_EQ(parts.at(1).content, QByteArray("\xFF\xD8"));
}

} // namespace
