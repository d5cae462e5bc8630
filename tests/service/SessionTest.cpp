#include "components/ui/TRbRadioButton.h"
#include "app/ui/TfrmPrincipal.h"
#include "base/Cp1252.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TStatusBar.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/TfrmNewContact.h"
#include "service/CredentialCodec.h"
#include "service/LocalAddress.h"

#include "support/FakeService.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"
#include "support/Timing.h"
#include "service/ServiceSession.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

const QString kAccepted = QStringLiteral("autorisé\r\n[Contacts]\r\ncarl\r\nBob\r\nalice\r\n[Bloqués]\r\n"
                                         "[Ask]\r\n[Messages]\r\n");
const QString kNetworkDown = QStringLiteral("\n\rLe réseau est indisponible, veuillez réessayer plus "
                                            "tard.\n\r\n\rVérifiez votre connexion à Internet");

class SessionTest : public MainWindowFixture
{
protected:
    SessionTest()
    {
        environment.serviceUrl = service.baseUrl();
        httpLimits.connectTimeoutMs = 500;
        httpLimits.stallTimeoutMs = 500;
    }

    TestClient &windowWith(const QString &pseudo, const QString &password)
    {
        TestClient &w = createWindow();
        w.txtPseudo->setText(pseudo);
        w.txtMDP->setText(password);
        return w;
    }

    void scriptLogin(const QString &body, const QString &id = QStringLiteral("42"))
    {
        service.script("/voxlane/connect.php", FakeService::Reply::text(body));
        service.script("/script/getinfo.php", FakeService::Reply::text(id));
    }

    void scriptLogout(
        const FakeService::Reply &reply = FakeService::Reply::text(QStringLiteral("Déconnecté")))
    {
        service.script("/voxlane/deconnect.php", reply);
    }

    // Logs in as pseudo (typed) against a service that accepts.
    TestClient &loggedIn(
        const QString &pseudo = QStringLiteral("bob"), const QString &password = QStringLiteral("pw"))
    {
        scriptLogin(kAccepted);
        TestClient &w = windowWith(pseudo, password);
        w.btnConnexion->click();
        EXPECT_TRUE(w.session().isConnected());
        return w;
    }

    static QByteArray queryValue(const QByteArray &query, const QByteArray &name)
    {
        for (const QByteArray &pair : query.split('&')) {
            if (pair.startsWith(name + '='))
                return pair.mid(name.size() + 1);
        }
        return {};
    }

    static QStringList rowTexts(const QTreeWidget *view)
    {
        QStringList texts;
        for (int i = 0; i < view->topLevelItemCount(); ++i)
            texts << ContactRows::textOf(view->topLevelItem(i));
        return texts;
    }

    static QList<int> rowImages(const QTreeWidget *view)
    {
        QList<int> images;
        for (int i = 0; i < view->topLevelItemCount(); ++i)
            images << ContactRows::imageIndexOf(view->topLevelItem(i));
        return images;
    }

    FakeService service;
};

TEST_F(SessionTest, LogInRequestOnTheWire)
{
    scriptLogin(kAccepted);
    TestClient &w = windowWith(QStringLiteral("Zoé"), QStringLiteral("secret"));
    w.btnConnexion->click();

    // Log-in, member id; then the own avatar (member id and picture) and
    // the first presence poll.
    QList<QByteArray> paths;
    for (const FakeService::Request &r : service.requests)
        paths << r.path();
    EXPECT_EQ(paths,
        QList<QByteArray>({ "/voxlane/connect.php", "/script/getinfo.php", "/script/getinfo.php",
            "/avatars/42.jpg", "/voxlane/getconnected.php" }));
    ASSERT_GE(service.requests.size(), 2);
    const FakeService::Request &login = service.requests.at(0);
    const QByteArray digest = CredentialCodec::MD5Hex(QStringLiteral("secret")).toLatin1();
    const QByteArray ip = queryValue(login.query(), "ip");
    // 0xE9, not UTF-8 and not percent-encoded.
    EXPECT_EQ(login.requestLine,
        "GET /voxlane/connect.php?pseudo=Zo\xE9&psw=" + digest + "&ip=" + ip + " HTTP/1.1");
    EXPECT_EQ(digest, QByteArray("5ebe2294ecd0e0f08eab7690d2a6ee69"));
    QString decoded;
    ASSERT_TRUE(w.session().codec().DecryptForUser(QStringLiteral("Zoé"), QString::fromLatin1(ip), decoded));
    EXPECT_EQ(decoded, environment.localIp);
    EXPECT_EQ(login.header("Accept"), QByteArray("text/html, */*"));
    EXPECT_EQ(login.header("User-Agent"), QByteArray("Mozilla/3.0 (compatible; Indy Library)"));
    EXPECT_EQ(login.header("Content-Type"), QByteArray("text/html"));

    EXPECT_EQ(service.requests.at(1).requestLine,
        QByteArray("GET /script/getinfo.php?function=getid&pseudo=Zo\xE9 HTTP/1.1"));
}

TEST_F(SessionTest, AcceptedLogInOpensTheSession)
{
    TestClient &w = loggedIn(QStringLiteral("bob"), QStringLiteral("pw"));

    EXPECT_EQ(w.session().userId(), 42);
    EXPECT_EQ(w.session().contactList(), QStringList({ "alice", "Bob", "carl" }));
    EXPECT_EQ(w.presence().offlineContacts(), w.session().contactList());
    EXPECT_TRUE(w.presence().onlineContacts().isEmpty());
    // The contact check after the first poll (none online here) puts the
    // placeholder under the online header.
    EXPECT_EQ(rowTexts(w.lbOnline),
        QStringList(
            { "——— En Ligne ———", "Aucun contact en ligne", "—— Hors Ligne ——", "alice", "carl", "Bob" }));
    EXPECT_EQ(rowImages(w.lbOnline), QList<int>({ -1, -2, -1, 1, 1, 1 }));
    EXPECT_EQ(Cp1252::encode(rowTexts(w.lbOnline).at(0)), QByteArray("\x97\x97\x97 En Ligne \x97\x97\x97"));
    EXPECT_EQ(Cp1252::encode(rowTexts(w.lbOnline).at(2)), QByteArray("\x97\x97 Hors Ligne \x97\x97"));
    EXPECT_FALSE(w.lbOnline->isHidden());

    EXPECT_EQ(w.StatusBar->panel(2).text, QStringLiteral("Connecté"));
    EXPECT_EQ(w.PageControl->currentIndex(), 1);
    EXPECT_EQ(w.window->highlightedMenuLabel(), w.lblTelEnCours);
    EXPECT_EQ(w.lblDeconnect->text(), QStringLiteral("Se déconnecter"));
    for (TClickLabel *label : w.window->menuLabels())
        EXPECT_TRUE(label->isEnabled()) << label->objectName().toStdString();
    EXPECT_TRUE(w.window->dropAccepted());
    EXPECT_EQ(w.lblPseudo->text(), QStringLiteral("bob"));
    EXPECT_EQ(w.txtMDP->text(), QString());
    EXPECT_FALSE(w.txtPseudo->isEnabled());
    EXPECT_TRUE(w.btnConnexion->isEnabled());
    EXPECT_TRUE(w.pnInfo->isHidden());
    EXPECT_TRUE(w.TimerRefresh->isActive());
    EXPECT_EQ(w.TimerRefresh->interval(), 10000);
    // Not ticked: nothing remembered.
    EXPECT_EQ(settings->read(QStringLiteral("User")), QString());
}

TEST_F(SessionTest, AcceptedWordWinsOverError)
{
    TestClient &w = windowWith(QStringLiteral("bob"), QStringLiteral("pw"));
    scriptLogin(QStringLiteral("error\r\nautorisé\r\n[Contacts]\r\nx\r\n[Bloqués]\r\n[Ask]\r\n[Messages]"));
    w.btnConnexion->click();
    EXPECT_TRUE(w.session().isConnected());
    EXPECT_EQ(w.session().contactList(), QStringList({ "x" }));
}

TEST_F(SessionTest, MalformedMemberIdKeepsThePreviousOne)
{
    TestClient &w = windowWith(QStringLiteral("bob"), QStringLiteral("pw"));
    // An earlier session of member 7, logged out since.
    ASSERT_TRUE(w.logInSession(service, QStringLiteral("bob"), 7));
    scriptLogout();
    ASSERT_TRUE(w.session().CloseSession());
    ASSERT_EQ(w.session().userId(), 7);
    scriptLogin(kAccepted, QStringLiteral("42\r\n"));
    w.btnConnexion->click();
    EXPECT_TRUE(w.session().isConnected());
    EXPECT_EQ(w.session().userId(), 7);
}

TEST_F(SessionTest, FailedLogInsShowTheirTextForTheirTime)
{
    const struct
    {
        const char *name;
        FakeService::Reply reply;
        bool reachable;
        QString text;
        int duration;
        bool pollingStarts;
    } cases[] = {
        { "refused", FakeService::Reply::text(QStringLiteral("nope")), true,
            QStringLiteral("Accès refusé !\n\rVérifiez votre nom d'utilisateur et mot de passe.\n\r"
                           "Vous devez être inscrit pour vous connecter."),
            2500, true },
        { "service error", FakeService::Reply::text(QStringLiteral("error")), true,
            QStringLiteral("Erreur de connexion.\n\rLe service est momentanément inaccessible."), 2500,
            true },
        { "status 500", FakeService::Reply::text(QStringLiteral("autorisé"), 500), true, kNetworkDown, 3000,
            false },
        { "closed without reply", FakeService::Reply::closeWithoutReply(), true, kNetworkDown, 3000, false },
        { "never answers", FakeService::Reply::neverAnswer(), true, kNetworkDown, 3000, false },
        { "unreachable", FakeService::Reply::neverAnswer(), false, kNetworkDown, 3000, false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        service.clearScripts();
        service.requests.clear();
        service.script("/voxlane/connect.php", c.reply);
        environment.serviceUrl = c.reachable
            ? service.baseUrl()
            : QStringLiteral("http://127.0.0.1:%1").arg(FakeService::closedPort());
        TestClient &w = windowWith(QStringLiteral("bob"), QStringLiteral("pw"));
        w.cbSaveComptInfo->setChecked(true);

        // What the page shows while the request waits.
        QString infoDuringWait;
        bool buttonDuringWait = true;
        bool clicking = false;
        bool lookedDuringWait = false;
        QTimer::singleShot(100, w.window, [&] {
            if (!clicking)
                return;
            lookedDuringWait = true;
            infoDuringWait = w.lblInfo->text();
            buttonDuringWait = w.btnConnexion->isEnabled();
        });
        QElapsedTimer timer;
        timer.start();
        clicking = true;
        w.btnConnexion->click();
        clicking = false;
        const qint64 elapsed = timer.elapsed();

        EXPECT_LT(elapsed, 3000 * kTimeScale);
        // A request that waits for its time limit keeps the page responsive.
        if (QByteArray(c.name) == "never answers") {
            EXPECT_TRUE(lookedDuringWait);
        }
        if (lookedDuringWait) {
            EXPECT_EQ(infoDuringWait, QStringLiteral("Connexion en cours..."));
            EXPECT_FALSE(buttonDuringWait);
        }
        EXPECT_FALSE(w.session().isConnected());
        EXPECT_EQ(w.lblInfo->text(), c.text);
        EXPECT_FALSE(w.pnInfo->isHidden());
        EXPECT_TRUE(w.TimerInfo->isActive());
        EXPECT_EQ(w.TimerInfo->interval(), c.duration);
        EXPECT_EQ(w.TimerRefresh->isActive(), c.pollingStarts);
        EXPECT_TRUE(w.txtPseudo->isEnabled());
        EXPECT_TRUE(w.txtMDP->isEnabled());
        EXPECT_TRUE(w.btnConnexion->isEnabled());
        EXPECT_EQ(w.txtMDP->text(), QStringLiteral("pw"));
        EXPECT_EQ(w.PageControl->currentIndex(), 0);
        EXPECT_TRUE(w.lbOnline->isHidden());
        EXPECT_TRUE(w.session().contactList().isEmpty());
        EXPECT_FALSE(w.window->dropAccepted());
        EXPECT_EQ(w.StatusBar->panel(2).text, QStringLiteral("Déconnecté"));
        EXPECT_EQ(settings->read(QStringLiteral("User")), QString());
        EXPECT_TRUE(service.requestsTo("/script/getinfo.php").isEmpty());
    }
}

TEST_F(SessionTest, EveryPendingRequestOpensAWindowInACascade)
{
    scriptLogin(QStringLiteral("autorisé\r\n[Contacts]\r\n[Bloqués]\r\n[Ask]\r\ndave\r\n <b>eve</b>\r\n\r\n"
                               "Émile\r\n[Messages]\r\nhi\r\n"));
    TestClient &w = windowWith(QStringLiteral("bob"), QStringLiteral("pw"));
    w.btnConnexion->click();
    ASSERT_TRUE(w.session().isConnected());

    const QList<TfrmNewContact *> windows = w.window->findChildren<TfrmNewContact *>();
    ASSERT_EQ(windows.size(), 3);
    const QStringList names = { "dave", " <b>eve</b>", "Émile" };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        TfrmNewContact *request = windows.at(i);
        EXPECT_EQ(request->lblUsername->text(), names.at(i));
        EXPECT_EQ(request->lblUsername->textFormat(), Qt::PlainText);
        EXPECT_EQ(request->pos(), QPoint(304 + 20 * (i + 1), 243 + 20 * (i + 1)));
        EXPECT_TRUE(request->isVisible());
        EXPECT_TRUE(request->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_EQ(request->windowTitle(), QStringLiteral("Nouveau contact"));
        EXPECT_FALSE(request->rbOK->Checked());
        EXPECT_FALSE(request->rbNo->Checked());
    }
    // With no contact the view holds the two headers and the placeholder.
    EXPECT_EQ(w.lbOnline->topLevelItemCount(), 3);
}

TEST_F(SessionTest, AFloodOfPendingRequestsOpensOnlyAHandfulOfWindows)
{
    QString body = QStringLiteral("autorisé\r\n[Contacts]\r\n[Bloqués]\r\n[Ask]\r\n");
    for (int i = 0; i < 2000; ++i)
        body += QStringLiteral("member%1\r\n").arg(i);
    body += QStringLiteral("[Messages]\r\n");
    scriptLogin(body);
    TestClient &w = windowWith(QStringLiteral("bob"), QStringLiteral("pw"));
    w.btnConnexion->click();
    ASSERT_TRUE(w.session().isConnected());
    const QList<TfrmNewContact *> windows = w.window->findChildren<TfrmNewContact *>();
    ASSERT_EQ(windows.size(), 5);
    for (int i = 0; i < windows.size(); ++i) {
        EXPECT_EQ(windows.at(i)->lblUsername->text(), QStringLiteral("member%1").arg(i));
        EXPECT_EQ(windows.at(i)->pos(), QPoint(304 + 20 * (i + 1), 243 + 20 * (i + 1)));
    }
}

TEST_F(SessionTest, HugeReplyIsANetworkFailure)
{
    httpLimits.maxBodyBytes = 64 * 1024;
    const QString huge = QStringLiteral("autorisé\r\n[Contacts]\r\n") + QString(70 * 1024, u'x');
    scriptLogin(huge);
    TestClient &w = windowWith(QStringLiteral("bob"), QStringLiteral("pw"));
    w.btnConnexion->click();
    EXPECT_FALSE(w.session().isConnected());
    EXPECT_EQ(w.lblInfo->text(), kNetworkDown);
    EXPECT_TRUE(w.txtPseudo->isEnabled());
}

TEST_F(SessionTest, TypedPseudonymIsSentWithItsBlanks)
{
    scriptLogin(kAccepted);
    TestClient &w = windowWith(QStringLiteral("  bob "), QStringLiteral(" pw"));
    w.btnConnexion->click();
    ASSERT_FALSE(service.requests.isEmpty());
    EXPECT_EQ(queryValue(service.requests.at(0).query(), "pseudo"), QByteArray("  bob "));
    EXPECT_EQ(queryValue(service.requests.at(0).query(), "psw"),
        CredentialCodec::MD5Hex(QStringLiteral(" pw")).toLatin1());
    EXPECT_EQ(w.session().currentPseudo(), QStringLiteral("  bob "));
}

TEST_F(SessionTest, ConnectButtonFollowsTheTrimmedFields)
{
    TestClient &w = createWindow();
    const struct
    {
        const char *pseudo;
        const char *password;
        bool enabled;
    } cases[] = {
        { "bob", "pw", true },
        { " bob ", " pw ", true },
        { "", "pw", false },
        { "  ", "pw", false },
        { "bob", "", false },
        { "bob", " \t", false },
    };
    for (const auto &c : cases) {
        w.txtPseudo->setText(QString::fromLatin1(c.pseudo));
        w.txtMDP->setText(QString::fromLatin1(c.password));
        EXPECT_EQ(w.btnConnexion->isEnabled(), c.enabled) << c.pseudo << "/" << c.password;
    }
}

TEST_F(SessionTest, EnterOnThePagePressesTheConnectButton)
{
    scriptLogin(kAccepted);
    TestClient &w = createWindow();
    // Disabled button: Enter does nothing.
    QTest::keyClick(w.txtPseudo, Qt::Key_Return);
    EXPECT_TRUE(service.requests.isEmpty());

    w.txtPseudo->setText(QStringLiteral("bob"));
    w.txtMDP->setText(QStringLiteral("pw"));
    QTest::keyClick(w.txtMDP, Qt::Key_Enter);
    EXPECT_TRUE(w.session().isConnected());
    EXPECT_EQ(service.requestsTo("/voxlane/connect.php").size(), 1);
}

// Types through the window system, as a keyboard does: the keys go to
// whatever holds the focus in that window.
void typeInto(QWindow *window, const char *text)
{
    for (const char *c = text; *c; ++c)
        QTest::keyClick(window, *c);
}

TEST_F(SessionTest, TypingRightAfterStartLandsInThePseudonymField)
{
    scriptLogin(kAccepted);
    TestClient &w = createWindow();
    w.window->show();
    w.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window));
    EXPECT_EQ(QApplication::focusWidget(), w.txtPseudo);
    // Keys go through the window system, to whatever has the focus.
    typeInto(w.window->windowHandle(), "bob");
    EXPECT_EQ(w.txtPseudo->text(), QStringLiteral("bob"));
    QTest::keyClick(w.window->windowHandle(), Qt::Key_Tab);
    typeInto(w.window->windowHandle(), "pw");
    EXPECT_EQ(w.txtMDP->text(), QStringLiteral("pw"));
    QTest::keyClick(w.window->windowHandle(), Qt::Key_Return);
    EXPECT_TRUE(w.session().isConnected());
}

TEST_F(SessionTest, EnterRightAfterStartLogsInTheRememberedAccount)
{
    CredentialCodec codec;
    QString mdp;
    ASSERT_TRUE(codec.EncryptForUser(QStringLiteral("alice"), QStringLiteral("pw1"), mdp));
    settings->write(QStringLiteral("User"), QStringLiteral("alice"));
    settings->write(QStringLiteral("Mdp"), mdp);
    scriptLogin(kAccepted);

    TestClient &w = createWindow();
    w.window->show();
    w.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window));
    // No field of the log-in page holds the focus.
    EXPECT_FALSE(w.loginPage->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(w.window->windowHandle(), Qt::Key_Return);
    ASSERT_EQ(service.requestsTo("/voxlane/connect.php").size(), 1);
    EXPECT_EQ(queryValue(service.requestsTo("/voxlane/connect.php").at(0).query(), "pseudo"), QByteArray("alice"));
    EXPECT_TRUE(w.session().isConnected());

    // Enter on another page is not the connect button's.
    w.window->lblEnvoyerClick(w.lblMnuOptions);
    QTest::keyClick(w.window->windowHandle(), Qt::Key_Return);
    EXPECT_EQ(service.requestsTo("/voxlane/connect.php").size(), 1);
}

TEST_F(SessionTest, ShowingTheLogInPageFocusesTheFieldToFill)
{
    TestClient &w = createWindow();
    w.window->show();
    w.window->lblEnvoyerClick(w.lblMnuOptions);
    w.window->lblDeconnectClick(); // logged out: back to the log-in page
    EXPECT_EQ(w.PageControl->currentIndex(), 0);
    EXPECT_EQ(w.window->highlightedMenuLabel(), w.lblDeconnect);
    EXPECT_TRUE(w.lblDeconnect->isBold());
    EXPECT_FALSE(w.lblMnuOptions->isBold());
    EXPECT_EQ(w.window->focusWidget(), w.txtPseudo);

    w.txtPseudo->setText(QStringLiteral(" bob"));
    w.window->lblEnvoyerClick(w.lblMnuOptions);
    w.window->lblDeconnectClick();
    EXPECT_EQ(w.window->focusWidget(), w.txtMDP);
}

TEST_F(SessionTest, RegistrationPageOpensInTheBrowser)
{
    TestClient &w = createWindow();
    w.loginPage->lblSubmitClick();
    EXPECT_EQ(dialogs.openedUrls, QStringList({ service.baseUrl() + "/voxlane/?file=inscriptions.php" }));
    EXPECT_TRUE(service.requests.isEmpty());
}

TEST_F(SessionTest, LogOutAnsweredNoChangesNothing)
{
    TestClient &w = loggedIn();
    scriptLogout();
    const qsizetype sent = service.requests.size();
    dialogs.answers.enqueue(false);
    w.window->lblDeconnectClick();
    EXPECT_EQ(dialogs.questions, QStringList({ "Êtes-vous sûr de vouloir vous déconnecter ?" }));
    EXPECT_EQ(service.requests.size(), sent);
    EXPECT_TRUE(w.session().isConnected());
    EXPECT_EQ(w.PageControl->currentIndex(), 1);
    EXPECT_EQ(w.session().contactList().size(), 3);
}

TEST_F(SessionTest, ConfirmedLogOutEndsTheSession)
{
    TestClient &w = loggedIn(QStringLiteral("Zoé"), QStringLiteral("secret"));
    scriptLogout(FakeService::Reply::text(QStringLiteral("Vous êtes Déconnecté")));
    w.StatusBar->setPanelText(1, QStringLiteral("127.0.0.9"));
    w.lblContactsEnLigne->setText(QStringLiteral("Contacts en ligne (2)"));
    w.window->lblEnvoyerClick(w.lblEnvoyer);
    w.window->lblDeconnectClick();

    const auto logout = service.requestsTo("/voxlane/deconnect.php");
    ASSERT_EQ(logout.size(), 1);
    EXPECT_EQ(logout.at(0).requestLine,
        "GET /voxlane/deconnect.php?pseudo=Zo\xE9&psw="
            + CredentialCodec::MD5Hex(QStringLiteral("secret")).toLatin1() + " HTTP/1.1");
    EXPECT_FALSE(w.session().isConnected());
    EXPECT_EQ(w.StatusBar->panel(1).text, QString());
    EXPECT_EQ(w.StatusBar->panel(2).text, QStringLiteral("Déconnecté"));
    EXPECT_TRUE(w.pnInfo->isHidden());
    EXPECT_TRUE(w.lbOnline->isHidden());
    EXPECT_EQ(w.lbOnline->topLevelItemCount(), 0);
    // The count of the session just ended goes with it.
    EXPECT_EQ(w.lblContactsEnLigne->text(), QStringLiteral("Contacts en ligne"));
    EXPECT_FALSE(w.TimerRefresh->isActive());
    EXPECT_TRUE(w.session().contactList().isEmpty());
    EXPECT_TRUE(w.presence().offlineContacts().isEmpty());
    EXPECT_FALSE(w.window->dropAccepted());
    EXPECT_TRUE(w.txtPseudo->isEnabled());
    EXPECT_TRUE(w.txtMDP->isEnabled());
    EXPECT_EQ(w.lblPseudo->text(), QString());
    for (TClickLabel *label :
        { w.lblTelEnCours, w.lblEnvoyer, w.lblEnvoisEnCours, w.lblMnuContact, w.lblLecture })
        EXPECT_FALSE(label->isEnabled()) << label->objectName().toStdString();
    EXPECT_TRUE(w.lblMnuOptions->isEnabled());
    EXPECT_TRUE(w.pnMdpLogin->isHidden());
    EXPECT_FALSE(w.lblPseudoConnec->isHidden());
    EXPECT_FALSE(w.lblChangeUser->isHidden());
    EXPECT_EQ(w.lblDeconnect->text(), QStringLiteral("Se connecter"));
    EXPECT_EQ(w.PageControl->currentIndex(), 0);
    EXPECT_EQ(w.window->highlightedMenuLabel(), w.lblDeconnect);
    EXPECT_TRUE(w.lblDeconnect->isBold());
    EXPECT_EQ(w.lblDeconnect->tColor(), TfrmPrincipal::kMenuSelectedColor);
    EXPECT_FALSE(w.lblEnvoyer->isBold());
    EXPECT_EQ(w.lblEnvoyer->tColor(), TfrmPrincipal::kMenuPlainColor);
    EXPECT_TRUE(w.btnConnexion->isEnabled());
}

TEST_F(SessionTest, FailedLogOutKeepsTheSession)
{
    const struct
    {
        const char *name;
        FakeService::Reply reply;
        QString info;
    } cases[] = {
        // The request fails: nothing more is shown.
        { "closed without reply", FakeService::Reply::closeWithoutReply(),
            QStringLiteral("Fermeture de session...") },
        { "never answers", FakeService::Reply::neverAnswer(), QStringLiteral("Fermeture de session...") },
        { "no confirmation", FakeService::Reply::text(QStringLiteral("deconnecte")),
            QStringLiteral(
                "Le réseau est indisponible, veuillez réessayer plus tard.\n\rVérifiez votre connexion "
                "à Internet") },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        service.clearScripts();
        TestClient &w = loggedIn();
        scriptLogout(c.reply);
        w.window->lblDeconnectClick();
        EXPECT_TRUE(w.session().isConnected());
        EXPECT_EQ(w.lblInfo->text(), c.info);
        EXPECT_FALSE(w.pnInfo->isHidden());
        EXPECT_EQ(w.StatusBar->panel(2).text, QStringLiteral("Connecté"));
        EXPECT_EQ(w.PageControl->currentIndex(), 1);
        EXPECT_EQ(w.session().contactList().size(), 3);
        EXPECT_TRUE(w.TimerRefresh->isActive());
        EXPECT_EQ(w.lblDeconnect->text(), QStringLiteral("Se déconnecter"));
    }
}

TEST_F(SessionTest, ClosingTheWindowLogsOutOnlyWhenLoggedIn)
{
    scriptLogout();
    createWindow().window->FormCloseQuery();
    EXPECT_TRUE(service.requests.isEmpty());

    TestClient &w = loggedIn();
    EXPECT_TRUE(w.window->FormCloseQuery());
    EXPECT_EQ(service.requestsTo("/voxlane/deconnect.php").size(), 1);
    EXPECT_FALSE(w.session().isConnected());
}

TEST_F(SessionTest, ClosingWhileTheLogOutRequestHangsEndsAfterTheExitLimit)
{
    // An ordinary request would wait for this service for ten minutes.
    httpLimits.stallTimeoutMs = 600000;
    httpLimits.exitTimeoutMs = 300;
    TestClient &w = loggedIn();
    scriptLogout(FakeService::Reply::neverAnswer());
    // Returns at all: the closing request is given the exit limit, and its
    // outcome does not hold the close back.
    EXPECT_TRUE(w.window->FormCloseQuery());
    EXPECT_EQ(service.requestsTo("/voxlane/deconnect.php").size(), 1);
}

TEST_F(SessionTest, RememberedAccountLogsInWithoutTyping)
{
    CredentialCodec codec;
    QString mdp;
    ASSERT_TRUE(codec.EncryptForUser(QStringLiteral("alice"), QStringLiteral("pw1"), mdp));
    settings->write(QStringLiteral("User"), QStringLiteral("alice"));
    settings->write(QStringLiteral("Mdp"), mdp);
    scriptLogin(kAccepted);

    TestClient &w = createWindow();
    EXPECT_EQ(w.lblPseudoConnec->text(), QStringLiteral("alice"));
    EXPECT_TRUE(w.btnConnexion->isEnabled());
    w.btnConnexion->click();
    ASSERT_TRUE(w.session().isConnected());
    const QByteArray query = service.requests.at(0).query();
    EXPECT_EQ(queryValue(query, "pseudo"), QByteArray("alice"));
    EXPECT_EQ(queryValue(query, "psw"), CredentialCodec::MD5Hex(QStringLiteral("pw1")).toLatin1());
}

TEST_F(SessionTest, ChangeOfUserWithEmptyFieldsSendsAnEmptyAccount)
{
    settings->write(QStringLiteral("User"), QStringLiteral("alice"));
    scriptLogin(QStringLiteral("refusé"));
    TestClient &w = createWindow();
    w.loginPage->lblChangeUserClick();
    EXPECT_TRUE(w.lblChangeUser->isHidden());
    EXPECT_FALSE(w.pnMdpLogin->isHidden());
    EXPECT_TRUE(w.lblPseudoConnec->isHidden());
    EXPECT_TRUE(w.btnConnexion->isEnabled()); // keeps its state until a field changes
    w.btnConnexion->click();
    ASSERT_EQ(service.requests.size(), 1);
    EXPECT_EQ(queryValue(service.requests.at(0).query(), "pseudo"), QByteArray());
    EXPECT_EQ(
        queryValue(service.requests.at(0).query(), "psw"), CredentialCodec::MD5Hex(QString()).toLatin1());
}

TEST_F(SessionTest, TickedBoxRemembersTheAccount)
{
    scriptLogin(kAccepted);
    TestClient &w = windowWith(QStringLiteral("Zoé"), QStringLiteral("pässwörd"));
    w.cbSaveComptInfo->setChecked(true);
    w.btnConnexion->click();
    ASSERT_TRUE(w.session().isConnected());
    EXPECT_EQ(settings->read(QStringLiteral("User")), QStringLiteral("Zoé"));
    QString password;
    ASSERT_TRUE(
        w.session().codec().DecryptForUser(QStringLiteral("Zoé"), settings->read(QStringLiteral("Mdp")), password));
    EXPECT_EQ(password, QStringLiteral("pässwörd"));
}

TEST_F(SessionTest, LogOutOffersTheRememberedAccountAgain)
{
    CredentialCodec codec;
    QString mdp;
    ASSERT_TRUE(codec.EncryptForUser(QStringLiteral("alice"), QStringLiteral("pw1"), mdp));
    settings->write(QStringLiteral("User"), QStringLiteral("alice"));
    settings->write(QStringLiteral("Mdp"), mdp);
    scriptLogin(kAccepted);
    scriptLogout();

    // Another account, not remembered.
    TestClient &w = createWindow();
    w.loginPage->lblChangeUserClick();
    w.txtPseudo->setText(QStringLiteral("bob"));
    w.txtMDP->setText(QStringLiteral("pw2"));
    w.btnConnexion->click();
    ASSERT_TRUE(w.session().isConnected());
    w.window->lblDeconnectClick();
    ASSERT_FALSE(w.session().isConnected());

    EXPECT_EQ(w.session().currentPseudo(), QStringLiteral("alice"));
    EXPECT_EQ(w.session().currentPassword(), QStringLiteral("pw1"));
    EXPECT_EQ(w.lblPseudoConnec->text(), QStringLiteral("alice"));
    EXPECT_EQ(settings->read(QStringLiteral("User")), QStringLiteral("alice"));
    EXPECT_EQ(settings->read(QStringLiteral("Mdp")), mdp);

    service.requests.clear();
    w.btnConnexion->click();
    ASSERT_TRUE(w.session().isConnected());
    EXPECT_EQ(queryValue(service.requests.at(0).query(), "pseudo"), QByteArray("alice"));
    EXPECT_EQ(queryValue(service.requests.at(0).query(), "psw"),
        CredentialCodec::MD5Hex(QStringLiteral("pw1")).toLatin1());
}

TEST_F(SessionTest, RememberedAccountWithoutPasswordNeverTakesThePreviousOne)
{
    settings->write(QStringLiteral("User"), QStringLiteral("alice"));
    scriptLogin(kAccepted);
    scriptLogout();
    TestClient &w = createWindow();
    w.loginPage->lblChangeUserClick();
    w.txtPseudo->setText(QStringLiteral("bob"));
    w.txtMDP->setText(QStringLiteral("bobs secret"));
    w.btnConnexion->click();
    w.window->lblDeconnectClick();
    EXPECT_EQ(w.session().currentPseudo(), QStringLiteral("alice"));
    EXPECT_EQ(w.session().currentPassword(), QString());
}

TEST_F(SessionTest, LogOutWithoutRememberedAccountLogsInAgainWithTheLastOne)
{
    TestClient &w = loggedIn(QStringLiteral("bob"), QStringLiteral("pw2"));
    scriptLogout();
    w.window->lblDeconnectClick();
    ASSERT_FALSE(w.session().isConnected());
    EXPECT_EQ(w.session().currentPseudo(), QStringLiteral("bob"));
    EXPECT_EQ(w.session().currentPassword(), QStringLiteral("pw2"));
    // The label names the account the button will use.
    EXPECT_EQ(w.lblPseudoConnec->text(), QStringLiteral("bob"));
    EXPECT_FALSE(w.lblPseudoConnec->isHidden());
    EXPECT_TRUE(w.btnConnexion->isEnabled());

    service.requests.clear();
    w.btnConnexion->click();
    ASSERT_TRUE(w.session().isConnected());
    EXPECT_EQ(queryValue(service.requests.at(0).query(), "pseudo"), QByteArray("bob"));
    EXPECT_EQ(queryValue(service.requests.at(0).query(), "psw"),
        CredentialCodec::MD5Hex(QStringLiteral("pw2")).toLatin1());
}

TEST_F(SessionTest, ContactsSortByLocaleIgnoringCase)
{
    // Accented letters sort with their base letter, as a French user expects,
    // not after 'z' as their code points would.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    TestClient &w = createWindow();
    for (const char *name : { "Zoé", "émile", "eric", "Bob", "alice", "Émilie" })
        w.session().addContact(QString::fromUtf8(name));
    w.session().SortContactList();
    QLocale::setDefault(saved);
    EXPECT_EQ(w.session().contactList(), QStringList({ "alice", "Bob", "émile", "Émilie", "eric", "Zoé" }));
}

TEST_F(SessionTest, LocalAddressComesFromTheEnvironmentOrTheHost)
{
    TestClient &w = createWindow();
    EXPECT_EQ(w.session().GetLocalIP(), environment.localIp);

    const struct
    {
        QList<QHostAddress> addresses;
        const char *last;
    } cases[] = {
        { { QHostAddress("10.0.0.1"), QHostAddress("::1"), QHostAddress("192.168.1.5"),
              QHostAddress("fe80::1") },
            "192.168.1.5" },
        { { QHostAddress("::ffff:10.1.2.3") }, "10.1.2.3" },
        { { QHostAddress("::1") }, "" },
        { {}, "" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(LocalAddress::lastIPv4(c.addresses), QLatin1String(c.last));
}

TEST(LocalAddressTest, PeersAreGivenAnInterfaceAddressNotLoopback)
{
    using If = LocalAddress::Interface;
    const If lo { true, true, { QHostAddress("127.0.0.1"), QHostAddress("::1") } };
    const If eth { true, false, { QHostAddress("192.168.1.5"), QHostAddress("fe80::1") } };
    const If wifi { true, false, { QHostAddress("10.0.0.7") } };
    const If down { false, false, { QHostAddress("172.16.0.9") } };
    const If v6only { true, false, { QHostAddress("2001:db8::5") } };
    // A 127.x address on an ordinary interface is still loopback.
    const If dummy { true, false, { QHostAddress("127.0.1.1") } };
    const struct
    {
        const char *what;
        QList<If> interfaces;
        const char *chosen;
    } cases[] = {
        { "loopback listed first", { lo, eth }, "192.168.1.5" },
        { "loopback listed last", { eth, lo }, "192.168.1.5" },
        { "the last of several", { lo, eth, wifi }, "10.0.0.7" },
        { "an interface that is down is skipped", { lo, eth, down }, "192.168.1.5" },
        { "IPv6 only is skipped", { lo, wifi, v6only }, "10.0.0.7" },
        { "127.0.1.1 on another interface", { lo, dummy, eth }, "192.168.1.5" },
        { "nothing but loopback", { lo, dummy }, "127.0.1.1" },
        { "only an interface that is down", { down }, "" },
        { "no interface", {}, "" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(LocalAddress::chooseAddress(c.interfaces), QLatin1String(c.chosen)) << c.what;
}

TEST(LocalAddressTest, ThisMachineNeverGivesLoopbackWhenItHasAnotherAddress)
{
    bool hasOther = false;
    for (const LocalAddress::Interface &entry : LocalAddress::systemInterfaces()) {
        for (const QHostAddress &address : entry.addresses) {
            if (entry.up && !entry.loopback && address.protocol() == QAbstractSocket::IPv4Protocol
                && !address.isLoopback())
                hasOther = true;
        }
    }
    const QString chosen = LocalAddress::hostAddress();
    if (hasOther)
        EXPECT_FALSE(QHostAddress(chosen).isLoopback()) << chosen.toStdString();
    else
        GTEST_SKIP() << "this machine has no address other than loopback";
}

} // namespace
