// Two whole clients with the desktop's notifications and the tray's tip
// wired as at start, against a notification service of the test's own on a
// private session bus: an offer accepted from the desktop, the file's trip,
// its end on both sides, and a transfer the other member cancels.
#include "app/DesktopNotifications.h"
#include "app/TrayStatus.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmPrincipal.h"
#include "negotiation/ControlChannel.h"
#include "service/ServiceSession.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferManager.h"

#include "MemberProgram.h"

#include "support/EventWait.h"
#include "support/FakeDesktopBus.h"
#include "support/FakeService.h"
#include "support/MainWindowFixture.h"
#include "support/PrivateBus.h"
#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"
#include "support/Timing.h"

#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kWaitMs = 20000 * kTimeScale;

struct Member : MemberProgram
{
    DesktopNotifications *notifications = nullptr;
    TrayStatus *tray = nullptr;

    void finish()
    {
        notifications = nullptr;
        tray = nullptr;
        end();
    }
};

class DesktopTransfers : public testing::Test
{
protected:
    DesktopTransfers()
        : server(bus.started() ? bus.connect() : QDBusConnection(QString()), { "actions", "body" })
    {
        RecordedErrors::install();
        RecordedErrors::take();
        if (!bus.started())
            return;
        setUp(alice, QStringLiteral("alice"), MainWindowFixture::uniqueLoopbackAddress(0));
        setUp(bob, QStringLiteral("bob"), MainWindowFixture::uniqueLoopbackAddress(1));
        service.script("/voxlane/getconnected.php", FakeService::Reply::text(presenceReply({ &alice, &bob })));
        for (Member *m : { &alice, &bob })
            EXPECT_TRUE(m->w->presence().PollOnline());
    }

    ~DesktopTransfers() override
    {
        closePopups();
        for (Member *m : { &alice, &bob })
            m->finish();
        TransferJob::setFastModeByDefault(true);
    }

    void setUp(Member &m, const QString &pseudo, const QString &ip)
    {
        m.pseudo = pseudo;
        m.ip = ip;
        m.desktopBus = [this] { return bus.connect(); };
        m.start(service.baseUrl());
        ASSERT_TRUE(m.w->control().ServerTransac()->isListening());
        ASSERT_TRUE(m.w->logInSession(service, pseudo, pseudo == QStringLiteral("alice") ? 11 : 22));
        m.w->TimerRefresh->stop(); // the test polls itself
        m.notifications = &m.w->controllers().desktopNotifications();
        m.tray = &m.w->controllers().trayStatus();
    }

    QString makeFile(const QString &name, qsizetype size)
    {
        const QString path = alice.home.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray bytes(size, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
        f.write(bytes);
        return path;
    }

    void offer(const QString &path)
    {
        alice.w->FileNameSend->setText(path);
        alice.w->txtDesti->setText(QStringLiteral("bob"));
        alice.w->sendPage->btnShowTelClick();
    }

    // The first notification whose summary is summary; null when none came.
    const FakeNotificationServer::Sent *sent(const QString &summary) const
    {
        for (const FakeNotificationServer::Sent &s : server.sent)
            if (s.summary == summary)
                return &s;
        return nullptr;
    }
    bool waitForSent(const QString &summary)
    {
        return waitUntil([&] { return sent(summary) != nullptr; }, kWaitMs);
    }

    QString logs() const { return alice.log() + QStringLiteral("\n---\n") + bob.log(); }

    PrivateBus bus;
    FakeNotificationServer server;
    FakeService service;
    Member alice;
    Member bob;
};

TEST_F(DesktopTransfers, AnOfferAcceptedFromTheDesktopArrivesAndBothEndsAreNotified)
{
    if (!bus.started())
        GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
    ASSERT_TRUE(server.registered());
    // Stop and wait: the file is still on its way for a while.
    TransferJob::setFastModeByDefault(false);
    const qsizetype size = 3 * 1024 * 1024 + 7;
    const QString source = makeFile(QStringLiteral("film.bin"), size);
    const QString target = bob.home.filePath(QStringLiteral("reçu.bin"));
    bob.dialogs.fileNames.enqueue(target);

    offer(source);
    ASSERT_TRUE(waitForSent(QStringLiteral("Fichier proposé par alice"))) << logs().toStdString();
    const FakeNotificationServer::Sent proposal = *sent(QStringLiteral("Fichier proposé par alice"));
    EXPECT_EQ(proposal.body, QStringLiteral("film.bin (3.0 Mo)"));
    ASSERT_TRUE(waitUntil([&] { return bob.notifications->remembers(proposal.id); }, kWaitMs));
    server.invoke(proposal.id, QStringLiteral("accepter"));

    // While it runs, each tip counts it.
    for (Member *m : { &alice, &bob }) {
        EXPECT_TRUE(waitUntil(
            [&] {
                m->tray->refresh();
                return m->tray->toolTip() == QStringLiteral("Voxlane - %1 - 1 transfert en cours").arg(m->pseudo);
            },
            kWaitMs))
            << m->pseudo.toStdString() << ": " << m->tray->toolTip().toStdString();
    }

    ASSERT_TRUE(waitForSent(QStringLiteral("Téléchargement terminé"))) << logs().toStdString();
    ASSERT_TRUE(waitForSent(QStringLiteral("Envoi terminé"))) << logs().toStdString();
    EXPECT_EQ(sent(QStringLiteral("Téléchargement terminé"))->body, QStringLiteral("film.bin, reçu de alice"));
    EXPECT_EQ(sent(QStringLiteral("Envoi terminé"))->body, QStringLiteral("film.bin, envoyé à bob"));
    QFile a(source), b(target);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_TRUE(a.readAll() == b.readAll());

    // Once over, the tips say so without being asked.
    for (Member *m : { &alice, &bob }) {
        EXPECT_TRUE(waitUntil([&] { return m->tray->toolTip() == QStringLiteral("Voxlane - ") + m->pseudo; }, kWaitMs))
            << m->pseudo.toStdString() << ": " << m->tray->toolTip().toStdString();
    }
    EXPECT_EQ(RecordedErrors::take(), QStringList());
}

TEST_F(DesktopTransfers, ATransferTheOtherMemberCancelsIsAFailureOnTheDesktop)
{
    if (!bus.started())
        GTEST_SKIP() << "dbus-daemon is not installed (Debian package dbus-daemon)";
    ASSERT_TRUE(server.registered());
    TransferJob::setFastModeByDefault(true);
    const qsizetype size = 64 * 1024 * 1024 + 5;
    const QString source = makeFile(QStringLiteral("gros.bin"), size);
    bob.dialogs.fileNames.enqueue(bob.home.filePath(QStringLiteral("gros.bin")));
    offer(source);
    ASSERT_TRUE(waitForSent(QStringLiteral("Fichier proposé par alice"))) << logs().toStdString();
    // Accepted in the confirmation window this time.
    bob.w->reception->btnAccepterClick();

    TransferJob *down = nullptr;
    ASSERT_TRUE(waitUntil(
        [&] {
            const QList<TransferJob *> &downloads = bob.w->transfers().downloads();
            down = downloads.isEmpty() ? nullptr : downloads.first();
            return down && down->FichierTel() > 0 && !alice.w->transfers().uploads().isEmpty();
        },
        kWaitMs))
        << logs().toStdString();
    TransferJob *up = alice.w->transfers().uploads().first();
    ASSERT_NE(up, nullptr);
    ASSERT_LT(down->FichierTel(), size) << "the file must still be on its way";
    up->cancelByUser();

    ASSERT_TRUE(waitForSent(QStringLiteral("Téléchargement échoué"))) << logs().toStdString();
    EXPECT_EQ(sent(QStringLiteral("Téléchargement échoué"))->body,
        QStringLiteral("gros.bin (alice) : ") + TransferJob::cancelledText(QStringLiteral("alice")));
    EXPECT_EQ(sent(QStringLiteral("Téléchargement échoué"))->hints.value("category").toString(),
        QStringLiteral("transfer.error"));
    // The canceller was not failed by anyone; nobody finished anything.
    EXPECT_EQ(sent(QStringLiteral("Envoi échoué")), nullptr);
    EXPECT_EQ(sent(QStringLiteral("Téléchargement terminé")), nullptr);
    qsizetype failures = 0;
    for (const FakeNotificationServer::Sent &s : server.sent)
        failures += s.summary == QStringLiteral("Téléchargement échoué");
    EXPECT_EQ(failures, 1);
}

} // namespace
