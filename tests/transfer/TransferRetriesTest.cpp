// The uploads that go on by themselves: the waits between attempts, on a
// clock the test moves, and what stops or hastens them.
#include "TransferHarness.h"

#include "transfer/TransferJob.h"
#include "transfer/TransferRetries.h"

#include "support/EventWait.h"
#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 20000;

TEST(RetryBackoff, DoublesFromTwoSecondsToOneMinuteAndStartsOver)
{
    RetryBackoff b;
    QList<int> waits;
    for (int i = 0; i < 8; ++i)
        waits << b.next();
    EXPECT_EQ(waits, QList<int>({ 2000, 4000, 8000, 16000, 32000, 60000, 60000, 60000 }));
    b.reset();
    EXPECT_EQ(b.next(), 2000);
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class Retries : public testing::Test
{
protected:
    Retries()
    {
        RecordedErrors::take();
        h.fast = false;
        retries.Now = [this] { return clock; };
        retries.GetIP = [this](const QString &pseudo) {
            return pseudo == u"bob" && bobOnline ? QStringLiteral("127.0.0.1") : QString();
        };
    }
    ~Retries() override { EXPECT_EQ(RecordedErrors::take(), QStringList()); }

    // One attempt more has ended (it was refused: nobody listens).
    bool attemptEnded(const QSignalSpy &stops, int before)
    {
        return waitUntil([&] { return stops.count() > before; }, kWaitMs);
    }
    // Nothing starts: no attempt in a few turns of the event loop.
    static bool nothingStarts(const TransferJob &job)
    {
        for (int i = 0; i < 20; ++i) {
            QTest::qWait(1);
            if (job.isRunning())
                return false;
        }
        return true;
    }

    TransferHarness h;
    TransferRetries retries;
    qint64 clock = 100000;
    bool bobOnline = true;
};

// Refused attempts follow the waits; a recipient offline is not tried; its
// return is tried at once; the sender's own pause stops everything until
// its "Reprendre"; once somebody listens the transfer ends and nothing more
// is planned.
TEST_F(Retries, AStoppedUploadIsTriedAgainAfterEachWaitWhileItsRecipientIsOnline)
{
    const QString name = QStringLiteral("retry.bin");
    const QByteArray data = TransferHarness::randomBytes(5000);
    TransferHarness::write(h.source(name), data);
    const quint16 port = freePort();
    auto up = h.upload(name, port);
    up->job()->setFichierProprio(QStringLiteral("bob"));
    TransferJob *job = up->job();
    retries.watch(job);
    QSignalSpy stops(job, &TransferJob::stopped);

    job->setClientActive(true);
    ASSERT_TRUE(attemptEnded(stops, 0));
    qint64 last = clock;
    for (const int wait : { 2000, 4000, 8000, 16000, 32000, 60000, 60000 }) {
        SCOPED_TRACE(wait);
        ASSERT_EQ(retries.dueAt(job), last + wait);
        // A moment early: nothing.
        clock = last + wait - 1;
        const int before = int(stops.count());
        retries.runDue();
        EXPECT_TRUE(nothingStarts(*job));
        EXPECT_EQ(stops.count(), before);
        // On time: one attempt, refused.
        clock = last + wait;
        retries.runDue();
        ASSERT_TRUE(attemptEnded(stops, before));
        last = clock;
    }
    EXPECT_TRUE(up->CaptionLabelProgress().endsWith(QStringLiteral(" - en attente de bob")));

    // Bob goes offline: nothing is tried, however long.
    bobOnline = false;
    retries.presenceChanged();
    EXPECT_EQ(retries.dueAt(job), -1);
    const int whileAway = int(stops.count());
    clock += 10 * RetryBackoff::MaxDelayMs;
    retries.runDue();
    EXPECT_TRUE(nothingStarts(*job));
    EXPECT_EQ(stops.count(), whileAway);

    // Back online: tried at once, and the waits start over.
    bobOnline = true;
    retries.presenceChanged();
    ASSERT_TRUE(attemptEnded(stops, whileAway));
    EXPECT_EQ(retries.dueAt(job), clock + RetryBackoff::FirstDelayMs);

    // The sender's pause: nothing until its own "Reprendre".
    job->pauseByUser();
    EXPECT_EQ(retries.dueAt(job), -1);
    const int paused = int(stops.count());
    clock += 10 * RetryBackoff::MaxDelayMs;
    retries.runDue();
    retries.presenceChanged();
    EXPECT_TRUE(nothingStarts(*job));
    EXPECT_EQ(stops.count(), paused);
    EXPECT_EQ(up->CaptionLabelProgress(), QStringLiteral("Pause"));

    // Somebody listens now; "Reprendre" and the transfer ends.
    auto down = h.download(name, data.size());
    down->job()->setServerActive(false);
    down->job()->setPort(port);
    down->job()->setServerActive(true);
    QSignalSpy done(job, &TransferJob::OnTelTermine);
    job->resumeByUser();
    ASSERT_TRUE(waitUntil([&] { return done.count() == 1 && QFile::exists(h.destination(name)); }, kWaitMs));
    EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
    EXPECT_EQ(retries.dueAt(job), -1);
    EXPECT_FALSE(job->wantsRetry());
}

// An attempt cut after it moved the transfer on starts the waits over; a
// lasting failure (the file to send is gone) is not tried again by itself.
TEST_F(Retries, ProgressStartsTheWaitsOverAndALastingFailureStopsThem)
{
    const QString name = QStringLiteral("moving.bin");
    const QByteArray data = TransferHarness::randomBytes(200 * 1024);
    TransferHarness::write(h.source(name), data);
    auto down = h.download(name, data.size());
    auto up = h.upload(name, quint16(down->Port()));
    up->job()->setFichierProprio(QStringLiteral("bob"));
    TransferJob *job = up->job();
    retries.watch(job);
    // Two refused attempts first: the next wait would be 8 s.
    down->job()->setServerActive(false);
    QSignalSpy stops(job, &TransferJob::stopped);
    job->setClientActive(true);
    ASSERT_TRUE(attemptEnded(stops, 0));
    clock = retries.dueAt(job);
    retries.runDue();
    ASSERT_TRUE(attemptEnded(stops, 1));
    EXPECT_EQ(retries.dueAt(job), clock + 4000);

    // It listens again; the next attempt moves the file on, then is cut.
    down->job()->setServerActive(true);
    clock = retries.dueAt(job);
    retries.runDue();
    ASSERT_TRUE(waitUntil([&] { return job->FichierTel() > 10000; }, kWaitMs));
    const int before = int(stops.count());
    up->ClientSocket()->abort();
    ASSERT_TRUE(attemptEnded(stops, before));
    EXPECT_EQ(retries.dueAt(job), clock + RetryBackoff::FirstDelayMs);

    // The file to send is gone: said once, and not tried again by itself.
    ASSERT_TRUE(QFile::remove(h.source(name)));
    clock = retries.dueAt(job);
    retries.runDue();
    ASSERT_TRUE(waitUntil([&] { return RecordedErrors::messages().size() == 1; }, kWaitMs));
    RecordedErrors::take();
    EXPECT_FALSE(job->wantsRetry());
    EXPECT_EQ(retries.dueAt(job), -1);
    clock += 10 * RetryBackoff::MaxDelayMs;
    retries.presenceChanged();
    EXPECT_TRUE(nothingStarts(*job));
    EXPECT_EQ(RecordedErrors::take(), QStringList());
}

} // namespace
