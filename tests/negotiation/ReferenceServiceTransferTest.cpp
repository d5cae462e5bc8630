// Two clients that log in to our reference community service (run as its own
// program with the demo members) find each other's address there and send a
// file from one to the other.
#include "components/ui/TRbButton.h"
#include "base/SettingsStore.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmPrincipal.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/ui/TfrmReception.h"
#include "service/ServiceSession.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include "MemberProgram.h"

#include "support/EventWait.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"
#include "support/ScriptedDialogs.h"
#include "support/Timing.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#ifdef VOXLANE_DEVSERVER_BINARY

namespace {

constexpr int kWaitMs = 10000 * kTimeScale;

using Member = MemberProgram;

class ReferenceServiceTransfer : public testing::Test
{
protected:
    void SetUp() override
    {
        service.setProgram(QStringLiteral(VOXLANE_DEVSERVER_BINARY));
        service.setArguments({ QStringLiteral("--db"), dbDir.filePath(QStringLiteral("service.sqlite")),
            QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--seed"),
            QStringLiteral("demo"), QStringLiteral("--quiet") });
        service.start();
        ASSERT_TRUE(service.waitForStarted(5000));
        QByteArray line;
        while (!line.contains('\n') && service.waitForReadyRead(5000))
            line += service.readAllStandardOutput();
        const QRegularExpressionMatch m
            = QRegularExpression(QStringLiteral("serving (http://[0-9.]+:[0-9]+)"))
                  .match(QString::fromLatin1(line));
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        serviceUrl = m.captured(1);
    }

    void TearDown() override
    {
        for (Member *m : { &alice, &bob })
            m->end();
        // The pop-ups of the finished transfer are still on screen.
        closePopups();
        service.terminate();
        service.waitForFinished(5000);
    }

    void logIn(Member &m, const QString &pseudo, const QString &ip)
    {
        m.pseudo = pseudo;
        m.ip = ip;
        m.start(serviceUrl);
        m.w->txtPseudo->setText(pseudo);
        m.w->txtMDP->setText(pseudo);
        m.w->btnConnexion->click();
        ASSERT_TRUE(m.w->session().isConnected()) << m.w->lblInfo->text().toStdString();
    }

    QTemporaryDir dbDir;
    QProcess service;
    QString serviceUrl;
    Member alice;
    Member bob;
};

TEST_F(ReferenceServiceTransfer, AliceSendsBobAFile)
{
    const QString aliceIp = MainWindowFixture::uniqueLoopbackAddress(0);
    const QString bobIp = MainWindowFixture::uniqueLoopbackAddress(1);
    logIn(alice, QStringLiteral("alice"), aliceIp);
    logIn(bob, QStringLiteral("bob"), bobIp);
    ASSERT_TRUE(alice.w->presence().PollOnline());
    ASSERT_TRUE(bob.w->presence().PollOnline());
    ASSERT_EQ(alice.w->presence().GetIP(QStringLiteral("bob")), bobIp);
    ASSERT_EQ(bob.w->presence().GetIP(QStringLiteral("alice")), aliceIp);

    const QString source = alice.home.filePath(QStringLiteral("lettre.txt"));
    QByteArray bytes;
    for (int i = 0; i < 1500; ++i)
        bytes += char(i * 7);
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    const QString target = bob.home.filePath(QStringLiteral("recue.txt"));
    bob.dialogs.fileNames.enqueue(target);

    alice.w->FileNameSend->setText(source);
    alice.w->txtDesti->setText(QStringLiteral("bob"));
    alice.w->btnShowTel->Click();
    ASSERT_TRUE(waitUntil([&] { return bob.w->reception->isVisible(); }, kWaitMs));
    EXPECT_EQ(bob.w->reception->lblDe->text(), QStringLiteral("alice"));
    bob.w->reception->btnAccepter->Click();

    ASSERT_TRUE(waitUntil(
        [&] {
            const QStringList &down = bob.w->downloadNames();
            const QStringList &up = alice.w->uploadNames();
            auto *d = down.isEmpty() ? nullptr : bob.w->panel(down.first());
            auto *u = up.isEmpty() ? nullptr : alice.w->panel(up.first());
            return d && u && d->CaptionLabelInfo() == QStringLiteral("Terminé")
                && u->CaptionLabelInfo() == QStringLiteral("Terminé") && QFile::exists(target);
        },
        kWaitMs));
    QFile received(target);
    ASSERT_TRUE(received.open(QIODevice::ReadOnly));
    EXPECT_EQ(received.readAll(), bytes);
    // The panels' ids start with each member's id at the service.
    EXPECT_TRUE(bob.w->downloadNames().first().startsWith(QStringLiteral("Tel2")));
    EXPECT_TRUE(alice.w->uploadNames().first().startsWith(QStringLiteral("Tel1")));
}

} // namespace

#endif
