// The client's session against our reference community service, run as its
// own program on loopback with the demo members.
#include "app/ui/TfrmPrincipal.h"
#include "components/ui/TStatusBar.h"
#include "contacts/ui/TfrmNewContact.h"
#include "service/HttpClient.h"
#include "service/ServiceReplies.h"

#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"
#include "service/ServiceSession.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

class ReferenceServiceSession : public MainWindowFixture
{
protected:
    void SetUp() override
    {
        service.setProgram(QStringLiteral(VOXLANE_DEVSERVER_BINARY));
        service.setArguments({QStringLiteral("--db"), home.filePath(QStringLiteral("service.sqlite")),
                              QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                              QStringLiteral("--seed"), QStringLiteral("demo"), QStringLiteral("--quiet")});
        service.start();
        ASSERT_TRUE(service.waitForStarted(5000));
        // First line: "voxlane-devserver: serving http://ADDR:PORT from FILE ..."
        QByteArray line;
        while (!line.contains('\n') && service.waitForReadyRead(5000))
            line += service.readAllStandardOutput();
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("serving (http://[0-9.]+:[0-9]+)")).match(QString::fromLatin1(line));
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        environment.serviceUrl = m.captured(1);
    }

    void TearDown() override
    {
        service.terminate();
        service.waitForFinished(5000);
    }

    TestClient &logIn(const QString &pseudo, const QString &password)
    {
        TestClient &w = createWindow();
        w.txtPseudo->setText(pseudo);
        w.txtMDP->setText(password);
        w.btnConnexion->click();
        return w;
    }

    QList<ServiceReplies::PresenceRecord> online()
    {
        HttpClient client(environment.serviceUrl);
        QString body;
        EXPECT_TRUE(client.get(QByteArrayLiteral("/voxlane/getconnected.php"), body));
        return ServiceReplies::readPresence(body);
    }

    QProcess service;
};

TEST_F(ReferenceServiceSession, DemoMemberLogsInSeesContactsAndRequestsThenLogsOut)
{
    TestClient &w = logIn(QStringLiteral("alice"), QStringLiteral("alice"));
    ASSERT_TRUE(w.session().isConnected()) << w.lblInfo->text().toStdString();
    EXPECT_EQ(w.session().userId(), 1);
    EXPECT_EQ(w.session().contactList(), QStringList{QStringLiteral("bob")});
    EXPECT_EQ(w.StatusBar->panel(2).text, QStringLiteral("Connecté"));
    const QList<TfrmNewContact *> requests = w.window->findChildren<TfrmNewContact *>();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests.first()->lblUsername->text(), QStringLiteral("carol"));

    // The service lists alice with the address her client reported.
    const QList<ServiceReplies::PresenceRecord> records = online();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records.first().name, QStringLiteral("alice"));
    QString address;
    ASSERT_TRUE(w.session().codec().DecryptForUser(QStringLiteral("alice"), records.first().address, address));
    EXPECT_EQ(address, environment.localIp);

    dialogs.answers.enqueue(true);
    w.window->lblDeconnectClick();
    EXPECT_FALSE(w.session().isConnected());
    EXPECT_EQ(w.StatusBar->panel(2).text, QStringLiteral("Déconnecté"));
    EXPECT_TRUE(online().isEmpty());
}

TEST_F(ReferenceServiceSession, RefusedAndUnknownMembers)
{
    const struct {
        const char *pseudo;
        const char *password;
    } cases[] = {{"alice", "bob"}, {"nobody", "nobody"}, {"Émile", "x"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.pseudo);
        TestClient &w = logIn(QString::fromUtf8(c.pseudo), QString::fromUtf8(c.password));
        EXPECT_FALSE(w.session().isConnected());
        EXPECT_EQ(w.lblInfo->text(), QStringLiteral("Accès refusé !\n\rVérifiez votre nom d'utilisateur et mot de "
                                                     "passe.\n\rVous devez être inscrit pour vous connecter."));
        window.reset();
    }
}

} // namespace
