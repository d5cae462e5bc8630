// Two whole clients and a file on its way, interrupted in each of the ways
// a user or the world interrupts a transfer: a pause on either side, a cut
// link, a restart, a crash or a kill of either client. Every case ends with
// the very file that was sent and nobody doing anything beyond the
// interruption itself (and the "Reprendre" of the user who paused). The
// waits between the sender's attempts go by a clock the test moves.
//
// A client killed by a signal is a process of its own: this program run
// again as the child test WholeClientChild.RunsUntilSignalled.
#include "app/QuitSignals.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmPrincipal.h"
#include "transfer/ui/TTransferPage.h"
#include "components/ui/TRbButton.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/ui/TfrmReception.h"
#include "service/ServiceSession.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferRetries.h"
#include "transfer/ui/TTransferPage.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include "MemberProgram.h"

#include "support/EventWait.h"
#include "support/FakeService.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"
#include "support/Timing.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

namespace {

constexpr int kWaitMs = 60000 * kTimeScale;

const char kChildHome[] = "VOXLANE_CHILD_HOME";
const char kChildPseudo[] = "VOXLANE_CHILD_PSEUDO";
const char kChildIp[] = "VOXLANE_CHILD_IP";
const char kChildService[] = "VOXLANE_CHILD_SERVICE";
const char kChildAccept[] = "VOXLANE_CHILD_ACCEPT"; // where an offer is saved
const char kChildOffer[] = "VOXLANE_CHILD_OFFER"; // a file offered at start
const char kChildTo[] = "VOXLANE_CHILD_TO";

using Member = MemberProgram;

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

void scriptService(FakeService &service)
{
    service.script("/voxlane/connect.php",
        FakeService::Reply::text(
            QStringLiteral("autorisé\r\n[Contacts]\r\nalice\r\nbob\r\n[Bloqués]\r\n[Ask]\r\n[Messages]\r\n")));
    service.script("/script/getinfo.php", FakeService::Reply::text(QStringLiteral("42")));
    service.script("/voxlane/deconnect.php", FakeService::Reply::text(QStringLiteral("Déconnecté")));
}

void logIn(Member &m)
{
    m.w->pnMdpLogin->show();
    m.w->txtPseudo->setText(m.pseudo);
    m.w->txtMDP->setText(QStringLiteral("secret"));
    m.w->loginPage->btnConnexionClick();
}

// One page's first panel, selected, its menu prepared: what a right click
// on it does before the user picks a command.
TvzkLoadPanel *openMenuOnFirst(Member &m, int page)
{
    TvzkLoadPanel *panel = m.first(page == 1 ? TransferManager::List::Downloads : TransferManager::List::Uploads);
    if (panel)
        m.w->openMenuOn(panel);
    return panel;
}

class Interrupted : public testing::Test
{
protected:
    Interrupted()
    {
        RecordedErrors::install();
        RecordedErrors::take();
        alice.pseudo = QStringLiteral("alice");
        alice.ip = MainWindowFixture::uniqueLoopbackAddress(0);
        bob.pseudo = QStringLiteral("bob");
        bob.ip = MainWindowFixture::uniqueLoopbackAddress(1);
        setOnline({ &alice, &bob });
        // Stop and wait: a file of this size is still on its way after a
        // few turns of the event loop, so each interruption finds it there.
        TransferJob::setFastModeByDefault(false);
    }

    ~Interrupted() override
    {
        TransferJob::setFastModeByDefault(true);
        for (Member *m : { &alice, &bob })
            stop(*m);
        closePopups();
    }

    // From now on the service lists these members online (and nobody else).
    void setOnline(const QList<const Member *> &members)
    {
        service.clearScripts();
        scriptService(service);
        service.script("/voxlane/getconnected.php", FakeService::Reply::text(presenceReply(members)));
    }

    // The program starts on the member's folder, as a start or restart
    // does; its sender's waits follow the test's clock.
    void start(Member &m)
    {
        m.start(service.baseUrl());
        m.w->transfers().retries().Now = [this] { return clock; };
    }

    // The window closes: the lists are saved and the member logs out.
    static void stop(Member &m)
    {
        if (!m.w)
            return;
        if (m.w->session().isConnected()) {
            EXPECT_TRUE(m.w->window->FormCloseQuery());
        }
        m.end();
    }

    // The program is gone without its exit (a crash, a power cut): only
    // what the session saved by itself remains.
    static void crash(Member &m) { m.end(); }

    // The presence poll of the timer, as every 10 seconds; here the test
    // says when (the timer itself is stopped at log-in).
    static void poll(Member &m) { m.w->presence().TimerRefreshTimer(); }

    static void logInHere(Member &m)
    {
        logIn(m);
        m.w->TimerRefresh->stop();
    }

    // Time goes by for the senders' waits.
    void advance(int ms)
    {
        clock += ms;
        for (Member *m : { &alice, &bob }) {
            if (m->w)
                m->w->transfers().retries().runDue();
        }
    }

    TvzkLoadPanel *upload() const { return alice.w ? alice.first(TransferManager::List::Uploads) : nullptr; }
    TvzkLoadPanel *download() const { return bob.w ? bob.first(TransferManager::List::Downloads) : nullptr; }

    bool complete(const QString &target) const
    {
        const TvzkLoadPanel *up = upload();
        const TvzkLoadPanel *down = download();
        return up && down && up->Status() == u"0" && down->Status() == u"0" && QFile::exists(target);
    }

    // Both programs run and their members are logged in; alice offers
    // source to bob, who saves it as target.
    void startAndSend(const QString &source, const QByteArray &data, const QString &target)
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
        f.close();
        start(alice);
        start(bob);
        logInHere(bob);
        logInHere(alice);
        ASSERT_TRUE(alice.w->session().isConnected() && bob.w->session().isConnected());
        offer(source, target);
    }

    void offer(const QString &source, const QString &target)
    {
        alice.w->FileNameSend->setText(source);
        alice.w->txtDesti->setText(QStringLiteral("bob"));
        bob.dialogs.fileNames.enqueue(target);
        alice.w->sendPage->btnShowTelClick();
        ASSERT_TRUE(waitUntil([&] { return bob.w->reception->isVisible(); }, kWaitMs));
        bob.w->reception->btnAccepterClick();
    }

    // The file is on its way: a quarter of it has arrived.
    void waitUnderWay(qint64 size)
    {
        ASSERT_TRUE(waitUntil(
            [&] {
                const TvzkLoadPanel *down = download();
                return down && down->FichierTel() > size / 4 && upload();
            },
            kWaitMs))
            << logs();
        ASSERT_LT(download()->FichierTel(), size) << "the file must still be on its way";
    }

    // Nothing but time: the clock moves on a second at a time while the
    // transfer has not ended, for at most ten minutes of it.
    bool completesByItself(const QString &target)
    {
        for (int second = 0; second < 600 && !complete(target); ++second) {
            waitUntil([&] { return complete(target); }, 100);
            if (!complete(target))
                advance(1000);
        }
        return waitUntil([&] { return complete(target); }, kWaitMs);
    }

    std::string logs() const
    {
        return (alice.w ? alice.log() : QString()).toStdString() + "\n---\n"
            + (bob.w ? bob.log() : QString()).toStdString();
    }

    FakeService service;
    Member alice;
    Member bob;
    qint64 clock = 0;
};

// The table of interruptions with both programs in this process; "kill -9"
// is the program gone without its exit (its sockets closed with it, as the
// system closes a killed program's), the real signals are the next test's.
TEST_F(Interrupted, EveryInterruptionEndsWithTheFileSentAndNobodyHelping)
{
    enum class How {
        ReceiverPauses,
        SenderPauses,
        LinkCut,
        ReceiverRestarts,
        SenderRestarts,
        ReceiverCrashes,
        SenderCrashes,
    };
    const struct {
        const char *what;
        How how;
    } cases[] = {
        { "the receiver pauses, then resumes", How::ReceiverPauses },
        { "the sender pauses, then resumes", How::SenderPauses },
        { "the link is cut", How::LinkCut },
        { "the receiver quits and starts again", How::ReceiverRestarts },
        { "the sender quits and starts again", How::SenderRestarts },
        { "the receiver's program dies (kill -9)", How::ReceiverCrashes },
        { "the sender's program dies (kill -9)", How::SenderCrashes },
    };
    const qsizetype size = 160 * 1024;
    int round = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray data = randomBytes(size);
        const QString name = QStringLiteral("coupure%1.bin").arg(++round);
        const QString target = bob.home.filePath(QStringLiteral("reçu ") + name);
        ASSERT_NO_FATAL_FAILURE(startAndSend(alice.home.filePath(name), data, target));
        ASSERT_NO_FATAL_FAILURE(waitUnderWay(size));

        switch (c.how) {
        case How::ReceiverPauses: {
            TvzkLoadPanel *down = openMenuOnFirst(bob, 1);
            ASSERT_EQ(bob.w->downloadsPage->pauseAction()->text(), QStringLiteral("Pau&se"));
            bob.w->downloadsPage->Pause1Click();
            EXPECT_EQ(down->CaptionLabelProgress(), QStringLiteral("Pause"));
            ASSERT_TRUE(waitUntil([&] { return upload()->CaptionLabelInfo() == u"Déconnecté"; }, kWaitMs));
            // The sender tries again and again; the paused port stays shut.
            const qint64 held = down->FichierTel();
            for (int i = 0; i < 5; ++i) {
                advance(RetryBackoff::MaxDelayMs);
                QTest::qWait(20);
            }
            EXPECT_GE(alice.w->transfers().retries().dueAt(upload()->job()), clock);
            EXPECT_EQ(down->FichierTel(), held);
            EXPECT_EQ(down->CaptionLabelProgress(), QStringLiteral("Pause"));
            EXPECT_TRUE(upload()->CaptionLabelProgress().endsWith(QStringLiteral(" - en attente de bob")))
                << upload()->CaptionLabelProgress().toStdString();
            openMenuOnFirst(bob, 1);
            ASSERT_EQ(bob.w->downloadsPage->pauseAction()->text(), QStringLiteral("Reprendre"));
            bob.w->downloadsPage->Pause1Click();
            break;
        }
        case How::SenderPauses: {
            TvzkLoadPanel *up = openMenuOnFirst(alice, 2);
            ASSERT_EQ(alice.w->uploadsPage->pauseAction()->text(), QStringLiteral("Pau&se"));
            alice.w->uploadsPage->Pause1Click();
            ASSERT_TRUE(waitUntil([&] { return download()->CaptionLabelInfo() == u"Déconnecté"; }, kWaitMs));
            // A paused sender tries nothing, however long it waits.
            const qint64 held = download()->FichierTel();
            for (int i = 0; i < 10; ++i) {
                advance(RetryBackoff::MaxDelayMs);
                QTest::qWait(10);
                poll(alice);
            }
            EXPECT_EQ(alice.w->transfers().retries().dueAt(up->job()), -1);
            EXPECT_EQ(download()->FichierTel(), held);
            EXPECT_EQ(up->CaptionLabelProgress(), QStringLiteral("Pause"));
            EXPECT_TRUE(download()->CaptionLabelProgress().endsWith(QStringLiteral(" - en attente de alice")));
            openMenuOnFirst(alice, 2);
            ASSERT_EQ(alice.w->uploadsPage->pauseAction()->text(), QStringLiteral("Reprendre"));
            alice.w->uploadsPage->Pause1Click();
            break;
        }
        case How::LinkCut:
            upload()->ClientSocket()->abort();
            break;
        case How::ReceiverRestarts: {
            stop(bob);
            // Bob is offline for a while: alice tries nothing meanwhile.
            setOnline({ &alice });
            poll(alice);
            advance(5 * RetryBackoff::MaxDelayMs);
            EXPECT_EQ(alice.w->transfers().retries().dueAt(upload()->job()), -1);
            start(bob);
            setOnline({ &alice, &bob });
            logInHere(bob);
            // Restored, it says what it holds and whom it waits for.
            const TvzkLoadPanel *down = download();
            ASSERT_NE(down, nullptr);
            EXPECT_TRUE(down->CaptionLabelProgress().contains(QStringLiteral(" sur "))) << down->CaptionLabelProgress().toStdString();
            EXPECT_EQ(down->CaptionLabelInfo(), QStringLiteral("En attente de alice"));
            // Bob back online: alice's next poll tries at once, the clock
            // standing still.
            poll(alice);
            EXPECT_TRUE(waitUntil([&] { return complete(target); }, kWaitMs)) << logs();
            break;
        }
        case How::SenderRestarts:
            stop(alice);
            start(alice);
            logInHere(alice);
            break;
        case How::ReceiverCrashes:
            crash(bob);
            start(bob);
            logInHere(bob);
            break;
        case How::SenderCrashes:
            crash(alice);
            start(alice);
            logInHere(alice);
            break;
        }

        ASSERT_TRUE(completesByItself(target)) << logs();
        EXPECT_TRUE(contents(target) == data);
        EXPECT_EQ(download()->CaptionLabelInfo(), QStringLiteral("Terminé"));
        EXPECT_EQ(QDir(bob.homePath() + QStringLiteral("/temp")).entryList(QDir::Files), QStringList());
        EXPECT_EQ(RecordedErrors::take(), QStringList());

        stop(alice);
        stop(bob);
        // The next case starts from empty lists.
        QFile::remove(alice.home.filePath(QStringLiteral("alice.xml")));
        QFile::remove(bob.home.filePath(QStringLiteral("bob.xml")));
    }
}

// A whole client as a process of its own, run by the tests below: it logs
// in, accepts an offer into kChildAccept or offers kChildOffer to kChildTo
// when told to, and runs until a signal ends it. SIGTERM goes through the
// program's normal exit, as in the program itself.
TEST(WholeClientChild, RunsUntilSignalled)
{
    const QString home = qEnvironmentVariable(kChildHome);
    if (home.isEmpty())
        GTEST_SKIP() << "only run as the child of the tests of signalled clients";
    RecordedErrors::install();
    TransferJob::setFastModeByDefault(false);
    Member m;
    m.folder = home;
    m.pseudo = qEnvironmentVariable(kChildPseudo);
    m.ip = qEnvironmentVariable(kChildIp);
    m.start(qEnvironmentVariable(kChildService));
    QuitSignals quitSignals;
    ASSERT_TRUE(quitSignals.isActive());
    ConnectQuitRequests(m.w->window, &quitSignals);
    QObject::connect(m.w->window, &TfrmPrincipal::closing, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    const QString accept = qEnvironmentVariable(kChildAccept);
    if (!accept.isEmpty()) {
        m.dialogs.fileNames.enqueue(accept);
        QObject::connect(&m.w->control(), &ControlChannel::OfferReceived, m.w->window,
            [&m] { QTimer::singleShot(0, m.w->reception, [&m] { m.w->reception->btnAccepterClick(); }); });
    }
    logIn(m);
    ASSERT_TRUE(m.w->session().isConnected());
    const QString offered = qEnvironmentVariable(kChildOffer);
    if (!offered.isEmpty()) {
        m.w->FileNameSend->setText(offered);
        m.w->txtDesti->setText(qEnvironmentVariable(kChildTo));
        m.w->sendPage->btnShowTelClick();
    }
    std::printf("ready\n");
    std::fflush(stdout);
    QCoreApplication::exec();
    for (const QString &error : RecordedErrors::take())
        std::fprintf(stderr, "error: %s\n", qPrintable(error));
    m.end();
    std::printf("ended\n");
    std::fflush(stdout);
}

// A client process the test starts, kills and starts again on one folder.
class ChildClient
{
public:
    ChildClient(const Member &m, const QString &serviceUrl)
    {
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QLatin1String(kChildHome), m.homePath());
        m_env.insert(QLatin1String(kChildPseudo), m.pseudo);
        m_env.insert(QLatin1String(kChildIp), m.ip);
        m_env.insert(QLatin1String(kChildService), serviceUrl);
    }
    ~ChildClient() { kill(SIGKILL); }

    void set(const char *name, const QString &value) { m_env.insert(QLatin1String(name), value); }
    void unset(const char *name) { m_env.remove(QLatin1String(name)); }

    // Starts it and waits, serving this process's events, until it is
    // logged in.
    bool start()
    {
        m_process = std::make_unique<QProcess>();
        m_process->setProcessEnvironment(m_env);
        m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(m_process.get(), &QProcess::readyReadStandardOutput, m_process.get(), [this] {
            while (m_process->canReadLine())
                m_lines << QString::fromUtf8(m_process->readLine().trimmed());
        });
        m_lines.clear();
        m_process->start(QCoreApplication::applicationFilePath(),
            { QStringLiteral("--gtest_filter=WholeClientChild.RunsUntilSignalled") });
        return m_process->waitForStarted() && waitUntil([this] { return m_lines.contains(u"ready"); }, kWaitMs);
    }

    // Sends the signal and waits, serving this process's events (its
    // log-out request comes here), until the process is over.
    bool kill(int signal)
    {
        if (!m_process || m_process->state() == QProcess::NotRunning)
            return true;
        ::kill(pid_t(m_process->processId()), signal);
        return waitUntil([this] { return m_process->state() == QProcess::NotRunning; }, kWaitMs);
    }

    bool endedNormally() const
    {
        return m_process->exitStatus() == QProcess::NormalExit && m_process->exitCode() == 0
            && m_lines.contains(u"ended");
    }

private:
    QProcessEnvironment m_env;
    std::unique_ptr<QProcess> m_process;
    QStringList m_lines;
};

// kill -9 and SIGTERM of either client while the file is on its way: after
// a SIGTERM the killed client's list holds the transfer as it stood (its
// exit ran, the member was logged out); after kill -9 it holds it as the
// client last saved it by itself. Started again, the client goes on and
// the file ends whole.
TEST_F(Interrupted, AClientKilledBySignalLosesNothing)
{
    const struct {
        const char *what;
        bool receiverKilled;
        int signal;
    } cases[] = {
        { "the receiver gets SIGTERM", true, SIGTERM },
        { "the receiver gets SIGKILL", true, SIGKILL },
        { "the sender gets SIGTERM", false, SIGTERM },
        { "the sender gets SIGKILL", false, SIGKILL },
    };
    const qsizetype size = 160 * 1024;
    int round = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray data = randomBytes(size);
        const QString name = QStringLiteral("signal%1.bin").arg(++round);
        const QString source = alice.home.filePath(name);
        const QString target = bob.home.filePath(QStringLiteral("reçu ") + name);
        {
            QFile f(source);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(data);
        }
        Member &inside = c.receiverKilled ? alice : bob;
        Member &outside = c.receiverKilled ? bob : alice;
        ChildClient child(outside, service.baseUrl());
        start(inside);
        logInHere(inside);
        // The transfer as the process in this test sees it.
        const TransferManager::List insideList
            = c.receiverKilled ? TransferManager::List::Uploads : TransferManager::List::Downloads;
        const auto mine = [&] { return inside.w ? inside.first(insideList) : nullptr; };
        if (c.receiverKilled) {
            child.set(kChildAccept, target);
            ASSERT_TRUE(child.start());
            alice.w->FileNameSend->setText(source);
            alice.w->txtDesti->setText(QStringLiteral("bob"));
            alice.w->sendPage->btnShowTelClick();
        } else {
            child.set(kChildOffer, source);
            child.set(kChildTo, QStringLiteral("bob"));
            bob.dialogs.fileNames.enqueue(target);
            ASSERT_TRUE(child.start());
            ASSERT_TRUE(waitUntil([&] { return bob.w->reception->isVisible(); }, kWaitMs));
            bob.w->reception->btnAccepterClick();
        }
        ASSERT_TRUE(waitUntil(
            [&] {
                const TvzkLoadPanel *p = mine();
                return p && p->FichierTel() > size / 4;
            },
            kWaitMs))
            << inside.log().toStdString();
        ASSERT_LT(mine()->FichierTel(), size) << "the file must still be on its way";

        const int logOuts = int(service.requests.size());
        ASSERT_TRUE(child.kill(c.signal));
        const QString listFile = outside.homePath() + u'/' + outside.pseudo + QStringLiteral(".xml");
        QFile list(listFile);
        ASSERT_TRUE(list.open(QIODevice::ReadOnly)) << "no list saved";
        EXPECT_TRUE(list.readAll().contains(name.toLatin1()));
        if (c.signal == SIGTERM) {
            EXPECT_TRUE(child.endedNormally());
            bool loggedOut = false;
            for (qsizetype i = logOuts; i < service.requests.size(); ++i)
                loggedOut = loggedOut || service.requests.at(i).path() == "/voxlane/deconnect.php";
            EXPECT_TRUE(loggedOut);
        }
        if (c.receiverKilled) {
            ASSERT_TRUE(waitUntil([&] { return mine()->CaptionLabelInfo() == u"Déconnecté"; }, kWaitMs));
        }

        // Started again, with nothing to accept or offer: its saved list
        // is all it has.
        child.unset(kChildAccept);
        child.unset(kChildOffer);
        ASSERT_TRUE(child.start());
        bool done = false;
        for (int second = 0; second < 600 && !done; ++second) {
            done = waitUntil(
                [&] {
                    const TvzkLoadPanel *p = mine();
                    return p && p->Status() == u"0" && contents(target) == data;
                },
                100);
            if (!done)
                advance(1000);
        }
        EXPECT_TRUE(done) << inside.log().toStdString();
        EXPECT_TRUE(contents(target) == data);
        ASSERT_TRUE(child.kill(SIGTERM));
        EXPECT_TRUE(child.endedNormally());
        stop(inside);
        EXPECT_EQ(RecordedErrors::take(), QStringList());
        for (const Member *m : { &alice, &bob })
            QFile::remove(m->homePath() + u'/' + m->pseudo + QStringLiteral(".xml"));
    }
}

} // namespace

namespace {

// A confirmed cancel ends the transfer on both sides, between two Voxlane
// clients: the canceller's panel goes, no partial file is left, and the
// other side says who cancelled, offers no "Reprendre", tries nothing more,
// and still knows it after a restart; "Nettoyer" takes it away.
TEST_F(Interrupted, ACancelEndsTheTransferOnBothSides)
{
    TransferJob::setFastModeByDefault(true);
    const qsizetype size = 64 * 1024 * 1024 + 5;
    const QByteArray data = randomBytes(size);
    for (const bool byReceiver : { true, false }) {
        SCOPED_TRACE(byReceiver ? "the receiver cancels" : "the sender cancels");
        const QString name = QStringLiteral("annule%1.bin").arg(int(byReceiver));
        const QString target = bob.home.filePath(name);
        ASSERT_NO_FATAL_FAILURE(startAndSend(alice.home.filePath(name), data, target));
        ASSERT_TRUE(waitUntil(
            [&] {
                const TvzkLoadPanel *down = download();
                return down && down->FichierTel() > 0 && upload();
            },
            kWaitMs));
        ASSERT_LT(download()->FichierTel(), size) << "the file must still be on its way";

        Member &canceller = byReceiver ? bob : alice;
        Member &other = byReceiver ? alice : bob;
        const int page = byReceiver ? 1 : 2;
        const int otherPage = byReceiver ? 2 : 1;
        TvzkLoadPanel *cancelled = openMenuOnFirst(canceller, page);
        ASSERT_NE(cancelled, nullptr);
        canceller.dialogs.answers.enqueue(true);
        canceller.w->pageOf(canceller.w->transfers().listOf(cancelled->job()))->Annuler1Click();
        EXPECT_TRUE((byReceiver ? bob.w->downloadNames() : alice.w->uploadNames()).isEmpty());

        const QString said = TransferJob::cancelledText(canceller.pseudo);
        const auto otherPanel = [&] {
            return other.first(byReceiver ? TransferManager::List::Uploads : TransferManager::List::Downloads);
        };
        ASSERT_TRUE(waitUntil([&] { return otherPanel()->CaptionLabelInfo() == said; }, kWaitMs))
            << otherPanel()->CaptionLabelInfo().toStdString();
        EXPECT_EQ(otherPanel()->Status(), TransferJob::CancelledStatus);
        const QString temp = bob.homePath() + QStringLiteral("/temp");
        EXPECT_TRUE(waitUntil([&] { return QDir(temp).entryList(QDir::Files).isEmpty(); }, kWaitMs))
            << QDir(temp).entryList(QDir::Files).join(u' ').toStdString();
        EXPECT_FALSE(QFile::exists(target));
        openMenuOnFirst(other, otherPage);
        EXPECT_FALSE((otherPage == 1 ? other.w->downloadsPage : other.w->uploadsPage)->pauseAction()->isEnabled());
        for (int i = 0; i < 5; ++i) {
            advance(RetryBackoff::MaxDelayMs);
            poll(other);
        }
        EXPECT_EQ(otherPanel()->CaptionLabelInfo(), said);
        EXPECT_FALSE(otherPanel()->job()->isServerActive() || otherPanel()->job()->isClientActive());

        // Its list says so too: started again, the panel says who cancelled
        // and neither listens nor connects.
        stop(other);
        start(other);
        logInHere(other);
        ASSERT_NE(otherPanel(), nullptr);
        EXPECT_EQ(otherPanel()->CaptionLabelInfo(), said);
        EXPECT_FALSE(otherPanel()->job()->isServerActive() || otherPanel()->job()->isClientActive());
        other.w->PageControl->setCurrentIndex(otherPage);
        (otherPage == 1 ? other.w->btnNettoyer : other.w->btnNettoyer2)->Click();
        EXPECT_TRUE((byReceiver ? alice.w->uploadNames() : bob.w->downloadNames()).isEmpty());
        EXPECT_EQ(RecordedErrors::take(), QStringList());

        stop(alice);
        stop(bob);
        QFile::remove(alice.home.filePath(QStringLiteral("alice.xml")));
        QFile::remove(bob.home.filePath(QStringLiteral("bob.xml")));
    }
}

// A file left in the temp folder with the offered file's name and size (an
// earlier transfer that failed its check leaves one) is not where the new
// download starts from, in either mode, and it is left as it was.
TEST_F(Interrupted, AStalePartialFileNeverMixesIntoANewDownload)
{
    const qsizetype size = 20000;
    for (const bool fast : { true, false }) {
        SCOPED_TRACE(fast ? "fast" : "stop and wait");
        TransferJob::setFastModeByDefault(fast);
        const QString name = fast ? QStringLiteral("rapide.bin") : QStringLiteral("lent.bin");
        const QByteArray data = randomBytes(size);
        const QByteArray stale = randomBytes(size);
        const QString leftover = bob.home.filePath(QStringLiteral("temp/") + name);
        ASSERT_TRUE(QDir(bob.home.path()).mkpath(QStringLiteral("temp")));
        {
            QFile f(leftover);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(stale);
        }
        const QString target = bob.home.filePath(QStringLiteral("reçu ") + name);
        ASSERT_NO_FATAL_FAILURE(startAndSend(alice.home.filePath(name), data, target));
        ASSERT_TRUE(waitUntil([&] { return complete(target); }, kWaitMs)) << logs();
        EXPECT_TRUE(contents(target) == data);
        EXPECT_TRUE(contents(leftover) == stale);
        stop(alice);
        stop(bob);
        // The next case starts from empty lists.
        QFile::remove(alice.home.filePath(QStringLiteral("alice.xml")));
        QFile::remove(bob.home.filePath(QStringLiteral("bob.xml")));
    }
}

// Saving onto a file that exists: without the user's agreement to replace
// it the old file stays, the new one waits in the temp folder and the
// download never says "Terminé", not even after "Reprendre"; with the
// agreement (NewDownload's replaceConfirmed, which the confirmation window
// gives) the new content takes the old one's place.
TEST_F(Interrupted, AnExistingFileIsReplacedOnlyWithTheUsersAgreement)
{
    TransferJob::setFastModeByDefault(true);
    start(alice);
    start(bob);
    logInHere(bob);
    logInHere(alice);
    int port = 2040;
    for (const bool agreed : { false, true }) {
        SCOPED_TRACE(agreed ? "replace agreed" : "replace not agreed");
        const QString name = QStringLiteral("remplace%1.bin").arg(int(agreed));
        const QByteArray data = randomBytes(30000);
        const QString source = alice.home.filePath(name);
        const QString target = bob.home.filePath(QStringLiteral("existant ") + name);
        for (const auto &[path, bytes] : { std::pair { source, data }, std::pair { target, QByteArray("ancien") } }) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        const QString size = QString::number(data.size());
        ASSERT_TRUE(bob.w->transfers().NewDownload(makeRecord(bob.w->transfers().NewTransferId(),
            QStringLiteral("alice"), name, size, 0, target, port, QString()), alice.ip, agreed));
        ASSERT_TRUE(alice.w->transfers().NewUpload(makeRecord(alice.w->transfers().NewTransferId(),
            QStringLiteral("bob"), QString(), size, 0, source, port, QString())));
        ++port;
        TvzkLoadPanel *down = bob.w->panel(bob.w->downloadNames().last());
        TvzkLoadPanel *up = alice.w->panel(alice.w->uploadNames().last());
        if (agreed) {
            ASSERT_TRUE(waitUntil([&] { return down->Status() == u"0" && up->Status() == u"0"; }, kWaitMs));
            EXPECT_TRUE(contents(target) == data);
            EXPECT_EQ(down->CaptionLabelInfo(), QStringLiteral("Terminé"));
            continue;
        }
        const QString why = TransferJob::placeFailedText(QStringLiteral("le fichier existe déjà"));
        ASSERT_TRUE(waitUntil([&] { return down->CaptionLabelInfo() == why && up->Status() == u"0"; }, kWaitMs))
            << down->CaptionLabelInfo().toStdString();
        bob.w->openMenuOn(bob.w->panel(bob.w->downloadNames().last()));
        ASSERT_EQ(bob.w->downloadsPage->pauseAction()->text(), QStringLiteral("Reprendre"));
        bob.w->downloadsPage->Pause1Click();
        QTest::qWait(50);
        EXPECT_EQ(down->CaptionLabelInfo(), why);
        EXPECT_NE(down->Status(), QStringLiteral("0"));
        EXPECT_EQ(contents(target), QByteArray("ancien"));
        EXPECT_TRUE(contents(down->job()->partialFilePath()) == data);
    }
}

} // namespace
