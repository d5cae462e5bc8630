// The send page and the confirmation window of one client.
#include "components/ui/TRbButton.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmMsgBox.h"
#include "components/ui/TClickLabel.h"
#include "app/ui/TfrmPrincipal.h"
#include "components/FileTypeIcons.h"
#include "contacts/PresenceMonitor.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/ui/TfrmReception.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TTransferPage.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include "ControlPeer.h"

#include "support/EventWait.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

class SendPage : public MainWindowFixture
{
protected:
    QString makeFile(const QString &name, int size)
    {
        const QString path = home.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'a'));
        return path;
    }
    QStringList sent(const TestClient &w) const
    {
        QStringList out;
        for (const QString &line : w.reWatch->toPlainText().split(u'\n'))
            if (line.startsWith(QStringLiteral("W:")))
                out << line;
        return out;
    }
};

TEST_F(SendPage, EnvoyerChecksTheRecipientThenTheFile)
{
    TestClient &w = createWindow();
    const QString file = makeFile(QStringLiteral("a.txt"), 3);
    const struct
    {
        const char *recipient;
        bool fileExists;
        const char *info;
    } cases[] = {
        { "", true, "Vous devez sélectionner un destinataire !" },
        { "   ", true, "Vous devez sélectionner un destinataire !" },
        { "bob", false, "Vous devez sélectionner un fichier qui existe !" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.recipient);
        w.txtDesti->setText(QString::fromUtf8(c.recipient));
        w.FileNameSend->setText(c.fileExists ? file : home.filePath(QStringLiteral("absent")));
        w.btnShowTel->Click();
        EXPECT_EQ(w.lblInfo->text(), QString::fromUtf8(c.info));
        EXPECT_TRUE(w.txtDesti->isEnabled());
    }
    // Enter in the recipient field is the same as the button.
    w.lblInfo->clear();
    w.txtDesti->setText(QString());
    QTest::keyClick(w.txtDesti, Qt::Key_Return);
    EXPECT_EQ(w.lblInfo->text(), QStringLiteral("Vous devez sélectionner un destinataire !"));
    EXPECT_TRUE(sent(w).isEmpty());
}

TEST_F(SendPage, ARecipientWithoutAddressGivesThePageBackAndIsShownAsTyped)
{
    TestClient &w = createWindow();
    w.txtDesti->setText(QStringLiteral("<b>nobody</b>"));
    w.FileNameSend->setText(makeFile(QStringLiteral("a.txt"), 3));
    w.sendPage->btnShowTelClick();
    EXPECT_EQ(w.lblInfo->text(), QStringLiteral("Impossible de se connecter à <b>nobody</b>"));
    EXPECT_EQ(w.lblInfo->textFormat(), Qt::PlainText);
    EXPECT_TRUE(w.txtDesti->isEnabled());
    EXPECT_TRUE(w.btnCancelTrans->isHidden());
    EXPECT_TRUE(sent(w).isEmpty());
}

TEST_F(SendPage, ChoosingAFileShowsItsNameAndSizeAndAMissingOneChangesNothing)
{
    TestClient &w = createWindow();
    const QString file = makeFile(QStringLiteral("notes.txt"), 2048);
    dialogs.fileNames.enqueue(file);
    w.sendPage->FileNameSendButtonClick();
    ASSERT_EQ(dialogs.fileDialogs.size(), 1);
    EXPECT_EQ(
        dialogs.fileDialogs.at(0), QStringList({ "open", "Envoyer un fichier", "Tous les fichiers  (*.*)|*.*" }));
    EXPECT_EQ(w.FileNameSend->text(), file);
    EXPECT_EQ(w.lblFileDecompose->text(), QStringLiteral("notes.txt"));
    EXPECT_EQ(w.lblDecompFileSize->text(), QStringLiteral("Taille : 2 Ko"));
    ASSERT_FALSE(w.imgIcoDecompose->pixmap().isNull());

    w.FileNameSend->setText(home.filePath(QStringLiteral("gone.txt")));
    EXPECT_EQ(w.lblFileDecompose->text(), QStringLiteral("notes.txt"));
    EXPECT_EQ(w.lblDecompFileSize->text(), QStringLiteral("Taille : 2 Ko"));

    // A cancelled choice leaves the field alone.
    w.sendPage->FileNameSendButtonClick();
    EXPECT_EQ(w.FileNameSend->text(), home.filePath(QStringLiteral("gone.txt")));
}

TEST_F(SendPage, DoubleClickingARecipientFillsTheFieldOnlyWithASelection)
{
    TestClient &w = createWindow();
    w.session().addContact(QStringLiteral("bob"));
    w.session().addContact(QStringLiteral("carol"));
    w.presence().startContacts(w.session().contactList());
    w.pollAnswers({ QStringLiteral("bob"), QStringLiteral("carol") });
    ASSERT_EQ(w.presence().onlineContacts().size(), 2);
    w.sendPage->RefillSendToFriends();
    w.txtDesti->setText(QStringLiteral("typed"));
    w.sendPage->lBoxSendToFriendsDblClick();
    EXPECT_EQ(w.txtDesti->text(), QStringLiteral("typed"));
    w.lBoxSendToFriends->setCurrentItem(w.lBoxSendToFriends->topLevelItem(1));
    w.sendPage->lBoxSendToFriendsDblClick();
    EXPECT_EQ(w.txtDesti->text(), QStringLiteral("carol"));
}

TEST_F(SendPage, SendAFileFromAPopUpFillsTheRecipientAndOpensTheChoice)
{
    TestClient &w = createWindow();
    const QString file = makeFile(QStringLiteral("b.txt"), 1);
    dialogs.fileNames.enqueue(file);
    w.window->SendFileToContact(QStringLiteral("bob"));
    EXPECT_EQ(w.PageControl->currentIndex(), 3);
    EXPECT_EQ(w.txtDesti->text(), QStringLiteral("bob"));
    EXPECT_EQ(w.FileNameSend->text(), file);
}

// A real file dialog runs its own event loop, in which the pop-up whose
// link opened it may expire and go: the dialog opens only once the link's
// click is over, so the pop-up is never freed under its own handler.
TEST_F(SendPage, APopUpThatExpiresWhileItsFileDialogIsOpenLeavesNothingBehind)
{
    TestClient &w = createWindow();
    const QString file = makeFile(QStringLiteral("b.txt"), 1);
    QPointer<TfrmMsgBox> box = w.window->NewMsgBox(QStringLiteral("bob"), QStringLiteral("vient de se connecter"), 0);
    ASSERT_TRUE(box);
    dialogs.fileNames.enqueue(file);
    dialogs.onOpenDialog = [&] {
        QEventLoop dialogLoop;
        QTimer::singleShot(0, &dialogLoop, [&] {
            if (box)
                box->btnCloseClick(); // its time is up
        });
        QTimer::singleShot(50, &dialogLoop, &QEventLoop::quit);
        dialogLoop.exec();
    };
    QTest::mouseClick(box->lblSendFile, Qt::LeftButton);
    EXPECT_TRUE(dialogs.fileDialogs.isEmpty());
    ASSERT_TRUE(waitUntil([&] { return w.FileNameSend->text() == file; }, 5000));
    EXPECT_TRUE(box.isNull());
    EXPECT_EQ(w.txtDesti->text(), QStringLiteral("bob"));
    EXPECT_EQ(w.PageControl->currentIndex(), 3);
}

TEST_F(SendPage, ClearingTheTransfersRemovesEveryPanelAndBothLists)
{
    TestClient &w = createWindow();
    for (const char *id : {"1", "2"}) {
        ASSERT_TRUE(w.transfers().NewDownload(makeRecord(QString::fromLatin1(id), QStringLiteral("bob"),
            QStringLiteral("a.txt"), QStringLiteral("1"), 1, QStringLiteral("/tmp/a"), 2010, QStringLiteral("0"))));
    }
    ASSERT_TRUE(w.transfers().NewUpload(makeRecord(QStringLiteral("3"), QStringLiteral("bob"), QString(),
        QStringLiteral("1"), 1, QStringLiteral("/tmp/a"), 2010, QStringLiteral("0"))));
    EXPECT_EQ(w.window->findChildren<TvzkLoadPanel *>().size(), 3);
    w.transfers().ClearTransfers();
    EXPECT_TRUE(w.window->findChildren<TvzkLoadPanel *>().isEmpty());
    EXPECT_TRUE(w.transfers().downloads().isEmpty());
    EXPECT_TRUE(w.downloadNames().isEmpty());
    EXPECT_TRUE(w.uploadNames().isEmpty());
}

class Reception : public MainWindowFixture
{
protected:
    // The window's client with the confirmation window wired to it, and a
    // peer connected to its control port.
    TestClient &start()
    {
        TestClient &w = createWindow();
        receptionWindow = w.reception;
        receptionWindow->Flash = nullptr;
        EXPECT_TRUE(peer.connectTo(environment.localIp, QStringLiteral("127.250.0.1")));
        return w;
    }

    void offer(const QByteArray &ask)
    {
        peer.send(ask);
        ASSERT_TRUE(waitUntil([&] { return receptionWindow->isVisible(); }, ControlPeer::kWaitMs));
    }

    static QStringList answers(const TestClient &w)
    {
        QStringList out;
        for (const QString &line : w.reWatch->toPlainText().split(u'\n'))
            if (line.startsWith(QStringLiteral("W:")))
                out << line;
        return out;
    }

    TfrmReception *receptionWindow = nullptr;
    ControlPeer peer;
};

TEST_F(Reception, ShowsTheOfferAndClosingUnansweredRefusesOnce)
{
    TestClient &w = start();
    offer(askBytes("<i>alice</i>", "clip.EXE", "1024", "10.0.0.9"));
    TfrmReception &r = *receptionWindow;
    EXPECT_TRUE(r.isMinimized());
    EXPECT_EQ(r.windowTitle(), QStringLiteral("VX - Réception"));
    EXPECT_EQ(r.lblFichier->text(), QStringLiteral("clip.EXE"));
    EXPECT_EQ(r.lblTaille->text(), QStringLiteral("1 Ko"));
    EXPECT_EQ(r.lblDe->text(), QStringLiteral("<i>alice</i>"));
    EXPECT_EQ(r.lblDe->textFormat(), Qt::PlainText);
    // The desktop's icon for the type when it has one; otherwise the plain
    // file picture, never the program one (".EXE" is not ".exe").
    const QImage registered = w.controllers().fileTypes().forExtension(QStringLiteral(".EXE"));
    EXPECT_EQ(r.imgIco->pixmap().toImage(),
        (registered.isNull() ? TTransferPage::StockPicture(0) : QPixmap::fromImage(registered)).toImage());

    r.close();
    r.close();
    EXPECT_EQ(answers(w), QStringList({ "W:{non}" }));
    EXPECT_EQ(peer.expect("{non}\x05"), QByteArray("{non}\x05"));
}

TEST_F(Reception, AcceptingAsksWhereToSaveUnderTheOfferedName)
{
    TestClient &w = start();
    offer(askBytes("alice", "clip.avi", "10", "10.0.0.9"));
    dialogs.fileNames.enqueue(home.filePath(QStringLiteral("ici.avi")));
    receptionWindow->btnAccepterClick();
    ASSERT_EQ(dialogs.fileDialogs.size(), 1);
    EXPECT_EQ(dialogs.fileDialogs.at(0).at(0), QStringLiteral("save"));
    EXPECT_EQ(dialogs.fileDialogs.at(0).at(2), QStringLiteral("clip.avi"));
    ASSERT_EQ(w.control().openOffers().size(), 1);
    EXPECT_TRUE(w.control().openOffers().at(0).accepted);
    EXPECT_FALSE(w.control().openOffers().at(0).replaceConfirmed);
    EXPECT_EQ(w.control().openOffers().at(0).savePath, home.filePath(QStringLiteral("ici.avi")));
    EXPECT_FALSE(receptionWindow->isVisible());
    EXPECT_EQ(answers(w), QStringList({ "W:{oui}" }));
    EXPECT_EQ(peer.expect("{oui}\x05"), QByteArray("{oui}\x05"));
}

// The save dialog runs its own event loop: the offer may end meanwhile, and
// a second offer may reach the window. Nothing is answered for the wrong
// offer, and the window keeps the new one.
TEST_F(Reception, AnOfferWithdrawnDuringTheSaveDialogIsNotAnswered)
{
    TestClient &w = start();
    offer(askBytes("alice", "a.avi", "10", "10.0.0.9"));
    ControlPeer carol;
    ASSERT_TRUE(carol.connectTo(environment.localIp, QStringLiteral("127.250.0.2")));
    carol.send(askBytes("carol", "c.txt", "5", "10.0.0.3"));
    ASSERT_TRUE(waitUntil([&] { return w.control().openOffers().size() == 2; }, ControlPeer::kWaitMs));
    dialogs.onSaveDialog = [&] {
        // While the user picks a place, alice withdraws and carol's offer
        // takes the window.
        peer.send("{trc}\x05");
        waitUntil([&] { return receptionWindow->OfferOnShow() == w.control().openOffers().value(0).id
                        && receptionWindow->lblFichier->text() == QStringLiteral("c.txt"); },
            ControlPeer::kWaitMs);
    };
    dialogs.fileNames.enqueue(home.filePath(QStringLiteral("a.avi")));
    receptionWindow->btnAccepterClick();
    EXPECT_EQ(peer.expect("{non}\x05"), QByteArray("{non}\x05"));
    EXPECT_FALSE(answers(w).contains(QStringLiteral("W:{oui}")));
    // Carol's offer is on show, still unanswered.
    ASSERT_EQ(w.control().openOffers().size(), 1);
    EXPECT_EQ(w.control().openOffers().at(0).pseudo, QStringLiteral("carol"));
    EXPECT_TRUE(receptionWindow->isVisible());
    EXPECT_TRUE(carol.receive().isEmpty());
    receptionWindow->btnRefuserClick();
    EXPECT_EQ(carol.expect("{non}\x05"), QByteArray("{non}\x05"));
}

TEST_F(Reception, FlashesEveryHalfSecondUntilClickedButNotStoppedByTheButtons)
{
    TfrmReception r;
    QList<bool> flashes;
    r.Flash = [&](bool on) { flashes << on; };
    EXPECT_TRUE(r.FlashTimer->isActive());
    EXPECT_EQ(r.FlashTimer->interval(), 512);
    r.FlashTimerTimer();
    r.FlashTimerTimer();
    EXPECT_EQ(flashes, QList<bool>({ true, false }));
    r.btnRefuserClick();
    EXPECT_TRUE(r.FlashTimer->isActive());
    r.show();
    QTest::mouseClick(r.lblFichier, Qt::LeftButton);
    EXPECT_FALSE(r.FlashTimer->isActive());
}

} // namespace
