// Two whole clients, a transfer stopped half-way, both programs closed and
// started again, both members logging in again: the saved lists bring the
// transfer back and it ends with the very file that was sent.
#include "base/SettingsStore.h"
#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmMsgBox.h"
#include "app/ui/TfrmPrincipal.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/ui/TfrmReception.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferManager.h"
#include "app/ui/TransferListOps.h"
#include "transfer/ui/TransferPanels.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include "support/FakeService.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"
#include "support/ScriptedDialogs.h"
#include "support/Timing.h"

#include <QAction>
#include <QApplication>
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

struct Member
{
    QString pseudo;
    QString ip;
    QTemporaryDir home;
    std::unique_ptr<SettingsStore> settings;
    ScriptedDialogs dialogs;
    std::unique_ptr<TfrmPrincipal> w;
    std::unique_ptr<TfrmReception> reception;

    TvzkLoadPanel *first(const QStringList &list) const
    {
        return list.isEmpty() ? nullptr : w->TransferView->panelNamed(list.first());
    }
};

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
        for (QWidget *top : QApplication::topLevelWidgets())
            if (qobject_cast<TfrmMsgBox *>(top))
                delete top;
        QCoreApplication::processEvents();
    }

    // Starts the member's program on its own folder, as a restart does.
    void start(Member &m)
    {
        m.settings = std::make_unique<SettingsStore>(m.home.filePath(QStringLiteral("config/Voxlane.conf")));
        AppServices services;
        services.dialogs = &m.dialogs;
        services.settings = m.settings.get();
        services.environment.homeDir = m.home.path();
        services.environment.serviceUrl = service.baseUrl();
        services.environment.localIp = m.ip;
        m.w = std::make_unique<TfrmPrincipal>(services);
        m.w->TransferView->AvatarLoader = nullptr; // no avatars served here
        m.reception = std::make_unique<TfrmReception>();
        m.reception->Flash = nullptr;
        m.w->ReceptionWindow = m.reception.get();
        ConnectReception(m.w.get(), m.reception.get(), &m.dialogs);
    }

    // Both members are online, each at its own address.
    void scriptPresence()
    {
        QString body = QStringLiteral("<html><body>\r\n");
        for (const Member *m : { &alice, &bob }) {
            QString letters;
            alice.w->Codec.EncryptForUser(m->pseudo, m->ip, letters);
            body += QStringLiteral("pseudo=") + m->pseudo + QStringLiteral("<br>") + letters
                + QStringLiteral("<br>\r\n");
        }
        service.script(
            "/voxlane/getconnected.php", FakeService::Reply::text(body + QStringLiteral("</body></html>")));
    }

    static void logIn(Member &m)
    {
        m.w->pnMdpLogin->show();
        m.w->txtPseudo->setText(m.pseudo);
        m.w->txtMDP->setText(QStringLiteral("secret"));
        m.w->btnConnexionClick();
        ASSERT_TRUE(m.w->Connected);
    }

    // Closing the main window: the lists are saved, the session closed.
    static void stop(Member &m)
    {
        if (!m.w)
            return;
        if (m.w->Connected) {
            EXPECT_TRUE(m.w->FormCloseQuery());
        }
        m.reception.reset();
        m.w.reset();
        QCoreApplication::processEvents();
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
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char(QRandomGenerator::global()->bounded(256));
    const QString source = alice.home.filePath(name);
    {
        QFile f(source);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    const QString target = bob.home.filePath(QStringLiteral("reçu.bin"));

    start(alice);
    start(bob);
    scriptPresence();
    logIn(bob);
    logIn(alice);

    alice.w->FileNameSend->setText(source);
    alice.w->txtDesti->setText(QStringLiteral("bob"));
    bob.dialogs.fileNames.enqueue(target);
    alice.w->btnShowTelClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bob.reception->isVisible(); }, kWaitMs));
    bob.reception->btnAccepterClick();

    // Half-way, alice pauses the upload from its menu.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const TvzkLoadPanel *up = alice.first(alice.w->Transfers->UploadList);
            return up && up->FichierTel().toLongLong() > size / 4;
        },
        kWaitMs))
        << alice.w->reWatch->toPlainText().toStdString() << "\n---\n"
        << bob.w->reWatch->toPlainText().toStdString();
    alice.w->PageControl->setCurrentIndex(2);
    alice.w->SelectedUpload = alice.w->Transfers->UploadList.first();
    alice.w->ListOps->PopupMenu1Popup();
    ASSERT_EQ(alice.w->ListOps->Pause1->text(), QStringLiteral("Pau&se"));
    alice.w->ListOps->Pause1Click();
    TvzkLoadPanel *down = bob.first(bob.w->Transfers->DownloadList);
    ASSERT_NE(down, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return down->CaptionLabelInfo() == u"Déconnecté"; }, kWaitMs))
        << down->CaptionLabelInfo().toStdString();
    const QString partial = bob.w->TempPath + u'/' + name;
    const qint64 held = QFileInfo(partial).size();
    ASSERT_GT(held, 0);
    ASSERT_LT(held, size);
    const QString downName = bob.w->Transfers->DownloadList.first();
    const QString upName = alice.w->Transfers->UploadList.first();

    // Both programs end, then start again and their members log in.
    stop(alice);
    stop(bob);
    ASSERT_TRUE(QFile::exists(alice.home.filePath(QStringLiteral("alice.xml"))));
    ASSERT_TRUE(QFile::exists(bob.home.filePath(QStringLiteral("bob.xml"))));
    ASSERT_FALSE(QFile::exists(target));

    start(alice);
    start(bob);
    logIn(bob); // listens again on its port
    ASSERT_EQ(bob.w->Transfers->DownloadList, QStringList { downName });
    EXPECT_EQ(bob.first(bob.w->Transfers->DownloadList)->FichierTel(), QString::number(held));
    logIn(alice); // reconnects to bob
    ASSERT_EQ(alice.w->Transfers->UploadList, QStringList { upName });

    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const TvzkLoadPanel *up = alice.first(alice.w->Transfers->UploadList);
            const TvzkLoadPanel *again = bob.first(bob.w->Transfers->DownloadList);
            return up && again && up->Status() == u"0" && again->Status() == u"0" && QFile::exists(target);
        },
        kWaitMs))
        << alice.w->reWatch->toPlainText().toStdString() << "\n---\n"
        << bob.w->reWatch->toPlainText().toStdString();
    QFile result(target);
    ASSERT_TRUE(result.open(QIODevice::ReadOnly));
    EXPECT_TRUE(result.readAll() == data);
    EXPECT_EQ(RecordedErrors::take(), QStringList());
}

} // namespace
