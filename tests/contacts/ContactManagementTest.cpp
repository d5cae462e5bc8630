// Asking, answering and deleting contacts against the fake service: what
// goes on the wire, what the member is told, and what the lists and the
// contact view become, including a network failure at every step.
#include "components/ui/TRbRadioButton.h"
#include "components/ui/TRbButton.h"
#include "ContactsFixture.h"

#include "base/Cp1252.h"
#include "components/ui/TClickLabel.h"
#include "contacts/ContactManager.h"
#include "contacts/JpegCodec.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/ContactRows.h"
#include "contacts/ui/TfrmNewContact.h"

#include "support/QtPrinters.h"
#include "service/ServiceSession.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <optional>

namespace {

using Reply = FakeService::Reply;
using Kind = DialogService::Kind;

const QString kOn = ContactRows::onlineHeader() + QStringLiteral("/-1");
const QString kOff = ContactRows::offlineHeader() + QStringLiteral("/-1");
const QString kNone = QStringLiteral("Aucun contact en ligne/-2");
const QString kQxdDown = QStringLiteral(
    "Le réseau est indisponible, veuillez réessayer plus tard.\n\rVérifiez votre connexion à Internet");
const QString kCarolRefused = QStringLiteral(
    "Le service a refusé l'ajout de carol, veuillez réessayer plus tard.\n\rLa demande reste en attente");
const QString kSpellingDown
    = QStringLiteral("Le réseau est indisponible, veuillez réessayer\n\rVérifiez votre connexion à Internet");

QString off(const QString &name)
{
    return name + QStringLiteral("/1");
}

QString add(const QString &a, const QString &category, const QString &b)
{
    return QStringLiteral("/script/qxd.php?pseudo=%1&cmd=1&catego=%2&add=%3").arg(a, category, b);
}

QString del(const QString &a, const QString &category, const QString &b)
{
    return QStringLiteral("/script/qxd.php?pseudo=%1&cmd=2&catego=%2&del=%3").arg(a, category, b);
}

QString spelling(const QString &typed)
{
    return QStringLiteral("/script/getinfo.php?function=getcorrectpseudo&pseudo=") + typed;
}

QString message(const ScriptedDialogs::Message &m)
{
    const char *kind = m.kind == Kind::Error ? "error" : m.kind == Kind::Information ? "info" : "warning";
    return QString::fromLatin1(kind) + u':' + m.text;
}

QString error(const QString &text)
{
    return QStringLiteral("error:") + text;
}

QString info(const QString &text)
{
    return QStringLiteral("info:") + text;
}

class ContactManagement : public ContactsFixture
{
protected:
    // Requests to the contact tables and the spelling look-up, in order
    // (avatar fetches of the request windows left out).
    QStringList contactRequests() const
    {
        QStringList out;
        for (const FakeService::Request &r : service.requests) {
            if (r.path() == "/script/qxd.php" || r.target.contains("getcorrectpseudo"))
                out.append(Cp1252::decode(r.target));
        }
        return out;
    }

    QStringList shown() const
    {
        QStringList out;
        for (const ScriptedDialogs::Message &m : dialogs.messages)
            out.append(message(m));
        return out;
    }

    void scriptQxd(const QList<Reply> &replies)
    {
        for (const Reply &r : replies)
            service.script("/script/qxd.php", r);
    }

    QPointer<TfrmNewContact> requestFrom(const QString &pseudo)
    {
        TfrmNewContact *request = window->lbOnline->NewContactWindow(pseudo);
        request->show();
        return request;
    }

    // Lets a window that closed itself be freed.
    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

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

    void reset()
    {
        window.reset();
        service.clearScripts();
        service.requests.clear();
        dialogs.messages.clear();
        dialogs.questions.clear();
    }
};

// ---------------------------------------------------------------------------
// Asking a member

TEST_F(ContactManagement, AskingAMemberFromTheContactPage)
{
    const struct
    {
        const char *what;
        QString typed;
        std::optional<Reply> spellingReply;
        std::optional<Reply> qxdReply;
        QStringList requests;
        QStringList messages;
        QString editAfter;
        bool selectedAfter;
    } cases[] = {
        { "blank name: nothing at all", QStringLiteral("  \t "), {}, {}, {}, {}, QStringLiteral("  \t "),
            false },
        { "already a contact in other letter case: the typed name, no request", QStringLiteral(" BOB "), {},
            {}, {}, { info(QStringLiteral("Vous avez déjà inscrit BOB !")) }, QStringLiteral(" BOB "),
            false },
        { "request under the service's spelling, named in the confirmation", QStringLiteral("  CAROL "),
            Reply::text(QStringLiteral("carol\r\n")), Reply::text(QStringLiteral("ok")),
            { spelling(QStringLiteral("CAROL")),
                add(QStringLiteral("carol"), QStringLiteral("3"), QStringLiteral("moi")) },
            { info(QStringLiteral(
                "Votre demande à été enregistrée,\rveuillez attendre une reponse de carol.")) },
            QString(), false },
        { "not registered: the name stays, selected", QStringLiteral("zoé"), Reply::text(QString()), {},
            { spelling(QStringLiteral("zoé")) },
            { info(QStringLiteral("Cet utilisateur n'est pas inscrit !")) }, QStringLiteral("zoé"), true },
        { "a reply of blanks names nobody either", QStringLiteral("zed"),
            Reply::text(QStringLiteral(" \r\n")), {}, { spelling(QStringLiteral("zed")) },
            { info(QStringLiteral("Cet utilisateur n'est pas inscrit !")) }, QStringLiteral("zed"), true },
        { "spelling look-up fails: its own network text, the name stays", QStringLiteral("carol"),
            Reply::closeWithoutReply(), {}, { spelling(QStringLiteral("carol")) }, { error(kSpellingDown) },
            QStringLiteral("carol"), false },
        { "spelling look-up answered 500: a failure too", QStringLiteral("carol"),
            Reply::text(QStringLiteral("carol"), 500), {}, { spelling(QStringLiteral("carol")) },
            { error(kSpellingDown) }, QStringLiteral("carol"), false },
        { "the request fails: QXDValue's network text, no confirmation", QStringLiteral("carol"),
            Reply::text(QStringLiteral("carol")), Reply::closeWithoutReply(),
            { spelling(QStringLiteral("carol")),
                add(QStringLiteral("carol"), QStringLiteral("3"), QStringLiteral("moi")) },
            { error(kQxdDown) }, QString(), false },
        { "the request is refused: no message", QStringLiteral("carol"), Reply::text(QStringLiteral("carol")),
            Reply::text(QStringLiteral("refusé")),
            { spelling(QStringLiteral("carol")),
                add(QStringLiteral("carol"), QStringLiteral("3"), QStringLiteral("moi")) },
            {}, QString(), false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestClient &w = createContactsWindow();
        logIn({ QStringLiteral("bob") });
        if (c.spellingReply)
            service.script("/script/getinfo.php", *c.spellingReply);
        if (c.qxdReply)
            service.script("/script/qxd.php", *c.qxdReply);

        w.txtAddPseudo->setText(c.typed);
        w.btnPseudoOK->Click();

        EXPECT_EQ(contactRequests(), c.requests);
        EXPECT_EQ(shown(), c.messages);
        EXPECT_EQ(w.txtAddPseudo->text(), c.editAfter);
        EXPECT_EQ(w.txtAddPseudo->hasSelectedText(), c.selectedAfter);
        if (c.selectedAfter) {
            EXPECT_EQ(w.txtAddPseudo->selectedText(), c.typed);
        }
        // The asked member becomes a contact only once it accepts.
        EXPECT_EQ(w.session().contactList(), QStringList { QStringLiteral("bob") });
        EXPECT_TRUE(w.btnPseudoOK->isEnabled());
        reset();
    }
}

TEST_F(ContactManagement, EnterOnTheShownPageAsksOnceThoughTheButtonIsTheDefault)
{
    TestClient &w = createContactsWindow();
    logIn({});
    w.window->show();
    w.window->lblEnvoyerClick(w.lblMnuContact);
    ASSERT_TRUE(w.btnPseudoOK->isVisible());
    ASSERT_TRUE(w.btnPseudoOK->Default());
    service.script("/script/getinfo.php", Reply::text(QStringLiteral("Carol")));
    service.script("/script/qxd.php", Reply::text(QStringLiteral("ok")));

    // The field takes Enter; the page's default button must not ask again.
    w.txtAddPseudo->setText(QStringLiteral("carol"));
    QSignalSpy buttonClicks(w.btnPseudoOK, &TRbButton::OnClick);
    QTest::keyClick(w.txtAddPseudo, Qt::Key_Return);
    EXPECT_EQ(buttonClicks.count(), 0);
    EXPECT_EQ(contactRequests(),
        (QStringList { spelling(QStringLiteral("carol")),
            add(QStringLiteral("Carol"), QStringLiteral("3"), QStringLiteral("moi")) }));

    // With the focus elsewhere on the page, Enter goes to the default button.
    service.script("/script/getinfo.php", Reply::text(QStringLiteral("Dave")));
    service.script("/script/qxd.php", Reply::text(QStringLiteral("ok")));
    w.txtAddPseudo->setText(QStringLiteral("dave"));
    w.btnPseudoOK->setFocus();
    QTest::keyClick(w.btnPseudoOK, Qt::Key_Return);
    EXPECT_EQ(buttonClicks.count(), 1);
    EXPECT_EQ(contactRequests().size(), 4);
}

TEST_F(ContactManagement, EnterInTheFieldAsksLikeTheButton)
{
    TestClient &w = createContactsWindow();
    logIn({});
    service.script("/script/getinfo.php", Reply::text(QStringLiteral("Carol")));
    service.script("/script/qxd.php", Reply::text(QStringLiteral("ok")));

    QTest::keyClicks(w.txtAddPseudo, QStringLiteral("carol"));
    QTest::keyClick(w.txtAddPseudo, Qt::Key_Return);
    EXPECT_EQ(contactRequests(),
        (QStringList { spelling(QStringLiteral("carol")),
            add(QStringLiteral("Carol"), QStringLiteral("3"), QStringLiteral("moi")) }));
    EXPECT_EQ(w.txtAddPseudo->text(), QString());

    // Another key sends nothing.
    w.txtAddPseudo->setText(QStringLiteral("carol"));
    w.contactPage->txtAddPseudoKeyDown(Qt::Key_A);
    EXPECT_EQ(contactRequests().size(), 2);
}

// ---------------------------------------------------------------------------
// Answering a request

TEST_F(ContactManagement, AcceptingAnOfflineMemberWritesBothEntriesThenRemovesTheRequest)
{
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("bob") });
    scriptQxd({ Reply::text(QStringLiteral("ok")) });

    const QPointer<TfrmNewContact> request = requestFrom(QStringLiteral("carol"));
    request->rbOK->setChecked(true);
    request->btnPseudoOK->Click();

    EXPECT_EQ(contactRequests(),
        (QStringList { add(QStringLiteral("moi"), QStringLiteral("1"), QStringLiteral("carol")),
            add(QStringLiteral("carol"), QStringLiteral("1"), QStringLiteral("moi")),
            del(QStringLiteral("moi"), QStringLiteral("3"), QStringLiteral("carol")) }));
    EXPECT_TRUE(shown().isEmpty());
    EXPECT_EQ(w.session().contactList(), (QStringList { QStringLiteral("bob"), QStringLiteral("carol") }));
    // The check without pop-ups finds carol offline and gives her a row.
    EXPECT_EQ(
        rows(), (QStringList { kOn, kNone, kOff, off(QStringLiteral("carol")), off(QStringLiteral("bob")) }));
    EXPECT_TRUE(w.presence().onlineContacts().isEmpty());
    EXPECT_TRUE(w.presence().offlineContacts().contains(QStringLiteral("carol")));
    EXPECT_EQ(w.lblContactsEnLigne->text(), QStringLiteral("Contacts en ligne (0)"));
    EXPECT_TRUE(popups().isEmpty());
    flushDeletes();
    EXPECT_TRUE(request.isNull());
}

TEST_F(ContactManagement, AcceptingAnOnlineMemberRaisesTheCountWithoutARow)
{
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("bob") });
    scriptOnline({ QStringLiteral("carol"), QStringLiteral("moi") });
    ASSERT_TRUE(w.presence().PollOnline());
    w.lbOnline->CheckFriend(false);
    ASSERT_EQ(w.lblContactsEnLigne->text(), QStringLiteral("Contacts en ligne (0)"));
    const QStringList before = rows();
    scriptQxd({ Reply::text(QStringLiteral("ok")) });

    const QPointer<TfrmNewContact> request = requestFrom(QStringLiteral("carol"));
    request->rbOK->setChecked(true);
    request->btnPseudoOK->Click();

    EXPECT_EQ(w.lblContactsEnLigne->text(), QStringLiteral("Contacts en ligne (1)"));
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(w.presence().onlineContacts().toStringList(), QStringList { QStringLiteral("carol") });
    EXPECT_TRUE(popups().isEmpty());
    EXPECT_EQ(contactRequests().size(), 3);
}

TEST_F(ContactManagement, AcceptingAMemberAlreadyCountedDoesNotCountItTwice)
{
    // Both members asked each other and the other side accepted first.
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("carol") });
    scriptOnline({ QStringLiteral("carol") });
    ASSERT_TRUE(w.presence().PollOnline());
    w.lbOnline->CheckFriend(false);
    ASSERT_EQ(w.lblContactsEnLigne->text(), QStringLiteral("Contacts en ligne (1)"));
    scriptQxd({ Reply::text(QStringLiteral("ok")) });

    const QPointer<TfrmNewContact> request = requestFrom(QStringLiteral("Carol"));
    request->rbOK->setChecked(true);
    request->btnPseudoOK->Click();

    EXPECT_EQ(w.session().contactList(), QStringList { QStringLiteral("carol") });
    EXPECT_EQ(w.lblContactsEnLigne->text(), QStringLiteral("Contacts en ligne (1)"));
}

TEST_F(ContactManagement, RefusingOrChoosingNothingOnlyRemovesTheRequest)
{
    for (const bool choseNo : { true, false }) {
        SCOPED_TRACE(choseNo ? "rbNo" : "neither button");
        TestClient &w = createContactsWindow();
        logIn({ QStringLiteral("bob") });
        const QStringList before = rows();
        scriptQxd({ Reply::text(QStringLiteral("ok")) });

        const QPointer<TfrmNewContact> request = requestFrom(QStringLiteral("carol"));
        EXPECT_FALSE(request->rbOK->Checked());
        EXPECT_FALSE(request->rbNo->Checked());
        request->rbNo->setChecked(choseNo);
        request->btnPseudoOK->Click();

        EXPECT_EQ(contactRequests(),
            QStringList { del(QStringLiteral("moi"), QStringLiteral("3"), QStringLiteral("carol")) });
        EXPECT_EQ(w.session().contactList(), QStringList { QStringLiteral("bob") });
        EXPECT_EQ(rows(), before);
        flushDeletes();
        EXPECT_TRUE(request.isNull());
        reset();
    }
}

TEST_F(ContactManagement, AFailureWhileAcceptingKeepsTheRequestAndItsWindow)
{
    const QString me = QStringLiteral("moi"), carol = QStringLiteral("carol");
    const struct
    {
        const char *what;
        bool accept;
        QList<Reply> replies;
        QStringList requests;
        QStringList messages;
        bool added;
        bool windowStays;
    } cases[] = {
        { "first entry: network down", true, { Reply::closeWithoutReply() },
            { add(me, QStringLiteral("1"), carol) }, { error(kQxdDown) }, false, true },
        { "first entry refused", true, { Reply::text(QStringLiteral("refusé")) },
            { add(me, QStringLiteral("1"), carol) }, { error(kCarolRefused) }, false, true },
        { "second entry refused", true,
            { Reply::text(QStringLiteral("ok")),
                Reply::text(QStringLiteral("refusé : demande introuvable")) },
            { add(me, QStringLiteral("1"), carol), add(carol, QStringLiteral("1"), me) },
            { error(kCarolRefused) }, false, true },
        { "second entry: network down", true,
            { Reply::text(QStringLiteral("ok")), Reply::closeWithoutReply() },
            { add(me, QStringLiteral("1"), carol), add(carol, QStringLiteral("1"), me) }, { error(kQxdDown) },
            false, true },
        { "removal of the accepted request: network down", true,
            { Reply::text(QStringLiteral("ok")), Reply::text(QStringLiteral("ok")),
                Reply::closeWithoutReply() },
            { add(me, QStringLiteral("1"), carol), add(carol, QStringLiteral("1"), me),
                del(me, QStringLiteral("3"), carol) },
            { error(kQxdDown) }, true, false },
        { "removal of the refused request: network down", false, { Reply::closeWithoutReply() },
            { del(me, QStringLiteral("3"), carol) }, { error(kQxdDown) }, false, false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestClient &w = createContactsWindow();
        logIn({ QStringLiteral("bob") });
        scriptQxd(c.replies);

        const QPointer<TfrmNewContact> request = requestFrom(carol);
        request->rbOK->setChecked(c.accept);
        request->rbNo->setChecked(!c.accept);
        request->btnPseudoOK->Click();
        flushDeletes();

        EXPECT_EQ(contactRequests(), c.requests);
        EXPECT_EQ(shown(), c.messages);
        EXPECT_EQ(w.session().contactList().contains(carol), c.added);
        EXPECT_EQ(!request.isNull(), c.windowStays);
        if (request) {
            EXPECT_TRUE(request->isVisible());
            EXPECT_TRUE(request->btnPseudoOK->isEnabled());
        }
        reset();
    }
}

TEST_F(ContactManagement, AnsweringAgainAfterAFailureCompletesTheAcceptance)
{
    TestClient &w = createContactsWindow();
    logIn({});
    scriptQxd({ Reply::closeWithoutReply(), Reply::text(QStringLiteral("ok")) });
    const QPointer<TfrmNewContact> request = requestFrom(QStringLiteral("carol"));
    request->rbOK->setChecked(true);
    request->btnPseudoOK->Click();
    ASSERT_FALSE(request.isNull());

    request->btnPseudoOK->Click();
    flushDeletes();
    EXPECT_TRUE(request.isNull());
    EXPECT_EQ(contactRequests().size(), 4);
    EXPECT_EQ(
        contactRequests().last(), del(QStringLiteral("moi"), QStringLiteral("3"), QStringLiteral("carol")));
    EXPECT_EQ(w.session().contactList(), QStringList { QStringLiteral("carol") });
    EXPECT_EQ(shown(), QStringList { error(kQxdDown) });
}

TEST_F(ContactManagement, TheRequestWindowCannotBeClosedWhileItsAnswerWaits)
{
    // A service that never answers: the request ends at the time limit,
    // and the close box and Escape are used while it waits.
    httpLimits.totalTimeoutMs = 300;
    TestClient &w = createContactsWindow();
    logIn({});
    scriptQxd({ Reply::neverAnswer() });
    const QPointer<TfrmNewContact> request = requestFrom(QStringLiteral("carol"));
    request->rbOK->setChecked(true);
    int attempts = 0;
    QTimer::singleShot(0, request, [&] {
        ++attempts;
        request->close();
        QTest::keyClick(request, Qt::Key_Escape);
    });

    request->btnPseudoOK->Click();
    flushDeletes();
    EXPECT_EQ(attempts, 1);
    ASSERT_FALSE(request.isNull());
    EXPECT_TRUE(request->isVisible());
    EXPECT_EQ(shown(), QStringList { error(kQxdDown) });
    EXPECT_TRUE(w.session().contactList().isEmpty());

    // Once it is done waiting, Escape closes it like the close box.
    QTest::keyClick(request, Qt::Key_Escape);
    flushDeletes();
    EXPECT_TRUE(request.isNull());
}

TEST_F(ContactManagement, TheRequestWindowShowsTheAvatarAndItsCloseBoxSendsNothing)
{
    createContactsWindow();
    logIn({});
    QImage picture(100, 80, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    service.script("/script/getinfo.php", Reply::text(QStringLiteral("7")));
    service.script("/avatars/7.jpg", Reply::bytes(JpegCodec::encode(picture, 90)));

    const QPointer<TfrmNewContact> request = requestFrom(QStringLiteral("carol"));
    ASSERT_EQ(service.requestsTo("/script/getinfo.php").size(), 1);
    EXPECT_EQ(service.requestsTo("/script/getinfo.php").first().target,
        QByteArray("/script/getinfo.php?function=getid&pseudo=carol"));
    EXPECT_EQ(request->imgAvatar->pixmap().size(), QSize(80, 64));

    request->close();
    flushDeletes();
    EXPECT_TRUE(request.isNull());
    EXPECT_TRUE(service.requestsTo("/script/qxd.php").isEmpty());
}

TEST_F(ContactManagement, TheControllerAnnouncesTheContactBeforeAskingForTheCheck)
{
    ServiceSession session(service.baseUrl(), HttpLimits { 2000, 2000 }, QString(), dialogs);
    session.setAccount(QStringLiteral("moi"), QStringLiteral("moi"));
    PresenceMonitor presence(session);
    ContactManager manager(session, presence, dialogs);
    QStringList events;
    QObject receiver;
    // Each announcement notes how many table requests went out before it.
    const auto sent = [this] { return QString::number(service.requestsTo("/script/qxd.php").size()); };
    QObject::connect(&manager, &ContactManager::contactAccepted, &receiver,
        [&](const QString &p) { events.append(QStringLiteral("accepted ") + p + u' ' + sent()); });
    QObject::connect(&manager, &ContactManager::checkFriendRequested, &receiver, [&](bool popups) {
        events.append((popups ? QStringLiteral("check with pop-ups ") : QStringLiteral("check ")) + sent());
    });
    service.script("/script/qxd.php", Reply::text(QStringLiteral("ok")));

    EXPECT_TRUE(manager.AnswerRequest(QStringLiteral("carol"), true));
    EXPECT_EQ(events, (QStringList { QStringLiteral("accepted carol 2"), QStringLiteral("check 2") }));
    EXPECT_EQ(service.requestsTo("/script/qxd.php").size(), 3);

    // A refusal announces nothing.
    events.clear();
    EXPECT_TRUE(manager.AnswerRequest(QStringLiteral("dan"), false));
    EXPECT_TRUE(events.isEmpty());
}

// ---------------------------------------------------------------------------
// Deleting a contact

TEST_F(ContactManagement, DeletingAContactAnsweredNoSendsNothing)
{
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("bob"), QStringLiteral("carl") });
    selectRow(QStringLiteral("bob"));
    const QStringList before = rows();
    dialogs.answers.enqueue(false);

    w.Supprimerceprofil1->trigger();

    EXPECT_EQ(dialogs.questions, QStringList { QStringLiteral("Êtes-vous de vouloir supprimer bob ?") });
    EXPECT_TRUE(service.requests.isEmpty());
    EXPECT_EQ(w.session().contactList(), (QStringList { QStringLiteral("bob"), QStringLiteral("carl") }));
    EXPECT_EQ(rows(), before);
}

TEST_F(ContactManagement, DeletingAContactRemovesBothEntriesThenTheRow)
{
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("bob"), QStringLiteral("carl") });
    scriptOnline({ QStringLiteral("bob") });
    ASSERT_TRUE(w.presence().PollOnline());
    w.lbOnline->CheckFriend(false);
    selectRow(QStringLiteral("bob"));
    scriptQxd({ Reply::text(QStringLiteral("ok")) });

    w.Supprimerceprofil1->trigger();

    EXPECT_EQ(contactRequests(),
        (QStringList { del(QStringLiteral("moi"), QStringLiteral("1"), QStringLiteral("bob")),
            del(QStringLiteral("bob"), QStringLiteral("1"), QStringLiteral("moi")) }));
    EXPECT_EQ(w.session().contactList(), QStringList { QStringLiteral("carl") });
    EXPECT_EQ(rows(), (QStringList { kOn, kOff, off(QStringLiteral("carl")) }));
    // The presence lists keep bob until the next log-in: he still counts.
    EXPECT_EQ(w.presence().onlineContacts().toStringList(), QStringList { QStringLiteral("bob") });
    EXPECT_EQ(w.lblContactsEnLigne->text(), QStringLiteral("Contacts en ligne (1)"));
    EXPECT_TRUE(shown().isEmpty());
}

TEST_F(ContactManagement, AFailureWhileDeletingStopsAndKeepsTheContact)
{
    const QString me = QStringLiteral("moi"), bob = QStringLiteral("bob");
    const struct
    {
        const char *what;
        QList<Reply> replies;
        QStringList requests;
        QStringList messages;
    } cases[] = {
        { "own entry: network down, the other is not tried", { Reply::closeWithoutReply() },
            { del(me, QStringLiteral("1"), bob) }, { error(kQxdDown) } },
        { "own entry refused", { Reply::text(QStringLiteral("non")) }, { del(me, QStringLiteral("1"), bob) },
            {} },
        { "other entry: network down", { Reply::text(QStringLiteral("ok")), Reply::closeWithoutReply() },
            { del(me, QStringLiteral("1"), bob), del(bob, QStringLiteral("1"), me) }, { error(kQxdDown) } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TestClient &w = createContactsWindow();
        logIn({ bob, QStringLiteral("carl") });
        selectRow(bob);
        const QStringList before = rows();
        scriptQxd(c.replies);

        w.lbOnline->Supprimerceprofil1Click();

        EXPECT_EQ(contactRequests(), c.requests);
        EXPECT_EQ(shown(), c.messages);
        EXPECT_EQ(w.session().contactList(), (QStringList { bob, QStringLiteral("carl") }));
        EXPECT_EQ(rows(), before);
        reset();
    }
}

TEST_F(ContactManagement, DeletingWithAHeaderSelectedAsksNothing)
{
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("bob") });
    selectRow(ContactRows::offlineHeader());
    w.lbOnline->Supprimerceprofil1Click();
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_TRUE(service.requests.isEmpty());
}

// ---------------------------------------------------------------------------
// Navigation

TEST_F(ContactManagement, GestionDesContactsShowsTheContactPage)
{
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("bob") });
    w.Gestiondescontacts1->trigger();
    EXPECT_EQ(w.PageControl->currentWidget(), w.contactPage);
    EXPECT_EQ(w.window->highlightedMenuLabel(), w.lblMnuContact);

    w.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window));
    w.contactPage->TabSheet6Show();
    EXPECT_TRUE(w.txtAddPseudo->hasFocus());
}

} // namespace
