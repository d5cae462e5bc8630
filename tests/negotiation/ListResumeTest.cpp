// Two whole clients, a transfer stopped half-way, both programs closed and
// started again, both members logging in again: the saved lists bring the
// transfer back and it ends with the very file that was sent.
#include "base/SettingsStore.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmPrincipal.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/ui/TfrmReception.h"
#include "service/ServiceSession.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TTransferPage.h"
#include "transfer/ui/TTransferPage.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include "MemberProgram.h"

#include "support/EventWait.h"
#include "support/FakeService.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"
#include "support/ScriptedDialogs.h"
#include "support/Timing.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kWaitMs = 60000 * kTimeScale;

using Member = MemberProgram;

class ListResume : public testing::Test
{
protected:
    ListResume()
    {
        RecordedErrors::install();
        RecordedErrors::take();
        alice.pseudo = QStringLiteral("alice");
        alice.ip = MainWindowFixture::uniqueLoopbackAddress(0);
        bob.pseudo = QStringLiteral("bob");
        bob.ip = MainWindowFixture::uniqueLoopbackAddress(1);
        service.script("/voxlane/connect.php",
            FakeService::Reply::text(
                QStringLiteral("autorisé\r\n[Contacts]\r\nalice\r\nbob\r\n[Bloqués]\r\n[Ask]\r\n[Messages]\r\n")));
        service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("42")));
        service.script("/voxlane/deconnect.php", FakeService::Reply::text(QStringLiteral("Déconnecté")));
    }

    ~ListResume() override
    {
        for (Member *m : { &alice, &bob })
            stop(*m);
        closePopups();
    }

    // Starts the member's program on its own folder, as a restart does.
    void start(Member &m)
    {
        m.start(service.baseUrl());
    }

    // Both members are online, each at its own address.
    void scriptPresence()
    {
        service.script("/voxlane/getconnected.php", FakeService::Reply::text(presenceReply({ &alice, &bob })));
    }

    static void logIn(Member &m)
    {
        m.w->pnMdpLogin->show();
        m.w->txtPseudo->setText(m.pseudo);
        m.w->txtMDP->setText(QStringLiteral("secret"));
        m.w->loginPage->btnConnexionClick();
        ASSERT_TRUE(m.w->session().isConnected());
    }

    // Closing the main window: the lists are saved, the session closed.
    static void stop(Member &m)
    {
        if (!m.w)
            return;
        if (m.w->session().isConnected()) {
            EXPECT_TRUE(m.w->window->FormCloseQuery());
        }
        m.end();
    }

    static QByteArray randomBytes(qsizetype size)
    {
        QByteArray data(size, Qt::Uninitialized);
        for (qsizetype i = 0; i < size; ++i)
            data[i] = char(QRandomGenerator::global()->bounded(256));
        return data;
    }

    // Both programs start and log in; alice offers source (holding data)
    // to bob, who accepts it to be saved as target.
    void startAndSend(const QString &source, const QByteArray &data, const QString &target)
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
        f.close();
        start(alice);
        start(bob);
        scriptPresence();
        logIn(bob);
        logIn(alice);
        alice.w->FileNameSend->setText(source);
        alice.w->txtDesti->setText(QStringLiteral("bob"));
        bob.dialogs.fileNames.enqueue(target);
        alice.w->sendPage->btnShowTelClick();
        ASSERT_TRUE(waitUntil([&] { return bob.w->reception->isVisible(); }, kWaitMs));
        bob.w->reception->btnAccepterClick();
    }

    // Both panels end completed and target holds exactly data.
    void expectCompleted(const QString &target, const QByteArray &data)
    {
        ASSERT_TRUE(waitUntil(
            [&] {
                const TvzkLoadPanel *up = alice.first(TransferManager::List::Uploads);
                const TvzkLoadPanel *down = bob.first(TransferManager::List::Downloads);
                return up && down && up->Status() == u"0" && down->Status() == u"0" && QFile::exists(target);
            },
            kWaitMs))
            << alice.w->reWatch->toPlainText().toStdString() << "\n---\n"
            << bob.w->reWatch->toPlainText().toStdString();
        QFile result(target);
        ASSERT_TRUE(result.open(QIODevice::ReadOnly));
        EXPECT_TRUE(result.readAll() == data);
        EXPECT_EQ(RecordedErrors::take(), QStringList());
    }

    FakeService service;
    Member alice;
    Member bob;
};

TEST_F(ListResume, AnInterruptedTransferResumesAfterExitRestartAndLogIn)
{
    // Stop and wait, so that the pause below finds the transfer under way.
    TransferJob::setFastModeByDefault(false);
    const auto restore = qScopeGuard([] { TransferJob::setFastModeByDefault(true); });
    const QString name = QStringLiteral("vacances été.bin");
    const qsizetype size = 96 * 1024;
    const QByteArray data = randomBytes(size);
    const QString target = bob.home.filePath(QStringLiteral("reçu.bin"));
    ASSERT_NO_FATAL_FAILURE(startAndSend(alice.home.filePath(name), data, target));

    // Half-way, alice pauses the upload from its menu.
    ASSERT_TRUE(waitUntil(
        [&] {
            const TvzkLoadPanel *up = alice.first(TransferManager::List::Uploads);
            return up && up->FichierTel() > size / 4;
        },
        kWaitMs))
        << alice.w->reWatch->toPlainText().toStdString() << "\n---\n"
        << bob.w->reWatch->toPlainText().toStdString();
    TTransferPage &alicePage = alice.w->openMenuOn(alice.first(TransferManager::List::Uploads));
    ASSERT_EQ(alicePage.pauseAction()->text(), QStringLiteral("Pau&se"));
    alicePage.Pause1Click();
    TvzkLoadPanel *down = bob.first(TransferManager::List::Downloads);
    ASSERT_NE(down, nullptr);
    ASSERT_TRUE(waitUntil([&] { return down->CaptionLabelInfo() == u"Déconnecté"; }, kWaitMs))
        << down->CaptionLabelInfo().toStdString();
    // The download's own partial file, named after its transfer id.
    const QString partial = down->job()->partialFilePath();
    EXPECT_EQ(partial, bob.w->settings().tempFolder() + u'/' + down->IDTel() + u'_' + name);
    const qint64 held = QFileInfo(partial).size();
    ASSERT_GT(held, 0);
    ASSERT_LT(held, size);
    const QString downName = bob.w->downloadNames().first();
    const QString upName = alice.w->uploadNames().first();

    // Both programs end, then start again and their members log in.
    stop(alice);
    stop(bob);
    ASSERT_TRUE(QFile::exists(alice.home.filePath(QStringLiteral("alice.xml"))));
    ASSERT_TRUE(QFile::exists(bob.home.filePath(QStringLiteral("bob.xml"))));
    ASSERT_FALSE(QFile::exists(target));

    start(alice);
    start(bob);
    logIn(bob); // listens again on its port
    ASSERT_EQ(bob.w->downloadNames(), QStringList { downName });
    EXPECT_EQ(bob.first(TransferManager::List::Downloads)->FichierTel(), held);
    logIn(alice); // reconnects to bob
    ASSERT_EQ(alice.w->uploadNames(), QStringList { upName });
    expectCompleted(target, data);
}

// One member leaves while a file moves: its window closes (and is
// destroyed) or it logs out. Nothing acts on what is gone, the other side
// sees "Déconnecté", the leaver's list keeps the transfer and, once the
// leaver is back, the transfer ends with the very file that was sent.
TEST_F(ListResume, LeavingWhileAFileMovesEndsCleanlyAndLosesNothing)
{
    enum class Leaver { Sender, Receiver };
    enum class How { CloseWindow, LogOut };
    // Stop-and-wait, and the windowed mode of two Voxlane peers with a file
    // large enough to be still moving when the leaver goes.
    const struct {
        const char *what;
        Leaver leaver;
        How how;
        bool fast;
    } cases[] = {
        { "sender closes its window", Leaver::Sender, How::CloseWindow, false },
        { "receiver closes its window", Leaver::Receiver, How::CloseWindow, false },
        { "sender logs out", Leaver::Sender, How::LogOut, false },
        { "receiver logs out", Leaver::Receiver, How::LogOut, false },
        { "fast: sender closes its window", Leaver::Sender, How::CloseWindow, true },
        { "fast: receiver closes its window", Leaver::Receiver, How::CloseWindow, true },
        { "fast: sender logs out", Leaver::Sender, How::LogOut, true },
        { "fast: receiver logs out", Leaver::Receiver, How::LogOut, true },
    };
    const QByteArray described = randomBytes(4 * 1024 * 1024 + 77);
    const QByteArray fast = randomBytes(48 * 1024 * 1024 + 77);
    const auto restore = qScopeGuard([] { TransferJob::setFastModeByDefault(true); });

    int round = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TransferJob::setFastModeByDefault(c.fast);
        const QByteArray &data = c.fast ? fast : described;
        const qsizetype size = data.size();
        const QString name = QStringLiteral("depart%1.bin").arg(++round);
        const QString target = bob.home.filePath(name);
        ASSERT_NO_FATAL_FAILURE(startAndSend(alice.home.filePath(name), data, target));
        ASSERT_TRUE(waitUntil(
            [&] {
                const TvzkLoadPanel *down = bob.first(TransferManager::List::Downloads);
                return down && down->FichierTel() > 0;
            },
            kWaitMs));
        const TvzkLoadPanel *moving = bob.first(TransferManager::List::Downloads);
        ASSERT_LT(moving->FichierTel(), size) << "the file must still be moving";
        const QString partial = moving->job()->partialFilePath();

        Member &gone = c.leaver == Leaver::Sender ? alice : bob;
        Member &stays = c.leaver == Leaver::Sender ? bob : alice;
        const TransferManager::List staysList
            = c.leaver == Leaver::Sender ? TransferManager::List::Downloads : TransferManager::List::Uploads;
        if (c.how == How::CloseWindow) {
            gone.w->window->show();
            EXPECT_TRUE(gone.w->window->close());
            gone.w.reset();
        } else {
            gone.w->window->lblDeconnectClick();
            EXPECT_FALSE(gone.w->session().isConnected());
            EXPECT_TRUE(gone.w->downloadNames().isEmpty());
            EXPECT_TRUE(gone.w->uploadNames().isEmpty());
        }
        ASSERT_TRUE(waitUntil(
            [&] {
                const TvzkLoadPanel *p = stays.first(staysList);
                return p && p->CaptionLabelInfo() == u"Déconnecté";
            },
            kWaitMs));
        // Whatever was still on its way lands on nothing.
        QTest::qWait(50);
        EXPECT_EQ(RecordedErrors::take(), QStringList());

        // The leaver's list names the transfer; the receiver's partial file
        // stays in its temporary folder.
        QFile list(gone.home.filePath(gone.pseudo + QStringLiteral(".xml")));
        ASSERT_TRUE(list.open(QIODevice::ReadOnly));
        EXPECT_TRUE(list.readAll().contains(name.toLatin1()));
        const qint64 held = QFileInfo(partial).size();
        EXPECT_GT(held, 0);
        EXPECT_LT(held, size);
        EXPECT_FALSE(QFile::exists(target));

        // The leaver comes back (a new program after a close) and the
        // transfer completes.
        if (c.how == How::CloseWindow)
            start(gone);
        logIn(gone);
        if (c.leaver == Leaver::Receiver) {
            // The sender starts again when it next sees its receiver listen:
            // a log-in of its own, as after any interruption.
            stop(alice);
            start(alice);
            logIn(alice);
        }
        ASSERT_NO_FATAL_FAILURE(expectCompleted(target, data));

        stop(alice);
        stop(bob);
        // The next case starts from empty lists.
        QFile::remove(alice.home.filePath(QStringLiteral("alice.xml")));
        QFile::remove(bob.home.filePath(QStringLiteral("bob.xml")));
    }
}

} // namespace
