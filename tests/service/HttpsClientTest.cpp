// The client of the community service over HTTPS, against a stand-in
// service inside the test that speaks TLS with certificates made at run time
// by a test authority: the same bytes go inside TLS as in clear, and a
// certificate that does not verify stops the request before anything is
// sent, with the reason in French.
#include "service/HttpClient.h"
#include "service/ServiceRequests.h"
#include "service/TlsFailureText.h"

#include "support/FakeService.h"
#include "support/QtPrinters.h"

#include "TestAuthority.h"

#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <curl/curl.h>
#include <openssl/x509_vfy.h>

#include <gtest/gtest.h>

namespace {

QString path(const std::string &file)
{
    return QString::fromStdString(file);
}

class HttpsClient : public testing::Test
{
protected:
    HttpsClient()
        : authority(dir.path().toStdString(), "community")
        , service(authority.issue("service", { "127.0.0.1", "localhost" }))
    {
    }

    void SetUp() override { ASSERT_EQ(authority.error(), ""); }

    QTemporaryDir dir;
    TestAuthority authority;
    TestAuthority::Issued service;
};

// What a request looked like on the wire, the port and the random boundary
// of a multipart body put aside.
QByteArray comparable(const FakeService &s, int i)
{
    const FakeService::Request &r = s.requests.at(i);
    QByteArray bytes = r.head + "\r\n" + r.body;
    bytes.replace(":" + QByteArray::number(s.port()), ":PORT");
    const QByteArray type = r.header("Content-Type");
    const qsizetype at = type.indexOf("boundary=");
    if (at >= 0)
        bytes.replace(type.mid(at + 9), "BOUNDARY");
    return bytes;
}

TEST_F(HttpsClient, TheSameBytesGoInsideTlsAsInClear)
{
    FakeService plain;
    FakeService secure(path(service.certificateFile), path(service.keyFile));
    ASSERT_TRUE(secure.baseUrl().startsWith(QStringLiteral("https://127.0.0.1:")));
    const QByteArray jpeg("\xFF\xD8\xFF\xE0\r\n--\x00\x01 end", 14);
    for (FakeService *s : { &plain, &secure }) {
        SCOPED_TRACE(s->baseUrl().toStdString());
        s->script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("José")));
        s->script("/avatars/uploadqxa.php", FakeService::Reply::text(QStringLiteral("ok")));
        HttpClient client(s->baseUrl());
        client.setExtraCaFile(path(authority.certificateFile()));
        QString text;
        ASSERT_TRUE(client.get(
            ServiceRequests::memberInfo(QStringLiteral("getmail"), QStringLiteral("Zoé a&b=#")), text))
            << client.lastError().toStdString();
        EXPECT_EQ(text, QStringLiteral("José"));
        QString reply;
        ASSERT_TRUE(client.postMultipart(ServiceRequests::avatarUpload(QStringLiteral("Zoé")),
            ServiceRequests::avatarUploadParts(QStringLiteral("C:\\Voxlane\\temp.jpg"), jpeg), reply))
            << client.lastError().toStdString();
        EXPECT_EQ(reply, QStringLiteral("ok"));
        EXPECT_EQ(client.lastTlsFailure(), QString());
    }
    ASSERT_EQ(plain.requests.size(), 2);
    ASSERT_EQ(secure.requests.size(), 2);
    EXPECT_EQ(secure.requests.at(0).requestLine,
        QByteArray("GET /script/getinfo.php?function=getmail&pseudo=Zo\xE9 a&b=# HTTP/1.1"));
    EXPECT_EQ(
        secure.requests.at(1).requestLine, QByteArray("POST /avatars/uploadqxa.php?pseudo=Zo\xE9 HTTP/1.0"));
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(comparable(secure, i), comparable(plain, i)) << i;
}

TEST_F(HttpsClient, CertificatesThatDoNotVerifyAreRefusedBeforeAnyRequestAndSaidSo)
{
    TestAuthority stranger(dir.path().toStdString(), "stranger");
    const auto elsewhere = authority.issue("elsewhere", { "voxlane.example.org" });
    const auto expired = authority.issue("expired", { "127.0.0.1" }, -2 * 86400, -86400);
    const auto early = authority.issue("early", { "127.0.0.1" }, 86400, 2 * 86400);
    ASSERT_EQ(stranger.error(), "");
    ASSERT_EQ(authority.error(), "");
    const QString refused = QStringLiteral("Certificat du service refusé : ");
    const struct
    {
        const char *what;
        TestAuthority::Issued served;
        QString caFile;
        QString told;
    } cases[] = {
        // The system's store does not know the test authority.
        { "no authority named", service, QString(),
            refused + QStringLiteral("émis par une autorité inconnue.") },
        { "another authority", service, path(stranger.certificateFile()),
            refused + QStringLiteral("émis par une autorité inconnue.") },
        { "another name", elsewhere, path(authority.certificateFile()),
            refused + QStringLiteral("il n'est pas au nom de 127.0.0.1.") },
        { "expired", expired, path(authority.certificateFile()), refused + QStringLiteral("il a expiré.") },
        { "not yet valid", early, path(authority.certificateFile()),
            refused + QStringLiteral("il n'est pas encore valable.") },
        { "no authority file", service, dir.filePath(QStringLiteral("none.pem")),
            QStringLiteral(
                "Certificat du service invérifiable : le fichier d'autorités « none.pem » est illisible.") },
        { "a key as authority file", service, path(service.keyFile),
            QStringLiteral("Certificat du service invérifiable : le fichier d'autorités « service.key » est "
                           "illisible.") },
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.what);
        FakeService s(path(k.served.certificateFile), path(k.served.keyFile));
        s.script("/voxlane/getconnected.php", FakeService::Reply::text(QStringLiteral("pseudo=a<br>b<br>")));
        HttpClient client(s.baseUrl());
        client.setExtraCaFile(k.caFile);
        QString text = QStringLiteral("before");
        EXPECT_FALSE(client.get(ServiceRequests::connectedMembers(), text));
        EXPECT_EQ(text, QStringLiteral("before"));
        EXPECT_EQ(client.lastStatus(), 0);
        EXPECT_EQ(client.lastTlsFailure(), k.told) << client.lastError().toStdString();
        EXPECT_EQ(client.failureText(QStringLiteral("réseau")), k.told);
        EXPECT_TRUE(s.requests.isEmpty());
    }
}

TEST_F(HttpsClient, AuthoritiesOfAFileAddToTheSystemsAndOnlyHttpsReadsThem)
{
    TestAuthority stranger(dir.path().toStdString(), "stranger");
    ASSERT_EQ(stranger.error(), "");
    // A file of several authorities, the one that matters last.
    const QString bundle = dir.filePath(QStringLiteral("bundle.pem"));
    {
        QFile out(bundle);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        for (const std::string &file : { stranger.certificateFile(), authority.certificateFile() }) {
            QFile in(path(file));
            ASSERT_TRUE(in.open(QIODevice::ReadOnly));
            out.write(in.readAll());
        }
    }
    FakeService secure(path(service.certificateFile), path(service.keyFile));
    secure.script("/voxlane/getconnected.php", FakeService::Reply::text(QStringLiteral("pseudo=a<br>b<br>")));
    HttpClient client(secure.baseUrl());
    client.setExtraCaFile(bundle);
    QString text;
    EXPECT_TRUE(client.get(ServiceRequests::connectedMembers(), text)) << client.lastError().toStdString();
    EXPECT_EQ(text, QStringLiteral("pseudo=a<br>b<br>"));

    // In clear, the file is not even looked at; and failures there are the
    // network's.
    FakeService plain;
    plain.script("/voxlane/getconnected.php", FakeService::Reply::text(QStringLiteral("")));
    HttpClient clear(plain.baseUrl());
    clear.setExtraCaFile(dir.filePath(QStringLiteral("none.pem")));
    EXPECT_TRUE(clear.get(ServiceRequests::connectedMembers(), text)) << clear.lastError().toStdString();
    HttpClient unreachable(QStringLiteral("http://127.0.0.1:%1").arg(FakeService::closedPort()));
    EXPECT_FALSE(unreachable.get(ServiceRequests::connectedMembers(), text));
    EXPECT_EQ(unreachable.lastTlsFailure(), QString());
    EXPECT_EQ(unreachable.failureText(QStringLiteral("réseau")), QStringLiteral("réseau"));
    HttpClient unreachableSecure(QStringLiteral("https://127.0.0.1:%1").arg(FakeService::closedPort()));
    EXPECT_FALSE(unreachableSecure.get(ServiceRequests::connectedMembers(), text));
    EXPECT_EQ(unreachableSecure.lastTlsFailure(), QString());

    // https:// to a service that speaks in clear, which answers the first
    // bytes of the handshake as a bad request: no TLS can be agreed.
    QTcpServer clearOnly;
    ASSERT_TRUE(clearOnly.listen(QHostAddress(QHostAddress::LocalHost), 0));
    QObject::connect(&clearOnly, &QTcpServer::newConnection, &clearOnly, [&clearOnly] {
        while (QTcpSocket *socket = clearOnly.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                socket->readAll();
                socket->write("HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n");
                socket->disconnectFromHost();
            });
        }
    });
    HttpClient mismatched(QStringLiteral("https://127.0.0.1:%1").arg(clearOnly.serverPort()));
    mismatched.setExtraCaFile(path(authority.certificateFile()));
    EXPECT_FALSE(mismatched.get(ServiceRequests::connectedMembers(), text));
    EXPECT_EQ(mismatched.lastTlsFailure(),
        QStringLiteral("Connexion chiffrée au service impossible : la négociation TLS a échoué."));
}

// The reasons libcurl and OpenSSL give, and the words the member reads.
TEST(TlsFailureText, EachReasonInFrench)
{
    const QString host = QStringLiteral("voxlane.example.org");
    const QString refused = TlsFailureText::kRefused;
    const struct
    {
        int curl;
        long verify;
        QString told;
    } cases[] = {
        { CURLE_PEER_FAILED_VERIFICATION, X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY,
            refused + QStringLiteral("émis par une autorité inconnue.") },
        { CURLE_PEER_FAILED_VERIFICATION, X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN,
            refused + QStringLiteral("émis par une autorité inconnue.") },
        { CURLE_PEER_FAILED_VERIFICATION, X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT,
            refused + QStringLiteral("il est auto-signé.") },
        { CURLE_PEER_FAILED_VERIFICATION, X509_V_ERR_CERT_REVOKED,
            refused + QStringLiteral("il a été révoqué.") },
        { CURLE_PEER_FAILED_VERIFICATION, X509_V_ERR_HOSTNAME_MISMATCH,
            refused + QStringLiteral("il n'est pas au nom de voxlane.example.org.") },
        { CURLE_PEER_FAILED_VERIFICATION, X509_V_ERR_INVALID_PURPOSE,
            refused + QStringLiteral("vérification impossible (code 26).") },
        { CURLE_SSL_CACERT_BADFILE, 0,
            QStringLiteral(
                "Certificat du service invérifiable : le fichier d'autorités « ca.pem » est illisible.") },
        { CURLE_SSL_CONNECT_ERROR, 0,
            QStringLiteral("Connexion chiffrée au service impossible : la négociation TLS a échoué.") },
        // Not the secure connection's: the network's message is shown.
        { CURLE_COULDNT_CONNECT, 0, QString() },
        { CURLE_OPERATION_TIMEDOUT, 0, QString() },
        { CURLE_OK, 0, QString() },
    };
    for (const auto &k : cases)
        EXPECT_EQ(TlsFailureText::forTransfer(k.curl, k.verify, host, QStringLiteral("/etc/voxlane/ca.pem")),
            k.told)
            << k.curl << " " << k.verify;
}

} // namespace
