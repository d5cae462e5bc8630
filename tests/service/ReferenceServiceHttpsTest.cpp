// The client against our reference community service over HTTPS, both run
// as they are (the service as its own program with the demo members), with
// an authority and certificates the test makes at run time: the whole path
// of a session goes through TLS, and a certificate that does not verify is
// refused with its own words where a network failure would be shown.
#include "app/ui/TfrmPrincipal.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRbRadioButton.h"
#include "contacts/JpegCodec.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/TfrmCard.h"
#include "contacts/ui/TfrmChangeAvatar.h"
#include "contacts/ui/TfrmNewContact.h"
#include "service/HttpClient.h"
#include "service/ServiceReplies.h"
#include "service/ServiceSession.h"

#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"

#include "TestAuthority.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kRefused = QStringLiteral("Certificat du service refusé : ");

class ReferenceServiceHttps : public MainWindowFixture
{
protected:
    ReferenceServiceHttps()
        : authority(certificates.path().toStdString(), "community")
        , certificate(authority.issue("service", { "127.0.0.1" }))
        , misnamed(authority.issue("misnamed", { "voxlane.example.org" }))
    {
    }

    void SetUp() override { ASSERT_EQ(authority.error(), ""); }

    void TearDown() override
    {
        window.reset();
        for (auto &s : services) {
            s->terminate();
            s->waitForFinished(5000);
        }
    }

    static QString path(const std::string &file) { return QString::fromStdString(file); }
    QString caFile() const { return path(authority.certificateFile()); }

    // Starts the service on listen ("ADDR:PORT") with a certificate, or in
    // clear without one; its base URL, empty when it did not start. The
    // database stays in the test's folder across restarts.
    QString startService(const QString &listen, const TestAuthority::Issued *tls)
    {
        auto service = std::make_unique<QProcess>();
        service->setProgram(QStringLiteral(VOXLANE_DEVSERVER_BINARY));
        QStringList arguments { QStringLiteral("--db"), home.filePath(QStringLiteral("service.sqlite")),
            QStringLiteral("--listen"), listen, QStringLiteral("--seed"), QStringLiteral("demo") };
        if (tls)
            arguments << QStringLiteral("--tls-cert") << path(tls->certificateFile)
                      << QStringLiteral("--tls-key") << path(tls->keyFile);
        service->setArguments(arguments);
        service->start();
        if (!service->waitForStarted(5000))
            return {};
        // First line: "voxlane-devserver: serving http[s]://ADDR:PORT from FILE ..."
        QByteArray line;
        while (!line.contains('\n') && service->waitForReadyRead(5000))
            line += service->readAllStandardOutput();
        const QRegularExpressionMatch m
            = QRegularExpression(QStringLiteral("serving (https?://[0-9.]+:[0-9]+) "))
                  .match(QString::fromLatin1(line));
        EXPECT_TRUE(m.hasMatch()) << line.toStdString();
        services.push_back(std::move(service));
        return m.captured(1);
    }

    void stopService(QProcess &service)
    {
        service.terminate();
        service.waitForFinished(5000);
    }

    // What a service has logged so far (one line per request).
    static QByteArray logOf(QProcess &service)
    {
        service.waitForReadyRead(200);
        return service.readAllStandardOutput();
    }

    TestClient &logIn(const QString &pseudo)
    {
        window.reset();
        dialogs.messages.clear();
        TestClient &w = createWindow();
        w.txtPseudo->setText(pseudo);
        w.txtMDP->setText(pseudo); // the demo members' passwords
        w.btnConnexion->click();
        return w;
    }

    QList<ServiceReplies::PresenceRecord> online()
    {
        HttpClient client(environment.serviceUrl);
        client.setExtraCaFile(environment.serviceCaFile);
        QString body;
        EXPECT_TRUE(client.get(QByteArrayLiteral("/voxlane/getconnected.php"), body))
            << client.lastError().toStdString();
        return ServiceReplies::readPresence(body);
    }

    QList<TfrmNewContact *> requestWindows() const { return window->window->findChildren<TfrmNewContact *>(); }
    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    QTemporaryDir certificates;
    TestAuthority authority;
    TestAuthority::Issued certificate;
    TestAuthority::Issued misnamed;
    std::vector<std::unique_ptr<QProcess>> services;
};

TEST_F(ReferenceServiceHttps, LogInPresenceContactsCardsAndAvatarsGoThroughTls)
{
    environment.serviceUrl = startService(QStringLiteral("127.0.0.1:0"), &certificate);
    ASSERT_TRUE(environment.serviceUrl.startsWith(QStringLiteral("https://")));
    environment.serviceCaFile = caFile();

    TestClient &w = logIn(QStringLiteral("alice"));
    ASSERT_TRUE(w.session().isConnected()) << w.lblInfo->text().toStdString();
    EXPECT_EQ(w.session().userId(), 1);
    EXPECT_EQ(w.session().contactList(), QStringList { QStringLiteral("bob") });
    EXPECT_FALSE(w.imgAvatar->pixmap().isNull()); // her avatar, by id
    ASSERT_TRUE(w.presence().PollOnline());
    EXPECT_TRUE(w.presence().onlineUsers().contains(QStringLiteral("alice")));

    // Carol's request, accepted: both contact tables and the request.
    ASSERT_EQ(requestWindows().size(), 1);
    const QPointer<TfrmNewContact> request = requestWindows().first();
    request->rbOK->setChecked(true);
    request->btnPseudoOK->Click();
    flushDeletes();
    EXPECT_TRUE(request.isNull());
    EXPECT_EQ(w.session().contactList(), (QStringList { QStringLiteral("bob"), QStringLiteral("carol") }));

    // Bob's card and avatar.
    w.lbOnline->AffichCarte(QStringLiteral("bob"));
    TfrmCard *card = w.card;
    EXPECT_TRUE(card->isVisible());
    EXPECT_EQ(card->lblMail->text(), QStringLiteral("bob@voxlane.test"));
    EXPECT_FALSE(card->imgAvatar->pixmap().isNull());
    card->hide();

    // A new avatar, uploaded in the multipart POST, then served.
    const QString chosen = home.filePath(QStringLiteral("chosen.jpg"));
    {
        QImage picture(120, 60, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QFile out(chosen);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(JpegCodec::encode(picture, 90));
    }
    dialogs.fileNames.enqueue(chosen);
    w.changeAvatar->btnChangeAvatarClick();
    EXPECT_TRUE(dialogs.messages.isEmpty());
    HttpClient client(environment.serviceUrl);
    client.setExtraCaFile(caFile());
    QByteArray served;
    ASSERT_TRUE(client.get(QByteArrayLiteral("/avatars/1.jpg"), served)) << client.lastError().toStdString();
    const std::optional<QImage> avatar = JpegCodec::decode(served);
    ASSERT_TRUE(avatar.has_value());
    EXPECT_EQ(avatar->size(), QSize(94, 47));

    dialogs.answers.enqueue(true);
    w.window->lblDeconnectClick();
    EXPECT_FALSE(w.session().isConnected());
    EXPECT_TRUE(online().isEmpty());
}

TEST_F(ReferenceServiceHttps, CertificatesThatDoNotVerifyAreRefusedAndNoLogInIsSent)
{
    const QString good = startService(QStringLiteral("127.0.0.1:0"), &certificate);
    const QString wrongName = startService(QStringLiteral("127.0.0.1:0"), &misnamed);
    ASSERT_EQ(services.size(), 2u);
    TestAuthority stranger(certificates.path().toStdString(), "stranger");
    ASSERT_EQ(stranger.error(), "");
    const struct
    {
        const char *what;
        QString url;
        QString caFile;
        QString told;
    } cases[] = {
        { "the system's authorities only", good, QString(),
            kRefused + QStringLiteral("émis par une autorité inconnue.") },
        { "another authority", good, path(stranger.certificateFile()),
            kRefused + QStringLiteral("émis par une autorité inconnue.") },
        { "another name", wrongName, caFile(),
            kRefused + QStringLiteral("il n'est pas au nom de 127.0.0.1.") },
        { "no authority file", good, certificates.filePath(QStringLiteral("none.pem")),
            QStringLiteral(
                "Certificat du service invérifiable : le fichier d'autorités « none.pem » est illisible.") },
    };
    for (const auto &k : cases) {
        SCOPED_TRACE(k.what);
        environment.serviceUrl = k.url;
        environment.serviceCaFile = k.caFile;
        TestClient &w = logIn(QStringLiteral("alice"));
        EXPECT_FALSE(w.session().isConnected());
        EXPECT_EQ(w.lblInfo->text(), QStringLiteral("\n\r") + k.told);
        EXPECT_FALSE(w.pnInfo->isHidden());
        EXPECT_TRUE(w.txtPseudo->isEnabled());
    }
    // Not one request reached either service. The first saw the refusals
    // in the handshake; libcurl checks the name only once the handshake is
    // over, and then leaves without a word.
    const QByteArray goodLog = logOf(*services.at(0));
    EXPECT_FALSE(goodLog.contains("connect.php")) << goodLog.toStdString();
    EXPECT_TRUE(goodLog.contains("127.0.0.1 TLS handshake failed: tlsv1 alert unknown ca"))
        << goodLog.toStdString();
    const QByteArray wrongNameLog = logOf(*services.at(1));
    EXPECT_FALSE(wrongNameLog.contains("connect.php")) << wrongNameLog.toStdString();
}

TEST_F(ReferenceServiceHttps, ACertificateChangedDuringTheSessionIsToldWhereTheNetworkWouldBe)
{
    environment.serviceUrl = startService(QStringLiteral("127.0.0.1:0"), &certificate);
    environment.serviceCaFile = caFile();
    const QString listen = environment.serviceUrl.mid(QStringLiteral("https://").size());
    TestClient &w = logIn(QStringLiteral("alice"));
    ASSERT_TRUE(w.session().isConnected()) << w.lblInfo->text().toStdString();
    const QPointer<TfrmNewContact> request = requestWindows().first();
    request->rbOK->setChecked(true);

    // The same address now answers with a certificate for another name.
    stopService(*services.back());
    ASSERT_EQ(startService(listen, &misnamed), environment.serviceUrl);
    const QString told = kRefused + QStringLiteral("il n'est pas au nom de 127.0.0.1.");
    request->btnPseudoOK->Click();
    flushDeletes();
    ASSERT_FALSE(request.isNull()); // kept for a later answer
    w.lbOnline->AffichCarte(QStringLiteral("bob"));
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(dialogs.messages.at(0).text, told);
    EXPECT_EQ(dialogs.messages.at(1).text, told);
    EXPECT_EQ(w.session().contactList(), QStringList { QStringLiteral("bob") });

    // Its own certificate back: the answer goes through.
    stopService(*services.back());
    ASSERT_EQ(startService(listen, &certificate), environment.serviceUrl);
    request->btnPseudoOK->Click();
    flushDeletes();
    EXPECT_TRUE(request.isNull());
    EXPECT_EQ(w.session().contactList(), (QStringList { QStringLiteral("bob"), QStringLiteral("carol") }));
}

TEST_F(ReferenceServiceHttps, InClearTheAuthorityFileIsNotNeeded)
{
    environment.serviceUrl = startService(QStringLiteral("127.0.0.1:0"), nullptr);
    ASSERT_TRUE(environment.serviceUrl.startsWith(QStringLiteral("http://")));
    environment.serviceCaFile = certificates.filePath(QStringLiteral("none.pem"));
    TestClient &w = logIn(QStringLiteral("bob"));
    EXPECT_TRUE(w.session().isConnected()) << w.lblInfo->text().toStdString();
    EXPECT_EQ(w.session().contactList(), QStringList { QStringLiteral("alice") });
}

} // namespace
