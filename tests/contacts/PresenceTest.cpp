#include "ContactsFixture.h"

#include "components/ui/TStatusBar.h"
#include "contacts/JpegCodec.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/ContactRows.h"
#include "contacts/ui/TOnlineList.h"
#include "contacts/ui/TfrmCard.h"
#include "components/ui/TClickLabel.h"

#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"
#include "service/ServiceSession.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

namespace {

using Presence = ContactsFixture;

const QString kOn = ContactRows::onlineHeader() + QStringLiteral("/-1");
const QString kOff = ContactRows::offlineHeader() + QStringLiteral("/-1");
const QString kNone = QStringLiteral("Aucun contact en ligne/-2");

QString on(const QString &name)
{
    return name + QStringLiteral("/0");
}

QString off(const QString &name)
{
    return name + QStringLiteral("/1");
}

TEST_F(Presence, ContactOnlineAtLogInMovesUpWithoutPopup)
{
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("carl"), QStringLiteral("Bob"), QStringLiteral("alice") });
    // The log-in shows the first contact under the header, the others in
    // reverse order under it.
    EXPECT_EQ(rows(),
        (QStringList { kOn, kOff, off(QStringLiteral("alice")), off(QStringLiteral("carl")),
            off(QStringLiteral("Bob")) }));

    scriptOnline({ QStringLiteral("zed"), QStringLiteral("carl"), QStringLiteral("moi") });
    ASSERT_TRUE(w.presence().PollOnline());
    w.lbOnline->CheckFriend(false);
    EXPECT_EQ(rows(),
        (QStringList { kOn, on(QStringLiteral("carl")), kOff, off(QStringLiteral("alice")),
            off(QStringLiteral("Bob")) }));
    EXPECT_TRUE(popups().isEmpty());
    EXPECT_EQ(w.lblContactsEnLigne->text(), QStringLiteral("Contacts en ligne (1)"));
    EXPECT_EQ(w.presence().onlineContacts().toStringList(), QStringList { QStringLiteral("carl") });
    EXPECT_EQ(
        w.presence().offlineContacts().toStringList(), (QStringList { QStringLiteral("alice"), QStringLiteral("Bob") }));
    EXPECT_EQ(w.presence().onlineUsers().toStringList(),
        (QStringList { QStringLiteral("zed"), QStringLiteral("carl"), QStringLiteral("moi") }));
    EXPECT_EQ(w.listOnline->topLevelItemCount(), 3);
    // Status panel 1: the account's own address as the service lists it.
    EXPECT_EQ(w.StatusBar->panel(1).text, QStringLiteral("10.0.0.3"));
}

TEST_F(Presence, TicksAnnounceComersInContactOrderAndBringBackThePlaceholder)
{
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("alice"), QStringLiteral("Bob"), QStringLiteral("carl") });
    QImage picture(80, 60, QImage::Format_RGB32);
    picture.fill(Qt::darkGreen);
    avatarForAll = JpegCodec::encode(picture, 90);

    scriptOnline({});
    w.presence().TimerRefreshTimer();
    EXPECT_EQ(rows(),
        (QStringList { kOn, kNone, kOff, off(QStringLiteral("alice")), off(QStringLiteral("carl")),
            off(QStringLiteral("Bob")) }));
    EXPECT_EQ(w.lblContactsEnLigne->text(), QStringLiteral("Contacts en ligne (0)"));
    EXPECT_TRUE(popups().isEmpty());

    // Two at one tick: inserted at row 1 in contact-list order, so the later
    // one ends on top; each brings a contact pop-up.
    scriptOnline({ QStringLiteral("carl"), QStringLiteral("alice") });
    w.presence().TimerRefreshTimer();
    EXPECT_EQ(rows(),
        (QStringList { kOn, on(QStringLiteral("carl")), on(QStringLiteral("alice")), kOff,
            off(QStringLiteral("Bob")) }));
    ASSERT_EQ(popups().size(), 2);
    EXPECT_EQ(popups().at(0).who, QStringLiteral("alice"));
    EXPECT_EQ(popups().at(1).who, QStringLiteral("carl"));
    for (const auto &p : popups()) {
        EXPECT_EQ(p.text, QStringLiteral("vient de se connecter"));
        EXPECT_EQ(p.kind, 0);
        EXPECT_EQ(p.avatar, QSize(53, 40)); // the avatar fitted to the pop-up's height
    }
    // Each of the two members fetched once.
    EXPECT_EQ(service.requestsTo("/avatars/5.jpg").size(), 2);
    EXPECT_EQ(w.lblContactsEnLigne->text(), QStringLiteral("Contacts en ligne (2)"));
    EXPECT_EQ(recipients(), (QStringList { QStringLiteral("alice"), QStringLiteral("carl") }));

    // alice leaves: back under the offline header, no pop-up.
    clearPopups();
    scriptOnline({ QStringLiteral("carl") });
    w.presence().TimerRefreshTimer();
    EXPECT_EQ(rows(),
        (QStringList { kOn, on(QStringLiteral("carl")), kOff, off(QStringLiteral("alice")),
            off(QStringLiteral("Bob")) }));
    EXPECT_TRUE(popups().isEmpty());
    EXPECT_EQ(recipients(), QStringList { QStringLiteral("carl") });

    // The last one leaves: the placeholder and "(0)" come back.
    scriptOnline({ QStringLiteral("zed") });
    w.presence().TimerRefreshTimer();
    EXPECT_EQ(rows(),
        (QStringList { kOn, kNone, kOff, off(QStringLiteral("carl")), off(QStringLiteral("alice")),
            off(QStringLiteral("Bob")) }));
    EXPECT_EQ(w.lblContactsEnLigne->text(), QStringLiteral("Contacts en ligne (0)"));
    EXPECT_TRUE(recipients().isEmpty());

    // And one coming back removes it again.
    scriptOnline({ QStringLiteral("Bob") });
    w.presence().TimerRefreshTimer();
    EXPECT_EQ(rows(),
        (QStringList { kOn, on(QStringLiteral("Bob")), kOff, off(QStringLiteral("carl")),
            off(QStringLiteral("alice")) }));
}

TEST_F(Presence, CaseOnlyDifferenceCountsAsOnlineWithTheContactListSpelling)
{
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("Bob") });
    scriptOnline({ QStringLiteral("BOB") });
    w.presence().TimerRefreshTimer();
    EXPECT_EQ(rows(), (QStringList { kOn, on(QStringLiteral("Bob")), kOff }));
    ASSERT_EQ(popups().size(), 1);
    EXPECT_EQ(popups().at(0).who, QStringLiteral("Bob"));
}

TEST_F(Presence, GetIPDecodesWithTheCallersSpellingAndTheLastRecordWins)
{
    TestClient &w = createContactsWindow();
    scriptPresence({ { QStringLiteral("Bob"), QStringLiteral("192.168.1.20") },
        { QStringLiteral("alice"), QStringLiteral("10.1.1.1") },
        { QStringLiteral("alice"), QStringLiteral("10.2.2.2") } });
    ASSERT_TRUE(w.presence().PollOnline());
    EXPECT_EQ(w.presence().GetIP(QStringLiteral("Bob")), QStringLiteral("192.168.1.20"));
    // The row is found, but the key comes from "BOB": not the address.
    const QString wrong = w.presence().GetIP(QStringLiteral("BOB"));
    EXPECT_NE(wrong, QStringLiteral("192.168.1.20"));
    EXPECT_EQ(w.presence().GetIP(QStringLiteral("alice")), QStringLiteral("10.2.2.2"));
    EXPECT_EQ(w.presence().GetIP(QStringLiteral("nobody")), QString());
    // Not listed: the own address is empty on the status bar.
    EXPECT_EQ(w.StatusBar->panel(1).text, QString());
}

TEST_F(Presence, FailedPollChangesNothing)
{
    TestClient &w = createContactsWindow(QStringLiteral("alice"));
    logIn({ QStringLiteral("alice"), QStringLiteral("Bob") });
    scriptOnline({ QStringLiteral("Bob"), QStringLiteral("alice") });
    w.presence().TimerRefreshTimer();
    const QStringList before = rows();
    const QString address = w.StatusBar->panel(1).text;
    ASSERT_EQ(address, QStringLiteral("10.0.0.2"));

    service.clearScripts();
    service.script("/voxlane/getconnected.php", FakeService::Reply::text(QStringLiteral("oops"), 500));
    clearPopups();
    EXPECT_FALSE(w.presence().PollOnline());
    w.presence().TimerRefreshTimer();
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(w.presence().onlineUsers().size(), 2);
    EXPECT_EQ(w.listOnline->topLevelItemCount(), 2);
    EXPECT_EQ(w.StatusBar->panel(1).text, address);
    EXPECT_EQ(w.presence().GetIP(QStringLiteral("Bob")), QStringLiteral("10.0.0.1"));
    EXPECT_TRUE(popups().isEmpty());

    // An empty reply is a successful poll of nobody.
    scriptPresence({});
    EXPECT_TRUE(w.presence().PollOnline());
    EXPECT_EQ(w.presence().onlineUsers().size(), 0);
    EXPECT_EQ(w.presence().GetIP(QStringLiteral("Bob")), QString());
}

TEST_F(Presence, ATickDuringAWaitingPollIsSkipped)
{
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("alice") });
    service.script("/voxlane/getconnected.php",
        FakeService::Reply::text(presenceBody({ { QStringLiteral("alice"), QStringLiteral("1.2.3.4") } }))
            .after(200));
    QTimer::singleShot(50, w.window, [&w] { w.presence().TimerRefreshTimer(); });
    w.presence().TimerRefreshTimer();
    EXPECT_EQ(service.requestsTo("/voxlane/getconnected.php").size(), 1);
    EXPECT_EQ(popups().size(), 1);
}

TEST_F(Presence, APollThatOutlivesTheSessionIsDropped)
{
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("alice") });
    service.script("/voxlane/getconnected.php",
        FakeService::Reply::text(presenceBody({ { QStringLiteral("alice"), QStringLiteral("1.2.3.4") } }))
            .after(150));
    // What a log-out does to the presence while the reply is on its way.
    QTimer::singleShot(30, w.window, [&w] {
        w.TimerRefresh->stop();
        w.listOnline->clear();
    });
    EXPECT_FALSE(w.presence().PollOnline());
    EXPECT_EQ(w.listOnline->topLevelItemCount(), 0);
    EXPECT_EQ(w.presence().GetIP(QStringLiteral("alice")), QString());
}

TEST_F(Presence, FindInSubItemsComparesExactlyWithinTheSubColumns)
{
    TestClient &w = createContactsWindow();
    EXPECT_EQ(TContactView::FindInSubItems(QStringLiteral("Bob"), w.lbOnline, 0), nullptr); // no first row
    logIn({ QStringLiteral("Bob"), QStringLiteral("alice") });
    QTreeWidgetItem *bob = TContactView::FindInSubItems(QStringLiteral("Bob"), w.lbOnline, 0);
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(bob->text(1), QStringLiteral("Bob"));
    EXPECT_EQ(TContactView::FindInSubItems(QStringLiteral("bob"), w.lbOnline, 0), nullptr);
    EXPECT_EQ(TContactView::FindInSubItems(QStringLiteral("Bob"), w.lbOnline, -1), nullptr);
    EXPECT_EQ(TContactView::FindInSubItems(QStringLiteral("Bob"), w.lbOnline, 1), nullptr);
}

class ContactMenu : public ContactsFixture
{
protected:
    // Right click on row i as the user does it: the press selects the row,
    // then the context-menu event comes.
    bool rightClick(int i)
    {
        QTreeWidget *view = window->lbOnline;
        const QRect r = view->visualItemRect(view->topLevelItem(i));
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, r.center());
        QContextMenuEvent event(
            QContextMenuEvent::Mouse, r.center(), view->viewport()->mapToGlobal(r.center()));
        QCoreApplication::sendEvent(view->viewport(), &event);
        const bool shown = window->PopupMenuContacts->isVisible();
        window->PopupMenuContacts->hide();
        return shown;
    }
};

TEST_F(ContactMenu, OpensOnContactsOnlyWithTheDefaultItemAfterPresence)
{
    TestClient &w = createContactsWindow();
    w.window->resize(716, 700);
    w.window->show();
    logIn({ QStringLiteral("alice"), QStringLiteral("Bob") });
    scriptOnline({ QStringLiteral("alice") });
    w.presence().TimerRefreshTimer();
    ASSERT_EQ(rows(), (QStringList { kOn, on(QStringLiteral("alice")), kOff, off(QStringLiteral("Bob")) }));

    EXPECT_FALSE(rightClick(0)); // "——— En Ligne ———"
    EXPECT_FALSE(rightClick(2)); // "—— Hors Ligne ——"

    EXPECT_TRUE(rightClick(1));
    EXPECT_TRUE(w.Dialoguer1->isVisible());
    EXPECT_TRUE(w.Envoyerunfichier1->isVisible());
    EXPECT_EQ(w.PopupMenuContacts->defaultAction(), w.Dialoguer1);

    EXPECT_TRUE(rightClick(3));
    EXPECT_FALSE(w.Dialoguer1->isVisible());
    EXPECT_FALSE(w.Envoyerunfichier1->isVisible()); // offline: nobody to send to
    EXPECT_EQ(w.PopupMenuContacts->defaultAction(), w.Envoyerunmessage2);
    for (QAction *always :
        { w.Afficherlacartedevisite1, w.AfficherProfil1, w.Supprimerceprofil1, w.Gestiondescontacts1 })
        EXPECT_TRUE(always->isVisible());

    // "Envoyer un fichier…" on an online contact: the send page, the
    // recipient filled, the file dialog open; so does the link of the card
    // (shown on an online contact's card only).
    ASSERT_TRUE(rightClick(1));
    dialogs.fileDialogs.clear();
    w.Envoyerunfichier1->trigger();
    EXPECT_EQ(w.PageControl->currentIndex(), 3);
    EXPECT_EQ(w.txtDesti->text(), QStringLiteral("alice"));
    ASSERT_EQ(dialogs.fileDialogs.size(), 1);
    EXPECT_EQ(dialogs.fileDialogs.last().value(1), QStringLiteral("Envoyer un fichier"));

    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("bob@exemple.fr\nhttp://bob.fr")));
    w.txtDesti->clear();
    w.PageControl->setCurrentIndex(0);
    w.lbOnline->AffichCarte(QStringLiteral("Bob"));
    EXPECT_TRUE(w.card->lblEnvoyerFichier->isHidden());
    w.card->close();
    w.lbOnline->AffichCarte(QStringLiteral("alice"));
    ASSERT_FALSE(w.card->lblEnvoyerFichier->isHidden());
    QTest::mouseClick(w.card->lblEnvoyerFichier, Qt::LeftButton);
    EXPECT_FALSE(w.card->isVisible());
    EXPECT_EQ(w.PageControl->currentIndex(), 3);
    EXPECT_EQ(w.txtDesti->text(), QStringLiteral("alice"));
    EXPECT_EQ(dialogs.fileDialogs.size(), 2);

    // The placeholder opens nothing either.
    scriptOnline({});
    w.presence().TimerRefreshTimer();
    ASSERT_EQ(rows().at(1), kNone);
    EXPECT_FALSE(rightClick(1));
}

} // namespace

namespace {

TEST_F(Presence, TheRefreshTimerPollsEveryTenSeconds)
{
    TestClient &w = createContactsWindow();
    EXPECT_EQ(w.TimerRefresh->interval(), 10000);
    logIn({ QStringLiteral("alice") });
    scriptOnline({ QStringLiteral("alice") });
    w.TimerRefresh->setInterval(10); // the tick itself, without the wait
    EXPECT_TRUE(QTest::qWaitFor([&] { return !popups().isEmpty(); }, 3000));
    EXPECT_EQ(rows().at(1), on(QStringLiteral("alice")));
}

} // namespace

namespace {

class ExposedDelegate : public ContactRows::RowDelegate
{
public:
    using RowDelegate::RowDelegate;
    QStyleOptionViewItem optionFor(const QModelIndex &index) const
    {
        QStyleOptionViewItem option;
        initStyleOption(&option, index);
        return option;
    }
};

TEST(ContactRowsLook, EachImageIndexHasItsLook)
{
    QTreeWidget view;
    ContactRows::setUpView(&view);
    EXPECT_TRUE(view.isHeaderHidden());
    EXPECT_EQ(view.columnWidth(0), 19);
    // 130 as designed, wider only where the bold headers need it.
    QFont bold = view.font();
    bold.setBold(true);
    const int header = QFontMetrics(bold).horizontalAdvance(ContactRows::onlineHeader());
    EXPECT_EQ(view.columnWidth(1), std::max(130, header + 8));
    ExposedDelegate delegate;
    const QColor text = view.palette().color(QPalette::Text);
    const struct
    {
        int image;
        bool bold;
        QColor colour;
    } cases[] = {
        { ContactRows::kHeader, true, text },
        { ContactRows::kPlaceholder, false, QColor(0x80, 0x80, 0x80) },
        { ContactRows::kOnline, false, text },
        { ContactRows::kOffline, false, QColor(117, 47, 13) },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.image);
        view.addTopLevelItem(ContactRows::makeRow(QStringLiteral("x"), c.image));
        const QModelIndex index = view.model()->index(view.topLevelItemCount() - 1, 1);
        QStyleOptionViewItem option = delegate.optionFor(index);
        EXPECT_EQ(option.font.bold(), c.bold);
        EXPECT_EQ(option.palette.color(QPalette::Text), c.colour);
        // Pictures only for the contacts.
        EXPECT_EQ(view.topLevelItem(view.topLevelItemCount() - 1)->icon(0).isNull(), c.image < 0);
    }
}

} // namespace

namespace {

TEST_F(Presence, ABrokenAvatarHoldsBackNeitherTheOtherPopupsNorTheRecipientList)
{
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("alice"), QStringLiteral("carl") });
    RecordedErrors::take();
    avatarForAll = QByteArray("<html>not a picture</html>");
    scriptOnline({ QStringLiteral("alice"), QStringLiteral("carl") });
    w.presence().TimerRefreshTimer();
    EXPECT_EQ(RecordedErrors::take().size(), 2); // one report per pop-up
    EXPECT_EQ(service.requestsTo("/avatars/5.jpg").size(), 2);
    EXPECT_TRUE(popups().isEmpty()); // no half-made pop-up stays behind
    EXPECT_EQ(recipients(), (QStringList { QStringLiteral("alice"), QStringLiteral("carl") }));
    EXPECT_EQ(w.lblContactsEnLigne->text(), QStringLiteral("Contacts en ligne (2)"));
}

} // namespace

namespace {

TEST_F(Presence, AContactWithoutARowGetsOneWhenItsPresenceChanges)
{
    TestClient &w = createContactsWindow();
    logIn({ QStringLiteral("alice") });
    scriptOnline({ QStringLiteral("alice"), QStringLiteral("rita") });
    w.presence().TimerRefreshTimer();
    // An accepted request: rita joins the lists while online, with no row.
    w.session().addContact(QStringLiteral("rita"));
    w.presence().noteNewContact(QStringLiteral("rita"));
    w.lbOnline->CheckFriend(false);
    EXPECT_EQ(w.lblContactsEnLigne->text(), QStringLiteral("Contacts en ligne (2)"));
    EXPECT_EQ(rows(), (QStringList { kOn, on(QStringLiteral("alice")), kOff }));

    scriptOnline({ QStringLiteral("alice") });
    w.presence().TimerRefreshTimer();
    EXPECT_EQ(rows(), (QStringList { kOn, on(QStringLiteral("alice")), kOff, off(QStringLiteral("rita")) }));
    EXPECT_EQ(w.presence().offlineContacts().toStringList(), QStringList { QStringLiteral("rita") });
}

} // namespace
