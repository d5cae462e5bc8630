#include "ContactsFixture.h"

#include "components/ui/TClickLabel.h"
#include "components/ui/TStatusBar.h"
#include "contacts/JpegCodec.h"
#include "contacts/ui/TfrmCard.h"

#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"
#include "service/ServiceSession.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>

namespace {

class LogInPresence : public ContactsFixture
{
protected:
    TestClient &logInThroughThePage(const QByteArray &avatar)
    {
        TestClient &w = createContactsWindow();
        w.txtPseudo->setText(QStringLiteral("moi"));
        w.txtMDP->setText(QStringLiteral("pw"));
        service.script("/voxlane/connect.php",
            FakeService::Reply::text(QStringLiteral("autorisé\r\n[Contacts]\r\ncarl\r\nBob\r\nalice\r\n"
                                                    "[Bloqués]\r\n[Ask]\r\n[Messages]\r\n")));
        service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("42")));
        service.script("/avatars/42.jpg", FakeService::Reply::bytes(avatar));
        service.script("/voxlane/getconnected.php",
            FakeService::Reply::text(presenceBody({ { QStringLiteral("bob"), QStringLiteral("10.0.0.7") },
                { QStringLiteral("moi"), QStringLiteral("10.0.0.9") } })));
        w.btnConnexion->click();
        return w;
    }
};

TEST_F(LogInPresence, LogInPollsShowsOnlineContactsWithoutPopupsAndTheOwnAvatar)
{
    QImage picture(124, 124, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    TestClient &w = logInThroughThePage(JpegCodec::encode(picture, 90));
    ASSERT_TRUE(w.session().isConnected());
    EXPECT_EQ(rows(),
        (QStringList { ContactRows::onlineHeader() + QStringLiteral("/-1"), QStringLiteral("Bob/0"),
            ContactRows::offlineHeader() + QStringLiteral("/-1"), QStringLiteral("alice/1"),
            QStringLiteral("carl/1") }));
    EXPECT_TRUE(popups().isEmpty());
    EXPECT_EQ(w.lblContactsEnLigne->text(), QStringLiteral("Contacts en ligne (1)"));
    EXPECT_EQ(w.StatusBar->panel(1).text, QStringLiteral("10.0.0.9"));
    EXPECT_EQ(w.imgAvatar->pixmap().size(), QSize(62, 62));
    EXPECT_TRUE(w.window->avatarMenuAttached());

    // The own avatar's menu, and "Afficher ma carte de visite" from it.
    w.window->show();
    const auto avatarMenuOpens = [&w] {
        QContextMenuEvent event(
            QContextMenuEvent::Mouse, QPoint(5, 5), w.imgAvatar->mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(w.imgAvatar, &event);
        const bool shown = w.PopupMenuAvatar->isVisible();
        w.PopupMenuAvatar->hide();
        return shown;
    };
    EXPECT_TRUE(avatarMenuOpens());
    service.clearScripts();
    service.script(
        "/script/getinfo.php", FakeService::Reply::text(QStringLiteral("moi@exemple.fr\nhttp://moi.fr")));
    w.Affichermacartedevisite1->trigger();
    EXPECT_EQ(w.card->lblPseudo->text(), QStringLiteral("moi"));
    EXPECT_EQ(w.card->lblMail->text(), QStringLiteral("moi@exemple.fr"));
    w.card->close();

    // Log-out: the menu goes, the address directory empties.
    service.clearScripts();
    service.script("/voxlane/deconnect.php", FakeService::Reply::text(QStringLiteral("Déconnecté")));
    w.window->lblDeconnectClick();
    ASSERT_FALSE(w.session().isConnected());
    EXPECT_FALSE(w.window->avatarMenuAttached());
    EXPECT_FALSE(avatarMenuOpens());
    EXPECT_EQ(w.presence().GetIP(QStringLiteral("bob")), QString());
    EXPECT_EQ(w.listOnline->topLevelItemCount(), 0);
}

TEST_F(LogInPresence, ABrokenAvatarIsReportedButTheLogInGoesOn)
{
    RecordedErrors::take();
    TestClient &w = logInThroughThePage(QByteArray("<html>500</html>"));
    EXPECT_EQ(RecordedErrors::take().size(), 1);
    ASSERT_TRUE(w.session().isConnected());
    EXPECT_EQ(w.PageControl->currentIndex(), 1);
    EXPECT_EQ(rows().at(1), QStringLiteral("Bob/0"));
    EXPECT_TRUE(w.pnInfo->isHidden());
}

} // namespace
