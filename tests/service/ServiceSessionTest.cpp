// The session controller on its own, against the fake service: no window.
#include "service/ServiceSession.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmPrincipal.h"

#include "support/FakeService.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QString kAccepted = QStringLiteral("autorisé\r\n[Contacts]\r\ncarl\r\nBob\r\nalice\r\n[Bloqués]\r\n"
                                         "[Ask]\r\nzed\r\nyann\r\n[Messages]\r\n");

// What the session told, in order, as one line per signal.
class Told : public QObject
{
public:
    explicit Told(ServiceSession &session)
    {
        connect(&session, &ServiceSession::info, this, [this](const QString &text, bool show, int ms) {
            lines << QStringLiteral("info %1 %2 %3").arg(text).arg(int(show)).arg(ms);
        });
        connect(&session, &ServiceSession::statusText, this, [this](int panel, const QString &text) {
            lines << QStringLiteral("status %1 %2").arg(panel).arg(text);
        });
        connect(&session, &ServiceSession::loggedIn, this, [this](const QStringList &requests) {
            lines << QStringLiteral("loggedIn ") + requests.join(u',');
        });
        connect(
            &session, &ServiceSession::loginAnswered, this, [this] { lines << QStringLiteral("answered"); });
        connect(&session, &ServiceSession::loggedOut, this, [this] { lines << QStringLiteral("loggedOut"); });
    }
    QStringList lines;
};

class SessionAgainstFake : public testing::Test
{
protected:
    FakeService service;
    ScriptedDialogs dialogs;
    ServiceSession session { service.baseUrl(), HttpLimits { 500, 500 }, QStringLiteral("10.1.2.3"),
        dialogs };
    Told told { session };

    void scriptLogin(const FakeService::Reply &reply, const QString &id = QStringLiteral("42"))
    {
        service.script("/voxlane/connect.php", reply);
        service.script("/script/getinfo.php", FakeService::Reply::text(id));
    }
};

TEST_F(SessionAgainstFake, AcceptedLogInFillsTheSessionAndTellsInOrder)
{
    scriptLogin(FakeService::Reply::text(kAccepted));
    session.setAccount(QStringLiteral("Zoé"), QStringLiteral("secret"));
    const QString digest = CredentialCodec::MD5Hex(QStringLiteral("secret"));

    EXPECT_TRUE(session.OpenSession(session.currentPseudo(), digest));

    EXPECT_TRUE(session.isConnected());
    EXPECT_EQ(session.userId(), 42);
    EXPECT_EQ(session.contactList(), QStringList({ "alice", "Bob", "carl" }));
    EXPECT_EQ(told.lines,
        QStringList({ "info Connecté 1 0", "status 2 Connecté", "loggedIn zed,yann", "answered" }));

    ASSERT_EQ(service.requests.size(), 2);
    const QByteArray line = service.requests.at(0).requestLine;
    EXPECT_TRUE(line.startsWith("GET /voxlane/connect.php?pseudo=Zo\xE9&psw=" + digest.toLatin1() + "&ip="))
        << line.toStdString();
    const QByteArray ip = line.mid(line.indexOf("&ip=") + 4).split(' ').first();
    QString decoded;
    ASSERT_TRUE(session.codec().DecryptForUser(QStringLiteral("Zoé"), QString::fromLatin1(ip), decoded));
    EXPECT_EQ(decoded, QStringLiteral("10.1.2.3"));
    EXPECT_EQ(service.requests.at(1).requestLine,
        QByteArray("GET /script/getinfo.php?function=getid&pseudo=Zo\xE9 HTTP/1.1"));
}

TEST_F(SessionAgainstFake, FailedLogInsTellTheirTextAndWhetherPollingStarts)
{
    const struct
    {
        const char *name;
        FakeService::Reply reply;
        QStringList told;
    } cases[] = {
        { "refused", FakeService::Reply::text(QStringLiteral("refusé")),
            { QStringLiteral("info Accès refusé !\n\rVérifiez votre nom d'utilisateur et mot de passe.\n\r"
                             "Vous devez être inscrit pour vous connecter. 1 2500"),
                "answered" } },
        { "service error", FakeService::Reply::text(QStringLiteral("error")),
            { QStringLiteral(
                  "info Erreur de connexion.\n\rLe service est momentanément inaccessible. 1 2500"),
                "answered" } },
        // No answer at all: nothing to poll against yet.
        { "unreachable", FakeService::Reply::text(QStringLiteral("gone"), 500),
            { QStringLiteral("info \n\rLe réseau est indisponible, veuillez réessayer plus tard.\n\r\n\r"
                             "Vérifiez votre connexion à Internet 1 3000") } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        service.clearScripts();
        told.lines.clear();
        // An earlier session of member 7, logged out since.
        scriptLogin(FakeService::Reply::text(kAccepted), QStringLiteral("7"));
        ASSERT_TRUE(session.OpenSession(QStringLiteral("bob"), CredentialCodec::MD5Hex(QStringLiteral("x"))));
        service.script("/voxlane/deconnect.php", FakeService::Reply::text(QStringLiteral("Déconnecté")));
        ASSERT_TRUE(session.CloseSession());
        ASSERT_EQ(session.userId(), 7);
        service.clearScripts();
        told.lines.clear();
        scriptLogin(c.reply);
        EXPECT_FALSE(
            session.OpenSession(QStringLiteral("bob"), CredentialCodec::MD5Hex(QStringLiteral("x"))));
        EXPECT_FALSE(session.isConnected());
        EXPECT_EQ(session.userId(), 7);
        EXPECT_EQ(told.lines, c.told);
    }
}

TEST_F(SessionAgainstFake, LogOutTellsOnlyWhatTheServiceConfirmed)
{
    const struct
    {
        const char *name;
        FakeService::Reply reply;
        bool closed;
        QStringList told;
    } cases[] = {
        { "confirmed", FakeService::Reply::text(QStringLiteral("Déconnecté")), true,
            { "info Fermeture de session... 1 0", "status 1 ", "status 2 Déconnecté", "info  0 0",
                "loggedOut" } },
        { "other answer", FakeService::Reply::text(QStringLiteral("non")), false,
            { "info Fermeture de session... 1 0",
                QStringLiteral("info Le réseau est indisponible, veuillez réessayer plus tard.\n\rVérifiez "
                               "votre connexion à Internet 1 3000") } },
        // A request that fails says nothing more: the caller keeps the session.
        { "no answer", FakeService::Reply::text(QStringLiteral("Déconnecté"), 503), false,
            { "info Fermeture de session... 1 0" } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        service.clearScripts();
        service.requests.clear();
        told.lines.clear();
        scriptLogin(FakeService::Reply::text(kAccepted));
        session.setAccount(QStringLiteral("bob"), QStringLiteral("pw"));
        ASSERT_TRUE(session.OpenSession(QStringLiteral("bob"), CredentialCodec::MD5Hex(QStringLiteral("pw"))));
        service.clearScripts();
        service.requests.clear();
        told.lines.clear();
        service.script("/voxlane/deconnect.php", c.reply);
        EXPECT_EQ(session.CloseSession(), c.closed);
        EXPECT_EQ(session.isConnected(), !c.closed);
        EXPECT_EQ(told.lines, c.told);
        ASSERT_EQ(service.requests.size(), 1);
        EXPECT_EQ(service.requests.at(0).requestLine,
            "GET /voxlane/deconnect.php?pseudo=bob&psw="
                + CredentialCodec::MD5Hex(QStringLiteral("pw")).toLatin1() + " HTTP/1.1");
        if (session.isConnected()) {
            // Closed for the next case.
            service.clearScripts();
            service.script("/voxlane/deconnect.php", FakeService::Reply::text(QStringLiteral("Déconnecté")));
            ASSERT_TRUE(session.CloseSession());
        }
    }
}

TEST_F(SessionAgainstFake, SessionDestroyedWhileItsRequestWaitsEndsTheCallQuietly)
{
    // The owner of a session may go while a log-in waits (the program
    // ending): the reply then lands nowhere.
    auto *doomed = new ServiceSession(
        service.baseUrl(), HttpLimits { 2000, 2000 }, QStringLiteral("10.1.2.3"), dialogs);
    Told doomedTold { *doomed };
    scriptLogin(FakeService::Reply::text(kAccepted).after(20));
    QObject::connect(&service, &FakeService::requestReceived, &service, [doomed](const QByteArray &path) {
        if (path == "/voxlane/connect.php")
            delete doomed;
    });
    QPointer<ServiceSession> watch(doomed);
    EXPECT_FALSE(doomed->OpenSession(QStringLiteral("bob"), QStringLiteral("d")));
    EXPECT_TRUE(watch.isNull());
    EXPECT_TRUE(doomedTold.lines.isEmpty());
    EXPECT_EQ(service.requests.size(), 1); // no member id asked for a session that is gone
}

// A window made on the program's controllers, as the wiring makes it: the
// controllers outlive it.
class SessionOutlivesWindow : public MainWindowFixture
{
protected:
    SessionOutlivesWindow()
    {
        environment.serviceUrl = service.baseUrl();
        httpLimits = HttpLimits { 2000, 2000 };
        controllers = std::make_unique<AppControllers>(services());
    }
    ~SessionOutlivesWindow() override { controllers.reset(); }

    TfrmPrincipal *newWindow() { return new TfrmPrincipal(*controllers); }
    ServiceSession &session() const { return controllers->session(); }

    FakeService service;
    std::unique_ptr<AppControllers> controllers;
};

TEST_F(SessionOutlivesWindow, ALogInAnsweredAfterTheWindowIsGoneOnlyChangesTheSession)
{
    service.script("/voxlane/connect.php", FakeService::Reply::text(kAccepted).after(20));
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("42")));
    TfrmPrincipal *w = newWindow();
    w->findChild<QLineEdit *>(QStringLiteral("txtPseudo"))->setText(QStringLiteral("bob"));
    w->findChild<QLineEdit *>(QStringLiteral("txtMDP"))->setText(QStringLiteral("pw"));
    const QPointer<TfrmPrincipal> watch(w);
    // The window is destroyed once the log-in is on its way, before the
    // service answers.
    QObject::connect(&service, &FakeService::requestReceived, &session(), [w](const QByteArray &path) {
        if (path == "/voxlane/connect.php")
            delete w;
    });

    w->findChild<QPushButton *>(QStringLiteral("btnConnexion"))->click();

    EXPECT_TRUE(watch.isNull());
    EXPECT_TRUE(session().isConnected());
    EXPECT_EQ(session().userId(), 42);
    EXPECT_EQ(session().contactList(), QStringList({ "alice", "Bob", "carl" }));
    // Nothing after the log-in: no avatar and no presence poll for a window
    // that is gone.
    QList<QByteArray> paths;
    for (const FakeService::Request &r : service.requests)
        paths << r.path();
    EXPECT_EQ(paths, QList<QByteArray>({ "/voxlane/connect.php", "/script/getinfo.php" }));
}

// The window shows the session it was given: a log-in made through its
// page fills that session, and the page's fields read it.
TEST_F(SessionOutlivesWindow, TheWindowWorksOnTheSessionItWasGiven)
{
    service.script("/voxlane/connect.php", FakeService::Reply::text(kAccepted));
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("5")));
    std::unique_ptr<TfrmPrincipal> w(newWindow());
    w->findChild<QLineEdit *>(QStringLiteral("txtPseudo"))->setText(QStringLiteral("ann"));
    w->findChild<QLineEdit *>(QStringLiteral("txtMDP"))->setText(QStringLiteral("pw"));
    w->findChild<QPushButton *>(QStringLiteral("btnConnexion"))->click();
    EXPECT_TRUE(session().isConnected());
    EXPECT_EQ(session().currentPseudo(), QStringLiteral("ann"));
    EXPECT_EQ(session().userId(), 5);
    EXPECT_EQ(w->findChild<QLabel *>(QStringLiteral("lblPseudo"))->text(), QStringLiteral("ann"));
}

} // namespace
