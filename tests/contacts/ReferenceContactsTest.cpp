// Contact management against our reference community service, run as its
// own program on loopback with the demo members (alice and bob are
// contacts; carol waits for alice's answer). Each member logs in in turn
// with a window of its own, as three clients would.
#include "components/ui/TRbRadioButton.h"
#include "components/ui/TRbButton.h"
#include "app/ui/TfrmPrincipal.h"
#include "contacts/ui/ContactRows.h"
#include "contacts/ui/TfrmNewContact.h"

#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"
#include "service/ServiceSession.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

const QString kQxdDown = QStringLiteral(
    "Le réseau est indisponible, veuillez réessayer plus tard.\n\rVérifiez votre connexion à Internet");

class ReferenceContacts : public MainWindowFixture
{
protected:
    void SetUp() override { startService(QStringLiteral("127.0.0.1:0")); }

    void TearDown() override
    {
        window.reset();
        stopService();
    }

    // listen: "ADDR:PORT"; the database stays in the test's folder, so a
    // restarted service finds the tables as they were.
    void startService(const QString &listen)
    {
        service.setProgram(QStringLiteral(VOXLANE_DEVSERVER_BINARY));
        service.setArguments({ QStringLiteral("--db"), home.filePath(QStringLiteral("service.sqlite")),
            QStringLiteral("--listen"), listen, QStringLiteral("--seed"), QStringLiteral("demo"),
            QStringLiteral("--quiet") });
        service.start();
        ASSERT_TRUE(service.waitForStarted(5000));
        // First line: "voxlane-devserver: serving http://ADDR:PORT from FILE ..."
        QByteArray line;
        while (!line.contains('\n') && service.waitForReadyRead(5000))
            line += service.readAllStandardOutput();
        const QRegularExpressionMatch m
            = QRegularExpression(QStringLiteral("serving http://([0-9.]+:[0-9]+)"))
                  .match(QString::fromLatin1(line));
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        address = m.captured(1);
        environment.serviceUrl = QStringLiteral("http://") + address;
    }

    void stopService()
    {
        service.terminate();
        service.waitForFinished(5000);
    }

    TestClient &logIn(const QString &pseudo)
    {
        window.reset();
        dialogs.messages.clear();
        TestClient &w = createWindow();
        w.txtPseudo->setText(pseudo);
        w.txtMDP->setText(pseudo); // the demo members' passwords
        w.btnConnexion->click();
        EXPECT_TRUE(w.session().isConnected()) << pseudo.toStdString();
        return w;
    }

    void logOut()
    {
        window->window->lblDeconnectClick();
        EXPECT_FALSE(window->session().isConnected());
        window.reset();
    }

    QList<TfrmNewContact *> requestWindows() const { return window->window->findChildren<TfrmNewContact *>(); }

    QStringList requesters() const
    {
        QStringList out;
        for (TfrmNewContact *r : requestWindows())
            out.append(r->lblUsername->text());
        return out;
    }

    QStringList contactsOf(const QString &pseudo)
    {
        logIn(pseudo);
        const QStringList contacts = window->session().contactList();
        logOut();
        return contacts;
    }

    void selectRow(const QString &text)
    {
        for (int i = 0; i < window->lbOnline->topLevelItemCount(); ++i) {
            QTreeWidgetItem *row = window->lbOnline->topLevelItem(i);
            if (ContactRows::textOf(row) == text) {
                window->lbOnline->setCurrentItem(row);
                return;
            }
        }
        FAIL() << "no row " << text.toStdString();
    }

    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    QProcess service;
    QString address;
};

TEST_F(ReferenceContacts, AliceAcceptsCarolAndBothSeeEachOtherAtTheirNextLogIn)
{
    TestClient &w = logIn(QStringLiteral("alice"));
    ASSERT_EQ(requesters(), QStringList { QStringLiteral("carol") });
    const QPointer<TfrmNewContact> request = requestWindows().first();
    // Carol's avatar, fitted to the window's 64 pixels.
    EXPECT_EQ(request->imgAvatar->pixmap().height(), 64);

    request->rbOK->setChecked(true);
    request->btnPseudoOK->Click();
    flushDeletes();
    EXPECT_TRUE(request.isNull());
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(w.session().contactList(), (QStringList { QStringLiteral("bob"), QStringLiteral("carol") }));
    logOut();

    TestClient &again = logIn(QStringLiteral("alice"));
    EXPECT_TRUE(requesters().isEmpty());
    EXPECT_EQ(again.session().contactList(), (QStringList { QStringLiteral("bob"), QStringLiteral("carol") }));
    logOut();
    EXPECT_EQ(contactsOf(QStringLiteral("carol")), QStringList { QStringLiteral("alice") });
}

TEST_F(ReferenceContacts, CarolAsksBobUnderTheRegisteredSpellingAndBobRefusesWithNeitherButton)
{
    TestClient &carol = logIn(QStringLiteral("carol"));
    // Names the service does not know, and names already in the list,
    // send no request.
    carol.txtAddPseudo->setText(QStringLiteral("zoé"));
    carol.btnPseudoOK->Click();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages.at(0).text, QStringLiteral("Cet utilisateur n'est pas inscrit !"));

    carol.txtAddPseudo->setText(QStringLiteral("BOB"));
    carol.btnPseudoOK->Click();
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(dialogs.messages.at(1).text,
        QStringLiteral("Votre demande à été enregistrée,\rveuillez attendre une reponse de bob."));
    EXPECT_TRUE(carol.txtAddPseudo->text().isEmpty());
    EXPECT_TRUE(carol.session().contactList().isEmpty());
    logOut();

    logIn(QStringLiteral("bob"));
    ASSERT_EQ(requesters(), QStringList { QStringLiteral("carol") });
    const QPointer<TfrmNewContact> request = requestWindows().first();
    request->btnPseudoOK->Click();
    flushDeletes();
    EXPECT_TRUE(request.isNull());
    logOut();

    logIn(QStringLiteral("bob"));
    EXPECT_TRUE(requesters().isEmpty());
    EXPECT_EQ(window->session().contactList(), QStringList { QStringLiteral("alice") });
    logOut();
    EXPECT_TRUE(contactsOf(QStringLiteral("carol")).isEmpty());
}

TEST_F(ReferenceContacts, AliceDeletesBobAfterAYes)
{
    TestClient &w = logIn(QStringLiteral("alice"));
    w.txtAddPseudo->setText(QStringLiteral("Bob"));
    w.btnPseudoOK->Click();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages.at(0).text, QStringLiteral("Vous avez déjà inscrit Bob !"));

    selectRow(QStringLiteral("bob"));
    dialogs.answers.enqueue(false);
    w.Supprimerceprofil1->trigger();
    EXPECT_EQ(w.session().contactList(), QStringList { QStringLiteral("bob") });

    dialogs.answers.enqueue(true);
    w.Supprimerceprofil1->trigger();
    EXPECT_EQ(dialogs.questions,
        (QStringList { QStringLiteral("Êtes-vous de vouloir supprimer bob ?"),
            QStringLiteral("Êtes-vous de vouloir supprimer bob ?") }));
    EXPECT_TRUE(w.session().contactList().isEmpty());
    for (int i = 0; i < w.lbOnline->topLevelItemCount(); ++i)
        EXPECT_NE(ContactRows::textOf(w.lbOnline->topLevelItem(i)), QStringLiteral("bob"));
    logOut();

    EXPECT_TRUE(contactsOf(QStringLiteral("alice")).isEmpty());
    EXPECT_TRUE(contactsOf(QStringLiteral("bob")).isEmpty());
}

TEST_F(ReferenceContacts, AnAcceptanceCutByTheNetworkIsKeptAndCompletedOnceTheServiceIsBack)
{
    logIn(QStringLiteral("alice"));
    ASSERT_EQ(requesters(), QStringList { QStringLiteral("carol") });
    const QPointer<TfrmNewContact> request = requestWindows().first();
    request->rbOK->setChecked(true);

    stopService();
    request->btnPseudoOK->Click();
    flushDeletes();
    ASSERT_FALSE(request.isNull());
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages.at(0).text, kQxdDown);
    EXPECT_EQ(window->session().contactList(), QStringList { QStringLiteral("bob") });

    // The same address again, the same tables: the request is still there.
    startService(address);
    request->btnPseudoOK->Click();
    flushDeletes();
    EXPECT_TRUE(request.isNull());
    EXPECT_EQ(window->session().contactList(), (QStringList { QStringLiteral("bob"), QStringLiteral("carol") }));
    logOut();
    EXPECT_EQ(contactsOf(QStringLiteral("carol")), QStringList { QStringLiteral("alice") });
}

} // namespace
