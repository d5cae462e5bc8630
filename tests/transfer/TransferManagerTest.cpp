// Creation and completion of transfers: the lists, the stack, the panels'
// first look, the ids.
#include "components/FileTypeIcons.h"
#include "service/CredentialCodec.h"
#include "transfer/TransferIds.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TTransferPage.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include "support/EventWait.h"
#include "support/FakeService.h"
#include "support/MainWindowFixture.h"
#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// One client logged in as member 42, its transfer manager and its two
// transfer pages as the program joins them; "bob" is online at 127.0.0.1
// when online() says so.
class Transfers : public MainWindowFixture
{
protected:
    Transfers()
    {
        environment.serviceUrl = service.baseUrl();
        w = &createWindow();
        EXPECT_TRUE(w->logInSession(service, QStringLiteral("alice"), 42));
        w->TimerRefresh->stop();
        QObject::connect(&manager(), &TransferManager::AddPort, [this](int port, const QString &owner) {
            ports << QStringLiteral("%1:%2").arg(port).arg(owner);
        });
    }

    TransferManager &manager() const { return w->transfers(); }
    QString bindAddress() const { return environment.localIp; }
    QScrollArea &down() const { return *w->SBDown; }

    // The presence poll answers that these members are online at 127.0.0.1.
    void online(const QStringList &members)
    {
        QString body = QStringLiteral("<html><body>\r\n");
        for (const QString &name : members) {
            QString letters;
            w->session().codec().EncryptForUser(name, QStringLiteral("127.0.0.1"), letters);
            body += QStringLiteral("pseudo=") + name + QStringLiteral("<br>") + letters + QStringLiteral("<br>\r\n");
        }
        w->presence().ApplyPresenceReply(body + QStringLiteral("</body></html>"));
    }

    TvzkLoadPanel *panel(const QString &name) const { return w->panel(name); }

    FakeService service;
    TestClient *w = nullptr;
    QStringList ports;
};

TEST(TransferManagerText, ExtractFileExtKeepsTheLastDotAndCase)
{
    const struct
    {
        const char *name, *ext;
    } cases[] = {
        { "archive.tar.gz", ".gz" },
        { "README", "" },
        { ".profile", ".profile" },
        { "setup.EXE", ".EXE" },
        { "a.", "." },
        { "", "" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(TransferManager::ExtractFileExt(QString::fromLatin1(c.name)), QString::fromLatin1(c.ext))
            << c.name;
}

TEST_F(Transfers, TransferIdsAreTheMemberThenTheLocalTimeAndNeverRepeat)
{
    const QDateTime at(QDate(2004, 6, 10), QTime(14, 3, 5, 123));
    manager().setClock([&] { return at; });
    EXPECT_EQ(manager().NewTransferId(), QStringLiteral("4220040610140305123"));
    // Within the same millisecond the next id moves on instead of naming a
    // second transfer like the first.
    EXPECT_EQ(manager().NewTransferId(), QStringLiteral("4220040610140305124"));
}

// Ids only go up during a run: another member logging in with a shorter or
// smaller id, a clock set back an hour, a day's or a year's end, a stamp
// restored from a saved list ahead of the clock. None of these may loop.
TEST(TransferManagerText, TransferIdsGoOnAcrossMemberSwitchesAndClockChanges)
{
    TransferIds manager;
    QDateTime now;
    const struct
    {
        const char *what;
        int user;
        QDateTime now;
        const char *id;
    } steps[] = {
        { "first", 42, QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999)), "4220261231235959999" },
        { "same millisecond: the year ends", 42, QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999)),
            "4220270101000000000" },
        { "another member, smaller id of the same length", 41, QDateTime(QDate(2026, 12, 31), QTime(23, 0, 0)),
            "4120270101000000001" },
        { "a member with a shorter id, clock set back an hour", 7,
            QDateTime(QDate(2026, 12, 31), QTime(22, 59, 59, 500)), "720270101000000002" },
        { "the clock passes the last stamp", 1234, QDateTime(QDate(2027, 1, 1), QTime(0, 0, 5)),
            "123420270101000005000" },
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.what);
        EXPECT_EQ(manager.next(step.user, step.now), QString::fromLatin1(step.id));
    }
    // A transfer restored from a list written with a clock ahead of this one.
    manager.note(QStringLiteral("4220300615101010123"));
    manager.note(QStringLiteral("not an id at all"));
    manager.note(QStringLiteral("42203013991010101234")); // no such month
    EXPECT_EQ(manager.next(1234, now), QStringLiteral("123420300615101010124"));
}

TEST_F(Transfers, PanelsStackEverySeventyEightPixelsFromTheScrollPosition)
{
    w->PageControl->setCurrentIndex(1);
    w->window->show();
    down().widget()->resize(500, 1000);
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(manager().NewDownload(makeRecord(QString::number(i), QStringLiteral("bob"), QStringLiteral("f.txt"),
            QStringLiteral("10"), 0, QStringLiteral("/tmp/f"), 0, QStringLiteral("0"))));
    down().verticalScrollBar()->setValue(40);
    ASSERT_TRUE(manager().NewDownload(makeRecord(QStringLiteral("2"), QStringLiteral("bob"), QStringLiteral("f.txt"),
        QStringLiteral("10"), 0, QStringLiteral("/tmp/f"), 0, QStringLiteral("0"))));
    TvzkLoadPanel *third = panel(QStringLiteral("Tel2"));
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->mapTo(down().viewport(), QPoint(0, 0)), QPoint(8, 2 * 78 - 40));
    EXPECT_EQ(third->width(), down().viewport()->width() - 10);
    EXPECT_EQ(w->downloadNames(), QStringList({ "Tel0", "Tel1", "Tel2" }));
    EXPECT_EQ(w->downloadsPage->panels().last(), third);
    EXPECT_EQ(third->job(), manager().downloads().last());
    EXPECT_EQ(ports, QStringList({ "0:0", "0:1", "0:2" }));
}

TEST_F(Transfers, ASavedCompletedDownloadFromAnOfflineSenderShowsTermine)
{
    ASSERT_TRUE(manager().NewDownload(makeRecord(QStringLiteral("7"), QStringLiteral("bob"), QStringLiteral("setup.exe"),
        QStringLiteral("10"), 10, QStringLiteral("/tmp/f"), 2010, QStringLiteral("0"))));
    TvzkLoadPanel *p = panel(QStringLiteral("Tel7"));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->CaptionLabelInfo(), QStringLiteral("Terminé"));
    EXPECT_EQ(p->LabelInfo()->palette().color(QPalette::WindowText), QColor(35, 75, 141));
    EXPECT_TRUE(p->ProgressBar()->isHidden());
    EXPECT_FALSE(p->job()->isServerActive());
    EXPECT_EQ(p->CaptionLabelIcone(), QStringLiteral("bob"));
    EXPECT_EQ(p->CaptionLabelLoad(), QStringLiteral("setup.exe"));
    EXPECT_EQ(p->FichierTel(), 10);
    EXPECT_EQ(p->Port(), 2010);
}

// Restored from the saved list with its file in place, a finished download
// listens on its row's port again, so that a sender that never got its
// verdict in the earlier session learns it now; removing the transfer frees
// the port.
TEST_F(Transfers, ASavedCompletedDownloadAnswersItsReturningSender)
{
    online({ QStringLiteral("bob") });
    const QByteArray data = QByteArray("finished file ").repeated(1000);
    QTemporaryDir temp;
    const QString finished = temp.filePath(QStringLiteral("kept.bin"));
    // The sender's copy, under the same name.
    ASSERT_TRUE(QDir(temp.path()).mkpath(QStringLiteral("sender")));
    const QString source = temp.filePath(QStringLiteral("sender/kept.bin"));
    for (const QString &path : { finished, source }) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress(bindAddress()), 0));
    const int port = probe.serverPort();
    probe.close();
    const QString size = QString::number(data.size());
    ASSERT_TRUE(manager().NewDownload(makeRecord(QStringLiteral("9"), QStringLiteral("bob"), QStringLiteral("kept.bin"),
        size, data.size(), finished, port, QStringLiteral("0"))));
    TvzkLoadPanel *p = panel(QStringLiteral("Tel9"));
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->job()->isServerActive());

    TransferJob sender;
    sender.setFichierPath(source);
    sender.setFichierTel(0); // an older save
    sender.setBindAddress(QStringLiteral("127.0.0.1")); // where bob is online
    sender.setClientAddress(bindAddress());
    sender.setPort(port);
    QString senderText;
    QObject::connect(
        &sender, &TransferJob::stopped, [&senderText](const QString &text) { senderText = text; });
    QSignalSpy senderDone(&sender, &TransferJob::OnTelTermine);
    sender.setClientActive(true);
    ASSERT_TRUE(waitUntil([&] { return !sender.isClientActive(); }, 20000));
    EXPECT_EQ(senderDone.count(), 1) << senderText.toStdString();
    EXPECT_EQ(p->CaptionLabelInfo(), QStringLiteral("Terminé"));
    QFile f(finished);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), data);

    manager().KillTel(p->job());
    EXPECT_EQ(panel(QStringLiteral("Tel9")), nullptr);
    QTcpServer again;
    EXPECT_TRUE(again.listen(QHostAddress(bindAddress()), quint16(port)));
}

// A saved list holds finished downloads on the port of an unfinished one
// (every transfer from one member takes the first free port): restored in
// list order, the finished ones give the port up to the unfinished one,
// which listens and can resume; no error box.
TEST_F(Transfers, ARestoredUnfinishedDownloadTakesItsPortFromFinishedOnes)
{
    RecordedErrors::install();
    RecordedErrors::take();
    QTemporaryDir temp;
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress(bindAddress()), 0));
    const int port = probe.serverPort();
    probe.close();
    for (const char *id : { "1", "2" }) {
        const QString done = temp.filePath(QStringLiteral("done%1.bin").arg(QLatin1String(id)));
        QFile f(done);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("0123456789");
        f.close();
        ASSERT_TRUE(manager().NewDownload(makeRecord(QString::fromLatin1(id), QStringLiteral("bob"),
            QFileInfo(done).fileName(), QStringLiteral("10"), 10, done, port, QStringLiteral("0"))));
    }
    ASSERT_TRUE(panel(QStringLiteral("Tel1"))->job()->isServerActive());
    ASSERT_TRUE(manager().NewDownload(makeRecord(QStringLiteral("3"), QStringLiteral("bob"), QStringLiteral("k2.bin"),
        QStringLiteral("10"), 0, temp.filePath(QStringLiteral("k2.bin")), port, QString())));
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
    EXPECT_EQ(manager().downloads().size(), 3);
    EXPECT_TRUE(panel(QStringLiteral("Tel3"))->job()->isServerActive());
    EXPECT_FALSE(panel(QStringLiteral("Tel1"))->job()->isServerActive());
    EXPECT_FALSE(panel(QStringLiteral("Tel2"))->job()->isServerActive());
    // A finished one restored after it does not take the port back.
    const QString late = temp.filePath(QStringLiteral("late.bin"));
    QFile f(late);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("0123456789");
    f.close();
    ASSERT_TRUE(manager().NewDownload(makeRecord(QStringLiteral("4"), QStringLiteral("bob"), QStringLiteral("late.bin"),
        QStringLiteral("10"), 10, late, port, QStringLiteral("0"))));
    EXPECT_TRUE(panel(QStringLiteral("Tel3"))->job()->isServerActive());
    EXPECT_TRUE(RecordedErrors::take().isEmpty());
}

TEST_F(Transfers, PeersOfflineAreSaidOnThePanelAndUploadsDoNotConnect)
{
    ASSERT_TRUE(manager().NewDownload(makeRecord(QStringLiteral("1"), QStringLiteral("bob"), QStringLiteral("a.txt"),
        QStringLiteral("10"), 0, QStringLiteral("/tmp/a"), 0, QString())));
    TvzkLoadPanel *d = panel(QStringLiteral("Tel1"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->CaptionLabelInfo(), QStringLiteral("Source non trouvée"));
    EXPECT_TRUE(d->ProgressBar()->isHidden());
    EXPECT_TRUE(d->job()->isServerActive()); // listens whether or not the sender is online

    ASSERT_TRUE(manager().NewUpload(makeRecord(QStringLiteral("2"), QStringLiteral("carol"), QString(),
        QStringLiteral("10"), 0, QStringLiteral("/tmp/dir/b.txt"), 2011, QString())));
    TvzkLoadPanel *u = panel(QStringLiteral("Tel2"));
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->CaptionLabelInfo(), QStringLiteral("Destinataire non connecté"));
    EXPECT_FALSE(u->job()->isClientActive());
    EXPECT_EQ(u->FichierTel(), 0);
    EXPECT_EQ(u->FichierName(), QStringLiteral("b.txt"));
    EXPECT_EQ(u->CaptionLabelLoad(), QStringLiteral("/tmp/dir/b.txt"));
    EXPECT_EQ(w->uploadNames(), QStringList({ "Tel2" }));
    EXPECT_EQ(ports.last(), QStringLiteral("2011:2"));
}

TEST_F(Transfers, ADownloadThatCannotListenIsNeitherListedNorRecorded)
{
    RecordedErrors::install();
    RecordedErrors::take();
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress(bindAddress()), 0));
    EXPECT_FALSE(manager().NewDownload(makeRecord(QStringLiteral("1"), QStringLiteral("bob"), QStringLiteral("a.txt"),
        QStringLiteral("10"), 0, QStringLiteral("/tmp/a"), squatter.serverPort(), QString())));
    EXPECT_TRUE(manager().downloads().isEmpty());
    EXPECT_TRUE(ports.isEmpty());
    EXPECT_EQ(panel(QStringLiteral("Tel1")), nullptr);
    EXPECT_EQ(RecordedErrors::take().size(), 1);
}

TEST_F(Transfers, TheIconIsTheRegisteredOneElseTheStockPictureByExactExtension)
{
    const TTransferPage &page = *w->downloadsPage;
    EXPECT_NE(TTransferPage::StockPicture(0).toImage(), TTransferPage::StockPicture(1).toImage());
    // A type nobody registers: the plain file picture.
    EXPECT_EQ(page.PictureFor(QStringLiteral(".qqzzunknowntype")).toImage(), TTransferPage::StockPicture(0).toImage());
    // What the desktop registers wins; else the program picture for exactly
    // ".exe" and the plain one otherwise (".EXE" is not ".exe").
    for (const char *ext : { ".exe", ".EXE", ".txt" }) {
        SCOPED_TRACE(ext);
        const QImage registered = w->controllers().fileTypes().forExtension(QLatin1String(ext));
        const QPixmap expected = !registered.isNull() ? QPixmap::fromImage(registered)
                                                      : TTransferPage::StockPicture(QLatin1String(ext) == u".exe" ? 1 : 0);
        EXPECT_EQ(page.PictureFor(QLatin1String(ext)).toImage(), expected.toImage());
    }
}

TEST_F(Transfers, CompletionNoticesArePopUps)
{
    ASSERT_TRUE(manager().NewDownload(makeRecord(QStringLiteral("1"), QStringLiteral("bob"), QStringLiteral("a.txt"),
        QStringLiteral("10"), 0, QStringLiteral("/tmp/a"), 0, QString())));
    ASSERT_TRUE(manager().NewUpload(makeRecord(QStringLiteral("2"), QStringLiteral("carol"), QString(),
        QStringLiteral("10"), 0, QStringLiteral("/tmp/dir/b.txt"), 2011, QString())));
    QSignalSpy popups(&manager(), &TransferManager::Popup);
    QSignalSpy changed(&manager(), &TransferManager::ListChanged);
    TransferJob *down = manager().downloads().first();
    TransferJob *up = manager().uploads().first();
    emit down->OnTelTermine(down);
    emit up->OnTelTermine(up);
    ASSERT_EQ(popups.size(), 2);
    EXPECT_EQ(popups.at(0), QVariantList({ QStringLiteral("Telechargement"), QStringLiteral("terminé"), 2 }));
    EXPECT_EQ(popups.at(1), QVariantList({ QStringLiteral("Envoi"), QStringLiteral("terminé"), 3 }));
    EXPECT_EQ(changed.size(), 2);
}

} // namespace
