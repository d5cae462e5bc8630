#include "TransferHarness.h"

#include "transfer/TransferJob.h"

#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 10000;

// A transfer runs with no view at all: the job alone reports its progress.
TEST(TransferJob, TransfersWithoutAView)
{
    RecordedErrors::take();
    TransferHarness h;
    const QString name = QStringLiteral("job.bin");
    const QByteArray data = TransferHarness::randomBytes(3000);
    TransferHarness::write(h.source(name), data);

    TransferJob down;
    down.setTempPath(h.temp);
    down.setBindAddress(QStringLiteral("127.0.0.1"));
    down.setPeerAddress(QStringLiteral("127.0.0.1"));
    down.setFichierName(name);
    down.setFichierPath(h.destination(name));
    down.setFichierPoids(QStringLiteral("3000"));
    down.setServerActive(true);

    TransferJob up;
    up.setFichierPath(h.source(name));
    up.setFichierTel(0);
    up.setClientAddress(QStringLiteral("127.0.0.1"));
    up.setPort(down.ServerSocket()->serverPort());

    QSignalSpy downProgress(&down, &TransferJob::progressChanged);
    QSignalSpy downMax(&down, &TransferJob::maximumChanged);
    QSignalSpy downDone(&down, &TransferJob::completed);
    QSignalSpy upDone(&up, &TransferJob::completed);
    QSignalSpy upTermine(&up, &TransferJob::OnTelTermine);
    up.setClientActive(true);
    ASSERT_TRUE(
        waitUntil([&] { return QFile::exists(h.destination(name)) && upDone.count() == 1; }, kWaitMs));
    EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
    ASSERT_EQ(downMax.count(), 1);
    EXPECT_EQ(downMax.first().first().toLongLong(), 3000);
    ASSERT_FALSE(downProgress.isEmpty());
    EXPECT_EQ(downProgress.last().first().toLongLong(), 3000);
    // A download shows "Terminé" when its sender leaves; an upload at once.
    ASSERT_EQ(downDone.count(), 1);
    EXPECT_FALSE(downDone.first().first().toBool());
    EXPECT_TRUE(upDone.first().first().toBool());
    EXPECT_EQ(upTermine.first().first().value<QObject *>(), &up);
    EXPECT_EQ(down.Status(), QStringLiteral("0"));
    EXPECT_EQ(up.FichierTel(), 3000);
    EXPECT_EQ(RecordedErrors::take(), QStringList());
}

// The panel's transfer properties are its job's, and only the job sets
// them: the panel is a view of the transfer.
TEST(TransferJob, PanelPropertiesReadItsJob)
{
    TestPanel panel;
    TransferJob &job = *panel.job();
    job.setFichierTel(512);
    job.setPeerAddress(QStringLiteral("10.0.0.4"));
    job.setPort(2011);
    EXPECT_EQ(panel.property("FichierTel").toLongLong(), 512);
    EXPECT_EQ(panel.property("PeerAddress").toString(), QStringLiteral("10.0.0.4"));
    EXPECT_EQ(panel.property("Port").toInt(), 2011);
    EXPECT_FALSE(panel.setProperty("FichierTel", 7));
    EXPECT_FALSE(panel.setProperty("Port", 7));
    EXPECT_EQ(job.FichierTel(), 512);
    EXPECT_EQ(job.Port(), 2011);
    job.setStatus(QStringLiteral("0"));
    job.setIDTel(QStringLiteral("7"));
    EXPECT_EQ(panel.property("Status").toString(), QStringLiteral("0"));
    EXPECT_EQ(panel.IDTel(), QStringLiteral("7"));
    EXPECT_EQ(panel.ServerSocket(), job.ServerSocket());
    EXPECT_EQ(panel.ClientSocket(), job.ClientSocket());
}

} // namespace
