// Every transfer, not just the first: whole clients sending files back and
// forth, one after another, before and after a restart; a sender of the
// community's existing clients, which proposes 2010 every time; and a
// client that keeps answering its real peers under a flood.
#include "app/ui/TfrmMsgBox.h"
#include "components/ui/TRbButton.h"
#include "app/ui/TfrmPrincipal.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/DownloadFolder.h"
#include "negotiation/ui/TfrmReception.h"
#include "service/ServiceSession.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TTransferPage.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include "ControlPeer.h"
#include "MemberProgram.h"
#include "transfer/DescribedPeers.h"

#include "support/EventWait.h"
#include "support/FakeService.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"
#include "support/Timing.h"

#include <QApplication>
#include <QStackedWidget>
#include <QFileInfo>
#include <QUrl>
#include <QTreeWidget>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

constexpr int kWaitMs = 20000 * kTimeScale;

QByteArray randomBytes(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char(QRandomGenerator::global()->bounded(256));
    return data;
}

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class EveryTransfer : public testing::Test
{
protected:
    EveryTransfer()
    {
        RecordedErrors::install();
        RecordedErrors::take();
        const char *names[] = { "alice", "bob", "carol" };
        for (int i = 0; i < 3; ++i) {
            members[i].pseudo = QString::fromLatin1(names[i]);
            members[i].ip = MainWindowFixture::uniqueLoopbackAddress(i);
        }
        service.script("/voxlane/connect.php",
            FakeService::Reply::text(QStringLiteral(
                "autorisé\r\n[Contacts]\r\nalice\r\nbob\r\ncarol\r\n[Bloqués]\r\n[Ask]\r\n[Messages]\r\n")));
        service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("42")));
        service.script("/voxlane/deconnect.php", FakeService::Reply::text(QStringLiteral("Déconnecté")));
        service.script("/voxlane/getconnected.php",
            FakeService::Reply::text(presenceReply({ &members[0], &members[1], &members[2] })));
    }

    ~EveryTransfer() override
    {
        for (MemberProgram &m : members)
            stop(m);
        closePopups();
    }

    MemberProgram &alice = members[0];
    MemberProgram &bob = members[1];
    MemberProgram &carol = members[2];

    void startAndLogIn(MemberProgram &m)
    {
        m.start(service.baseUrl());
        m.w->pnMdpLogin->show();
        m.w->txtPseudo->setText(m.pseudo);
        m.w->txtMDP->setText(QStringLiteral("secret"));
        m.w->loginPage->btnConnexionClick();
        ASSERT_TRUE(m.w->session().isConnected());
        ASSERT_TRUE(m.w->presence().PollOnline());
    }

    // Quitting the program as its user does: lists saved, session closed.
    static void stop(MemberProgram &m)
    {
        if (!m.w)
            return;
        if (m.w->session().isConnected()) {
            EXPECT_TRUE(m.w->window->FormCloseQuery());
        }
        m.end();
    }

    // from offers a new file of `size` bytes to `to` through the send page;
    // to accepts it; both panels end "Terminé" and the copy is whole.
    void send(MemberProgram &from, MemberProgram &to, int size)
    {
        const QString name = QStringLiteral("f%1-%2-to-%3.bin").arg(++sent).arg(from.pseudo, to.pseudo);
        transfer(from, to, name, randomBytes(size), to.home.filePath(QStringLiteral("recu-") + name), true);
    }

    // from offers `data` as file `name`; to accepts it, answering the save
    // dialog with target when answerDialog (otherwise no dialog may open);
    // both panels end "Terminé" and the copy at target is whole.
    void transfer(MemberProgram &from, MemberProgram &to, const QString &name, const QByteArray &data,
        const QString &target, bool answerDialog)
    {
        const QString source = from.home.filePath(name);
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
        f.close();
        const qsizetype dialogs = to.dialogs.fileDialogs.size();
        const qsizetype uploads = from.w->uploadNames().size();
        const qsizetype downloads = to.w->downloadNames().size();

        from.w->FileNameSend->setText(source);
        from.w->txtDesti->setText(to.pseudo);
        from.w->sendPage->btnShowTelClick();
        ASSERT_TRUE(waitUntil(
            [&] { return to.w->reception->isVisible() && to.w->reception->lblFichier->text() == name; }, kWaitMs))
            << from.log().toStdString() << "\n---\n"
            << to.log().toStdString();
        if (answerDialog)
            to.dialogs.fileNames.enqueue(target);
        to.w->reception->btnAccepterClick();
        ASSERT_EQ(to.dialogs.fileDialogs.size(), dialogs + (answerDialog ? 1 : 0));

        ASSERT_TRUE(waitUntil(
            [&] {
                return from.w->uploadNames().size() == uploads + 1
                    && to.w->downloadNames().size() == downloads + 1;
            },
            kWaitMs))
            << from.log().toStdString() << "\n---\n"
            << to.log().toStdString();
        TvzkLoadPanel *up = from.w->panel(from.w->uploadNames().last());
        TvzkLoadPanel *down = to.w->panel(to.w->downloadNames().last());
        ASSERT_TRUE(up && down);
        ASSERT_TRUE(waitUntil(
            [&] {
                return up->CaptionLabelInfo() == QStringLiteral("Terminé")
                    && down->CaptionLabelInfo() == QStringLiteral("Terminé") && QFile::exists(target);
            },
            kWaitMs))
            << name.toStdString() << "\n"
            << from.log().toStdString() << "\n---\n"
            << to.log().toStdString();
        EXPECT_EQ(contents(target), data) << name.toStdString();
        EXPECT_EQ(down->FichierProprio(), from.pseudo);
        EXPECT_EQ(up->FichierProprio(), to.pseudo);
        EXPECT_TRUE(from.w->txtDesti->isEnabled());
        EXPECT_TRUE(from.w->btnCancelTrans->isHidden());
    }

    // Three files from alice to bob, one back, one from carol to alice.
    void roundOfTransfers()
    {
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            ASSERT_NO_FATAL_FAILURE(send(alice, bob, 3000 + 1000 * i));
        }
        ASSERT_NO_FATAL_FAILURE(send(bob, alice, 2500));
        ASSERT_NO_FATAL_FAILURE(send(carol, alice, 1200));
    }

    FakeService service;
    MemberProgram members[3];
    int sent = 0;
};

TEST_F(EveryTransfer, FilesGoBothWaysAgainAndAgainBeforeAndAfterARestart)
{
    for (MemberProgram &m : members)
        ASSERT_NO_FATAL_FAILURE(startAndLogIn(m));
    ASSERT_NO_FATAL_FAILURE(roundOfTransfers());

    // Everybody quits and comes back: the finished transfers come back
    // with the saved lists, and hold no port a new one needs.
    for (MemberProgram &m : members)
        stop(m);
    closePopups();
    for (MemberProgram &m : members)
        ASSERT_NO_FATAL_FAILURE(startAndLogIn(m));
    EXPECT_EQ(bob.w->downloadNames().size(), 3);
    EXPECT_EQ(alice.w->downloadNames().size(), 2);
    ASSERT_NO_FATAL_FAILURE(roundOfTransfers());
    EXPECT_EQ(bob.w->downloadNames().size(), 6);
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
}

// The save dialog asks before it names an existing file: choosing one means
// replacing it, and the received file does.
TEST_F(EveryTransfer, AnExistingFileChosenInTheSaveDialogIsReplaced)
{
    ASSERT_NO_FATAL_FAILURE(startAndLogIn(alice));
    ASSERT_NO_FATAL_FAILURE(startAndLogIn(bob));
    const QString source = alice.home.filePath(QStringLiteral("nouveau.bin"));
    const QByteArray data = randomBytes(4000);
    QFile f(source);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
    f.close();
    const QString target = bob.home.filePath(QStringLiteral("ancien.bin"));
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("ce qui etait la avant");
    old.close();

    alice.w->FileNameSend->setText(source);
    alice.w->txtDesti->setText(QStringLiteral("bob"));
    alice.w->sendPage->btnShowTelClick();
    ASSERT_TRUE(waitUntil([&] { return bob.w->reception->isVisible(); }, kWaitMs));
    bob.dialogs.fileNames.enqueue(target);
    bob.w->reception->btnAccepterClick();
    ASSERT_TRUE(waitUntil(
        [&] {
            const TvzkLoadPanel *down = bob.first(TransferManager::List::Downloads);
            return down && down->CaptionLabelInfo() == QStringLiteral("Terminé");
        },
        kWaitMs))
        << bob.log().toStdString();
    EXPECT_EQ(contents(target), data);
}

// A sender of the community's existing clients proposes 2010 for every
// file and sends in the described way; two files in a row both arrive.
TEST_F(EveryTransfer, ASenderThatAlwaysProposesTheSamePortSendsTwoFilesInARow)
{
    ASSERT_NO_FATAL_FAILURE(startAndLogIn(bob));
    // The old client leaves from an address of its own.
    const QString oldClient = QStringLiteral("127.250.7.7");
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("ancien%1.bin").arg(i));
        const QByteArray data = randomBytes(3000 + i * 700);
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
        f.close();
        const QString target = bob.home.filePath(QStringLiteral("copie%1.bin").arg(i));

        ControlPeer control;
        ASSERT_TRUE(control.connectTo(bob.ip, oldClient));
        control.send(askBytes("dave", QFileInfo(source).fileName().toLatin1(), QByteArray::number(data.size()),
            oldClient.toLatin1()));
        ASSERT_TRUE(waitUntil([&] { return bob.w->reception->isVisible(); }, kWaitMs));
        bob.dialogs.fileNames.enqueue(target);
        bob.w->reception->btnAccepterClick();
        ASSERT_EQ(control.expect("{oui}\x05"), QByteArray("{oui}\x05"));
        control.send("{can}2010\x05");
        ASSERT_EQ(control.expect("{pok}\x05"), QByteArray("{pok}\x05")) << bob.log().toStdString();
        control.socket.disconnectFromHost();

        DescribedSender sender(source);
        sender.start(2010, bob.ip, oldClient);
        ASSERT_TRUE(waitUntil([&] { return sender.complete() && QFile::exists(target); }, kWaitMs))
            << bob.log().toStdString();
        EXPECT_EQ(contents(target), data);
    }
    EXPECT_EQ(bob.w->downloadNames().size(), 2);
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
}

// Offer routing between whole clients: bob's offer to alice is refused and
// his connection stays open; alice's next offer goes to carol, and bob
// hears nothing of it.
TEST_F(EveryTransfer, AnOfferReachesTheMemberItIsFor)
{
    for (MemberProgram &m : members)
        ASSERT_NO_FATAL_FAILURE(startAndLogIn(m));
    // Bob's offer, made by hand so that his connection stays open.
    ControlPeer bobControl;
    ASSERT_TRUE(bobControl.connectTo(alice.ip, bob.ip));
    bobControl.send(askBytes("bob", "b.txt", "10", bob.ip.toLatin1()));
    ASSERT_TRUE(waitUntil([&] { return alice.w->reception->isVisible(); }, kWaitMs));
    alice.w->reception->btnRefuserClick();
    ASSERT_EQ(bobControl.expect("{non}\x05"), QByteArray("{non}\x05"));

    ASSERT_NO_FATAL_FAILURE(send(alice, carol, 1000));
    EXPECT_TRUE(bobControl.receive().isEmpty());
    EXPECT_EQ(bobControl.socket.state(), QAbstractSocket::ConnectedState);
}

// A stranger cannot take over an accepted offer: its own "{ask}" and
// "{can}" come on its own connection, whose offer nobody accepted.
TEST_F(EveryTransfer, AStrangerCannotTakeOverAnAcceptedOffer)
{
    ASSERT_NO_FATAL_FAILURE(startAndLogIn(bob));
    const QString aliceAddress = QStringLiteral("127.250.8.1");
    const QString target = bob.home.filePath(QStringLiteral("report.pdf"));
    ControlPeer real;
    ASSERT_TRUE(real.connectTo(bob.ip, aliceAddress));
    real.send(askBytes("alice", "report.pdf", "20000000", aliceAddress.toLatin1()));
    ASSERT_TRUE(waitUntil([&] { return bob.w->reception->isVisible(); }, kWaitMs));
    bob.dialogs.fileNames.enqueue(target);
    bob.w->reception->btnAccepterClick();
    ASSERT_EQ(real.expect("{oui}\x05"), QByteArray("{oui}\x05"));

    ControlPeer stranger;
    ASSERT_TRUE(stranger.connectTo(bob.ip, QStringLiteral("127.250.8.66")));
    stranger.send(askBytes("alice", "report.pdf", "17", "127.250.8.66") + "{can}2015\x05{trc}\x05");
    EXPECT_TRUE(stranger.expect("{non}\x05").startsWith("{non}")); // its own offer, withdrawn
    EXPECT_TRUE(bob.w->downloadNames().isEmpty());
    EXPECT_FALSE(bob.log().contains(QStringLiteral("Demande de port :2015")));
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_TRUE(RecordedErrors::take().isEmpty());

    // The real sender's port request is still answered.
    real.send("{can}2010\x05");
    EXPECT_EQ(real.expect("{pok}\x05"), QByteArray("{pok}\x05"));
    ASSERT_EQ(bob.w->downloadNames().size(), 1);
    const TvzkLoadPanel *down = bob.w->panel(bob.w->downloadNames().first());
    EXPECT_EQ(down->PeerAddress(), aliceAddress);
    EXPECT_EQ(down->FichierPath(), target);
}

// A flood on bob's control port from one member: 1000 connections, a
// message of 10 MB that never ends, 500 offers. Memory stays bounded, the
// log too, and alice's offer is still shown and answered.
TEST_F(EveryTransfer, AFloodLeavesTheClientAnsweringItsRealPeers)
{
    ASSERT_NO_FATAL_FAILURE(startAndLogIn(bob));
    const auto residentKiB = [] {
        QFile statm(QStringLiteral("/proc/self/statm"));
        if (!statm.open(QIODevice::ReadOnly))
            return qint64(0);
        return statm.readAll().split(' ').value(1).toLongLong() * 4;
    };
    const qint64 before = residentKiB();

    const QString mallory = QStringLiteral("127.252.0.1");
    ControlPeer endless;
    ASSERT_TRUE(endless.connectTo(bob.ip, mallory));
    ControlPeer asker;
    ASSERT_TRUE(asker.connectTo(bob.ip, mallory));
    // A thousand connections, in waves as fast as the client takes them.
    std::vector<std::unique_ptr<ControlPeer>> idle;
    int refused = 0;
    for (int wave = 0; wave < 10; ++wave) {
        for (int i = 0; i < 100; ++i) {
            auto peer = std::make_unique<ControlPeer>();
            peer->socket.bind(QHostAddress(mallory));
            peer->socket.connectToHost(QHostAddress(bob.ip), ControlChannel::kControlPort);
            idle.push_back(std::move(peer));
        }
        ASSERT_TRUE(waitUntil(
            [&] {
                refused = 0;
                for (const auto &peer : idle)
                    refused += peer->socket.state() == QAbstractSocket::UnconnectedState ? 1 : 0;
                return refused >= int(idle.size()) - bob.w->control().limits().connectionsPerHost;
            },
            kWaitMs))
            << refused << " of " << idle.size();
    }
    QByteArray offers;
    for (int i = 0; i < 500; ++i)
        offers += askBytes("mallory", "m" + QByteArray::number(i) + ".bin", "100", "10.6.6.6");
    asker.send(offers);
    const QByteArray chunk(1024 * 1024, 'z');
    for (int i = 0; i < 10; ++i) {
        endless.send(chunk);
        waitUntil([] { return false; }, 20);
    }
    ASSERT_GE(asker.receive(499 * 6, kWaitMs).count("{non}\x05"), 499);

    // Alice's real offer, behind mallory's in the window.
    ASSERT_NO_FATAL_FAILURE(startAndLogIn(alice));
    const QString source = alice.home.filePath(QStringLiteral("vraie.bin"));
    QFile f(source);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(randomBytes(2000));
    f.close();
    alice.w->FileNameSend->setText(source);
    alice.w->txtDesti->setText(QStringLiteral("bob"));
    alice.w->sendPage->btnShowTelClick();
    ASSERT_TRUE(waitUntil([&] { return bob.w->control().openOffers().size() == 2; }, kWaitMs)) << bob.log().toStdString();
    ASSERT_TRUE(waitUntil([&] { return bob.w->reception->isVisible(); }, kWaitMs));
    EXPECT_EQ(bob.w->reception->lblDe->text(), QStringLiteral("mallory"));
    bob.w->reception->btnRefuserClick();
    ASSERT_TRUE(waitUntil(
        [&] { return bob.w->reception->isVisible() && bob.w->reception->lblDe->text() == QStringLiteral("alice"); },
        kWaitMs));
    const QString target = bob.home.filePath(QStringLiteral("vraie.bin"));
    bob.dialogs.fileNames.enqueue(target);
    bob.w->reception->btnAccepterClick();
    ASSERT_TRUE(waitUntil([&] { return contents(target) == contents(source); }, kWaitMs)) << bob.log().toStdString();

    // What the flood left: a bounded number of connections, offers, pop-ups
    // and log lines, and memory close to where it was.
    EXPECT_LE(bob.w->control().Connections().size(), bob.w->control().limits().connections);
    EXPECT_LE(bob.w->reWatch->document()->blockCount(), TfrmPrincipal::kLogLines);
    for (QTextBlock b = bob.w->reWatch->document()->begin(); b.isValid(); b = b.next())
        ASSERT_LE(b.text().size(), TfrmPrincipal::kLogLineLength + 1);
    int popups = 0;
    for (QWidget *top : QApplication::topLevelWidgets())
        popups += qobject_cast<TfrmMsgBox *>(top) && top->isVisible() ? 1 : 0;
    EXPECT_LE(popups, 6);
    EXPECT_LT(residentKiB() - before, 64 * 1024 * kMemoryScale);
}

// The save dialog opens in the download folder, then in the last folder
// used; with "save without asking", accepted files go to the download folder
// without a dialog, under names that never replace one another.
TEST_F(EveryTransfer, AcceptedFilesGoToTheDownloadFolder)
{
    ASSERT_NO_FATAL_FAILURE(startAndLogIn(alice));
    ASSERT_NO_FATAL_FAILURE(startAndLogIn(bob));
    const QString downloads = bob.home.filePath(QStringLiteral("Téléchargements"));
    const QString elsewhere = bob.home.filePath(QStringLiteral("ailleurs"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    bob.settings->write(QStringLiteral("DownloadPath"), downloads);

    const QByteArray first = randomBytes(3000), second = randomBytes(2000);
    ASSERT_NO_FATAL_FAILURE(
        transfer(alice, bob, QStringLiteral("photo.jpg"), first, elsewhere + QStringLiteral("/photo.jpg"), true));
    EXPECT_EQ(bob.dialogs.dialogFolders.last(), downloads);
    EXPECT_TRUE(QFileInfo(downloads).isDir()); // made for the dialog
    EXPECT_EQ(bob.dialogs.fileDialogs.last().value(2), QStringLiteral("photo.jpg"));
    ASSERT_NO_FATAL_FAILURE(
        transfer(alice, bob, QStringLiteral("notes.txt"), second, elsewhere + QStringLiteral("/notes.txt"), true));
    EXPECT_EQ(bob.dialogs.dialogFolders.last(), elsewhere);

    DownloadFolder(bob.settings.get()).setSaveWithoutAsking(true);
    const QByteArray third = randomBytes(4000), fourth = randomBytes(1000);
    ASSERT_NO_FATAL_FAILURE(
        transfer(alice, bob, QStringLiteral("photo.jpg"), third, downloads + QStringLiteral("/photo.jpg"), false));
    ASSERT_NO_FATAL_FAILURE(transfer(
        alice, bob, QStringLiteral("photo.jpg"), fourth, downloads + QStringLiteral("/photo (2).jpg"), false));
    EXPECT_EQ(contents(elsewhere + QStringLiteral("/photo.jpg")), first);
}

// Files dropped on a contact of the list (a folder among them) are offered
// to that contact one after the other, each with its own confirmation: a
// refused one does not stop the next. Files chosen together in the send
// page's dialog go the same way. Every accepted copy is whole.
TEST_F(EveryTransfer, SeveralFilesAreOfferedInTurnFromADropOrTheDialog)
{
    ASSERT_NO_FATAL_FAILURE(startAndLogIn(alice));
    ASSERT_NO_FATAL_FAILURE(startAndLogIn(bob));
    alice.w->presence().TimerRefreshTimer(); // bob shows online in alice's list
    const QString downloads = bob.home.filePath(QStringLiteral("recus"));
    bob.settings->write(QStringLiteral("DownloadPath"), downloads);
    DownloadFolder(bob.settings.get()).setSaveWithoutAsking(true);

    const auto make = [&](const QString &relative, qsizetype size) {
        const QString path = alice.home.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray data = randomBytes(size);
        f.write(data);
        return data;
    };
    const QByteArray a = make(QStringLiteral("lot/a.txt"), 3000);
    make(QStringLiteral("lot/sous/b.bin"), 2000);
    const QByteArray c = make(QStringLiteral("c.jpg"), 5000);

    // Dropped on bob's row of alice's contact list, as the desktop drops.
    QTreeWidget *list = alice.w->lbOnline;
    QTreeWidgetItem *bobRow = nullptr;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(1) == QStringLiteral("bob"))
            bobRow = list->topLevelItem(i);
    ASSERT_NE(bobRow, nullptr);
    const QPoint at = list->visualItemRect(bobRow).center();
    QMimeData mime;
    mime.setUrls({ QUrl::fromLocalFile(alice.home.filePath(QStringLiteral("lot"))),
        QUrl::fromLocalFile(alice.home.filePath(QStringLiteral("c.jpg"))) });
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &move);
    EXPECT_TRUE(move.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());

    const auto answer = [&](const QString &name, bool accept) {
        ASSERT_TRUE(waitUntil(
            [&] { return bob.w->reception->isVisible() && bob.w->reception->lblFichier->text() == name; }, kWaitMs))
            << name.toStdString() << "\n" << alice.log().toStdString() << "\n---\n" << bob.log().toStdString();
        if (accept)
            bob.w->reception->btnAccepterClick();
        else
            bob.w->reception->btnRefuserClick();
    };
    ASSERT_NO_FATAL_FAILURE(answer(QStringLiteral("a.txt"), true));
    ASSERT_NO_FATAL_FAILURE(answer(QStringLiteral("b.bin"), false));
    ASSERT_NO_FATAL_FAILURE(answer(QStringLiteral("c.jpg"), true));
    const auto allDone = [&](int count) {
        return waitUntil(
            [&] {
                if (bob.w->downloadNames().size() != count || alice.w->uploadNames().size() != count)
                    return false;
                for (const QString &name : bob.w->downloadNames())
                    if (bob.w->panel(name)->CaptionLabelInfo() != QStringLiteral("Terminé"))
                        return false;
                return true;
            },
            kWaitMs);
    };
    ASSERT_TRUE(allDone(2)) << bob.log().toStdString();
    EXPECT_EQ(contents(downloads + QStringLiteral("/a.txt")), a);
    EXPECT_EQ(contents(downloads + QStringLiteral("/c.jpg")), c);
    EXPECT_FALSE(QFile::exists(downloads + QStringLiteral("/b.bin")));
    EXPECT_EQ(bob.dialogs.fileDialogs.size(), 0); // saved without asking

    // Two files chosen at once in the send page's dialog.
    alice.w->PageControl->setCurrentWidget(alice.w->sendPage);
    alice.dialogs.fileLists.enqueue(
        { alice.home.filePath(QStringLiteral("c.jpg")), alice.home.filePath(QStringLiteral("lot/a.txt")) });
    alice.w->sendPage->FileNameSendButtonClick();
    EXPECT_EQ(alice.w->sendPage->sendFiles().size(), 2);
    EXPECT_EQ(alice.w->lblFileDecompose->text(), QStringLiteral("2 fichiers : c.jpg, a.txt"));
    alice.w->txtDesti->setText(QStringLiteral("bob"));
    alice.w->sendPage->btnShowTelClick();
    ASSERT_NO_FATAL_FAILURE(answer(QStringLiteral("c.jpg"), true));
    ASSERT_NO_FATAL_FAILURE(answer(QStringLiteral("a.txt"), true));
    ASSERT_TRUE(allDone(4)) << bob.log().toStdString();
    EXPECT_EQ(contents(downloads + QStringLiteral("/c (2).jpg")), c);
    EXPECT_EQ(contents(downloads + QStringLiteral("/a (2).txt")), a);
}

} // namespace
