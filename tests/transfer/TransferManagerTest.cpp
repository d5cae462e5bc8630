// Creation and completion of transfers: the lists, the stack, the panels'
// first look, the ids.
#include "transfer/TransferManager.h"
#include "transfer/ui/TransferPanels.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include "transfer/TransferJob.h"

#include "support/EventWait.h"
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

class Transfers : public testing::Test
{
protected:
    Transfers()
    {
        for (QScrollArea *box : { &down, &up }) {
            box->resize(510, 300);
            box->setWidgetResizable(false);
            auto *content = new QWidget;
            content->resize(500, 1);
            box->setWidget(content);
        }
        panels.BindAddress = MainWindowFixture::uniqueLoopbackAddress(0);
        panels.TempPath = [this] { return temp.path(); };
        manager.View = &panels;
        manager.UserId = [] { return 42; };
        manager.GetIP = [this](const QString &pseudo) {
            return online.contains(pseudo) ? QStringLiteral("127.0.0.1") : QString();
        };
        QObject::connect(&manager, &TransferManager::AddPort, [this](int port, const QString &owner) {
            ports << QStringLiteral("%1:%2").arg(port).arg(owner);
        });
    }

    TvzkLoadPanel *panel(const QString &name)
    {
        return down.widget()->findChild<TvzkLoadPanel *>(name)
            ? down.widget()->findChild<TvzkLoadPanel *>(name)
            : up.widget()->findChild<TvzkLoadPanel *>(name);
    }

    QTemporaryDir temp;
    QScrollArea down;
    QScrollArea up;
    TransferManager manager;
    TransferPanels panels { &manager, &down, &up };
    QStringList online;
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

TEST(TransferManagerText, TransferIdsAreTheMemberThenTheLocalTimeAndNeverRepeat)
{
    TransferManager manager;
    manager.UserId = [] { return 42; };
    const QDateTime at(QDate(2004, 6, 10), QTime(14, 3, 5, 123));
    manager.Now = [&] { return at; };
    EXPECT_EQ(manager.NewTransferId(), QStringLiteral("4220040610140305123"));
    // Within the same millisecond the next id moves on instead of naming a
    // second panel like the first.
    EXPECT_EQ(manager.NewTransferId(), QStringLiteral("4220040610140305124"));
}

// Ids only go up during a run: another member logging in with a shorter or
// smaller id, a clock set back an hour, a day's or a year's end, a stamp
// restored from a saved list ahead of the clock. None of these may loop.
TEST(TransferManagerText, TransferIdsGoOnAcrossMemberSwitchesAndClockChanges)
{
    TransferManager manager;
    int user = 42;
    QDateTime now(QDate(2026, 12, 31), QTime(23, 59, 59, 999));
    manager.UserId = [&] { return user; };
    manager.Now = [&] { return now; };
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
        user = step.user;
        now = step.now;
        EXPECT_EQ(manager.NewTransferId(), QString::fromLatin1(step.id));
    }
    // A transfer restored from a list written with a clock ahead of this one.
    manager.NoteTransferId(QStringLiteral("4220300615101010123"));
    manager.NoteTransferId(QStringLiteral("not an id at all"));
    manager.NoteTransferId(QStringLiteral("42203013991010101234")); // no such month
    EXPECT_EQ(manager.NewTransferId(), QStringLiteral("123420300615101010124"));
}

TEST_F(Transfers, PanelsStackEverySeventyEightPixelsFromTheScrollPosition)
{
    panels.BindAddress.clear();
    down.widget()->resize(500, 1000);
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(manager.NewDownload(QString::number(i), QStringLiteral("bob"), QStringLiteral("f.txt"),
            QStringLiteral("10"), QStringLiteral("0"), QStringLiteral("/tmp/f"), 0, QStringLiteral("0")));
    down.show();
    down.verticalScrollBar()->setValue(40);
    ASSERT_TRUE(manager.NewDownload(QStringLiteral("2"), QStringLiteral("bob"), QStringLiteral("f.txt"),
        QStringLiteral("10"), QStringLiteral("0"), QStringLiteral("/tmp/f"), 0, QStringLiteral("0")));
    TvzkLoadPanel *third = panel(QStringLiteral("Tel2"));
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->mapTo(down.viewport(), QPoint(0, 0)), QPoint(8, 2 * 78 - 40));
    EXPECT_EQ(third->width(), down.viewport()->width() - 10);
    EXPECT_EQ(manager.DownloadList, QStringList({ "Tel0", "Tel1", "Tel2" }));
    EXPECT_EQ(manager.LastPanel.data(), third);
    EXPECT_EQ(ports, QStringList({ "0:0", "0:1", "0:2" }));
}

TEST_F(Transfers, ASavedCompletedDownloadFromAnOfflineSenderShowsTermine)
{
    ASSERT_TRUE(manager.NewDownload(QStringLiteral("7"), QStringLiteral("bob"), QStringLiteral("setup.exe"),
        QStringLiteral("10"), QStringLiteral("10"), QStringLiteral("/tmp/f"), 2010, QStringLiteral("0")));
    TvzkLoadPanel *p = panel(QStringLiteral("Tel7"));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->CaptionLabelInfo(), QStringLiteral("Terminé"));
    EXPECT_EQ(p->LabelInfo()->palette().color(QPalette::WindowText), QColor(35, 75, 141));
    EXPECT_TRUE(p->ProgressBar()->isHidden());
    EXPECT_FALSE(p->isServerActive());
    EXPECT_EQ(p->CaptionLabelIcone(), QStringLiteral("bob"));
    EXPECT_EQ(p->CaptionLabelLoad(), QStringLiteral("setup.exe"));
    EXPECT_EQ(p->FichierTel(), QStringLiteral("10"));
    EXPECT_EQ(p->Port(), 2010);
}

// Restored from the saved list with its file in place, a finished download
// listens on its row's port again, so that a sender that never got its
// verdict in the earlier session learns it now; removing the panel frees
// the port.
TEST_F(Transfers, ASavedCompletedDownloadAnswersItsReturningSender)
{
    online << QStringLiteral("bob");
    const QByteArray data = QByteArray("finished file ").repeated(1000);
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
    ASSERT_TRUE(probe.listen(QHostAddress(panels.BindAddress), 0));
    const int port = probe.serverPort();
    probe.close();
    const QString size = QString::number(data.size());
    ASSERT_TRUE(manager.NewDownload(QStringLiteral("9"), QStringLiteral("bob"), QStringLiteral("kept.bin"),
        size, size, finished, port, QStringLiteral("0")));
    TvzkLoadPanel *p = panel(QStringLiteral("Tel9"));
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->isServerActive());

    TransferJob sender;
    sender.setFichierPath(source);
    sender.setFichierTel(QStringLiteral("0")); // an older save
    sender.setBindAddress(QStringLiteral("127.0.0.1")); // where bob is online
    sender.setClientAddress(panels.BindAddress);
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

    delete p;
    QTcpServer again;
    EXPECT_TRUE(again.listen(QHostAddress(panels.BindAddress), quint16(port)));
}

TEST_F(Transfers, PeersOfflineAreSaidOnThePanelAndUploadsDoNotConnect)
{
    ASSERT_TRUE(manager.NewDownload(QStringLiteral("1"), QStringLiteral("bob"), QStringLiteral("a.txt"),
        QStringLiteral("10"), QString(), QStringLiteral("/tmp/a"), 0, QString()));
    TvzkLoadPanel *d = panel(QStringLiteral("Tel1"));
    EXPECT_EQ(d->CaptionLabelInfo(), QStringLiteral("Source non trouvée"));
    EXPECT_TRUE(d->ProgressBar()->isHidden());
    EXPECT_TRUE(d->isServerActive()); // listens whether or not the sender is online

    ASSERT_TRUE(manager.NewUpload(QStringLiteral("2"), QStringLiteral("carol"),
        QStringLiteral("/tmp/dir/b.txt"), QStringLiteral("10"), QString(), QString(), 2011, QString()));
    TvzkLoadPanel *u = panel(QStringLiteral("Tel2"));
    EXPECT_EQ(u->CaptionLabelInfo(), QStringLiteral("Destinataire non connecté"));
    EXPECT_FALSE(u->isClientActive());
    EXPECT_EQ(u->FichierTel(), QStringLiteral("0"));
    EXPECT_EQ(u->FichierName(), QStringLiteral("b.txt"));
    EXPECT_EQ(u->CaptionLabelLoad(), QStringLiteral("/tmp/dir/b.txt"));
    EXPECT_EQ(manager.UploadList, QStringList({ "Tel2" }));
    EXPECT_EQ(ports.last(), QStringLiteral("2011:2"));
}

TEST_F(Transfers, ADownloadThatCannotListenIsNeitherListedNorRecorded)
{
    RecordedErrors::install();
    RecordedErrors::take();
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress(panels.BindAddress), 0));
    EXPECT_FALSE(manager.NewDownload(QStringLiteral("1"), QStringLiteral("bob"), QStringLiteral("a.txt"),
        QStringLiteral("10"), QString(), QStringLiteral("/tmp/a"), squatter.serverPort(), QString()));
    EXPECT_TRUE(manager.DownloadList.isEmpty());
    EXPECT_TRUE(ports.isEmpty());
    EXPECT_EQ(panel(QStringLiteral("Tel1")), nullptr);
    EXPECT_EQ(RecordedErrors::take().size(), 1);
}

TEST_F(Transfers, TheIconIsTheRegisteredOneElseTheStockPictureByExactExtension)
{
    EXPECT_EQ(panels.PictureFor(QStringLiteral(".exe")).toImage(), TransferPanels::StockPicture(1).toImage());
    EXPECT_EQ(panels.PictureFor(QStringLiteral(".EXE")).toImage(), TransferPanels::StockPicture(0).toImage());
    EXPECT_NE(TransferPanels::StockPicture(0).toImage(), TransferPanels::StockPicture(1).toImage());
    QPixmap registered(32, 32);
    registered.fill(Qt::red);
    panels.IconForExtension
        = [&](const QString &ext) { return ext == QStringLiteral(".exe") ? registered : QPixmap(); };
    EXPECT_EQ(panels.PictureFor(QStringLiteral(".exe")).toImage(), registered.toImage());
    EXPECT_EQ(panels.PictureFor(QStringLiteral(".txt")).toImage(), TransferPanels::StockPicture(0).toImage());
}

TEST_F(Transfers, CompletionNoticesArePopUps)
{
    QSignalSpy popups(&manager, &TransferManager::Popup);
    manager.DownTermine(nullptr);
    manager.UpTermine(nullptr);
    ASSERT_EQ(popups.size(), 2);
    EXPECT_EQ(popups.at(0), QVariantList({ QStringLiteral("Telechargement"), QStringLiteral("terminé"), 2 }));
    EXPECT_EQ(popups.at(1), QVariantList({ QStringLiteral("Envoi"), QStringLiteral("terminé"), 3 }));
}

} // namespace
