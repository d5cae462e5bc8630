// The pop-ups' notifier on its own, and a pop-up that outlives the window.
#include "app/PopupNotifier.h"
#include "app/ui/TfrmMsgBox.h"
#include "app/ui/TfrmPrincipal.h"
#include "components/ui/TClickLabel.h"

#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"

#include <QApplication>
#include <QPointer>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

TEST(PopupNotifier, CountsPopUpsNeverBelowZeroAndAlertsOnlyWhenEnabled)
{
    PopupNotifier notifier;
    QSignalSpy alerts(&notifier, &PopupNotifier::alertWanted);

    notifier.popupShown();
    notifier.popupShown();
    notifier.popupReleased();
    EXPECT_EQ(notifier.MsgBoxCount, 1);
    notifier.popupReleased();
    notifier.popupReleased(); // a release too many changes nothing
    EXPECT_EQ(notifier.MsgBoxCount, 0);

    notifier.Alert();
    EXPECT_EQ(alerts.size(), 0);
    notifier.SoundEnabled = true;
    notifier.Alert();
    EXPECT_EQ(alerts.size(), 1);
}

TEST(PopupNotifier, ClicksBecomeRequestsToWhoeverListens)
{
    PopupNotifier notifier;
    QStringList heard;
    QObject::connect(&notifier, &PopupNotifier::downloadsWanted, &notifier, [&] { heard << "downloads"; });
    QObject::connect(&notifier, &PopupNotifier::uploadsWanted, &notifier, [&] { heard << "uploads"; });
    QObject::connect(&notifier, &PopupNotifier::receptionWanted, &notifier, [&] { heard << "reception"; });
    QObject::connect(&notifier, &PopupNotifier::sendFileWanted, &notifier,
        [&](const QString &pseudo) { heard << QStringLiteral("send ") + pseudo; });

    // A pop-up of each kind clicked, and a contact pop-up's "send a file".
    for (quint8 kind : { 1, 2, 3 }) {
        auto *box = new TfrmMsgBox(&notifier);
        box->Kind = kind;
        box->lblTexteCentralClick();
        delete box;
    }
    auto *contact = new TfrmMsgBox(&notifier);
    contact->ContactPseudo = QStringLiteral("Zoé");
    contact->lblSendFileClick();
    delete contact;

    EXPECT_EQ(heard, (QStringList { "reception", "downloads", "uploads", "send Zoé" }));
}

using PopUpOutlivesWindow = MainWindowFixture;

TEST_F(PopUpOutlivesWindow, APopUpReleasedAfterItsWindowIsGoneTouchesNothing)
{
    // The window made its own notifier: it goes with the window, and the
    // pop-up, a window of the desktop, stays until its slide ends.
    TestClient &w = createWindow();
    w.window->NewMsgBox(QStringLiteral("bob"), QStringLiteral("Téléchargement terminé"), 2);
    ASSERT_EQ(w.notifier().MsgBoxCount, 1);
    QPointer<TfrmMsgBox> box;
    for (QWidget *top : QApplication::topLevelWidgets())
        if (auto *b = qobject_cast<TfrmMsgBox *>(top))
            box = b;
    ASSERT_FALSE(box.isNull());

    window.reset();
    box->lblTexteCentralClick(); // would restore a window that is gone
    box->btnCloseClick();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(box.isNull());
}

} // namespace
