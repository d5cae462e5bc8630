// How a transfer ends when a user cancels it, and how it stops and goes on
// when the receiving disk is full.
#include "TransferHarness.h"

#include "transfer/DataPacket.h"
#include "transfer/TransferJob.h"

#include "support/EventWait.h"
#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"

#include <QDir>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 20000;

class Endings : public testing::Test
{
protected:
    void SetUp() override { RecordedErrors::take(); }
    void TearDown() override { EXPECT_EQ(RecordedErrors::take(), QStringList()); }

    TransferHarness h;
};

// Between two Voxlane clients a cancel on either side reaches the other,
// which stops for good (no further attempt makes sense, none is wanted),
// says who cancelled and keeps no partial file; the canceller's own partial
// file goes too.
TEST_F(Endings, EitherSidesCancelReachesTheOther)
{
    const qsizetype size = 48 * 1024 * 1024;
    const QByteArray data = TransferHarness::randomBytes(size);
    for (const bool byReceiver : { true, false }) {
        SCOPED_TRACE(byReceiver ? "the receiver cancels" : "the sender cancels");
        const QString name = byReceiver ? QStringLiteral("par-bob.bin") : QStringLiteral("par-alice.bin");
        TransferHarness::write(h.source(name), data);
        auto down = h.download(name, size);
        down->job()->setFichierProprio(QStringLiteral("alice"));
        auto up = h.upload(name, quint16(down->Port()));
        up->job()->setFichierProprio(QStringLiteral("bob"));
        QSignalSpy told(byReceiver ? up->job() : down->job(), &TransferJob::cancelledByPeer);
        up->job()->setClientActive(true);
        ASSERT_TRUE(waitUntil([&] { return down->FichierTel() > 0; }, kWaitMs));
        ASSERT_LT(down->FichierTel(), size);
        ASSERT_TRUE(down->job()->isFast());

        (byReceiver ? down : up)->job()->cancelByUser();
        TvzkLoadPanel *other = byReceiver ? up.get() : down.get();
        ASSERT_TRUE(waitUntil([&] { return told.count() == 1; }, kWaitMs));
        EXPECT_EQ(other->CaptionLabelInfo(), TransferJob::cancelledText(byReceiver ? QStringLiteral("bob") : QStringLiteral("alice")));
        EXPECT_EQ(other->Status(), TransferJob::CancelledStatus);
        EXPECT_FALSE(other->job()->wantsRetry());
        EXPECT_FALSE(other->job()->waitsForPeer());
        EXPECT_TRUE(waitUntil([&] { return !QFile::exists(h.partial(name)); }, kWaitMs));
        EXPECT_FALSE(QFile::exists(h.destination(name)));
        // Nothing starts again: not the upload, not the download's port.
        up->job()->setClientActive(true);
        down->job()->setServerActive(true);
        EXPECT_FALSE(up->job()->isClientActive());
        EXPECT_FALSE(down->job()->isServerActive());
    }
}

// A described peer knows no cancel message: our receiver's cancel only
// closes its port, and the sender's next attempt is refused, which its
// panel says.
TEST_F(Endings, ADescribedConnectionSeesTheCancelAsARefusedPort)
{
    h.fast = false;
    const QString name = QStringLiteral("lent.bin");
    const QByteArray data = TransferHarness::randomBytes(400 * 1024);
    TransferHarness::write(h.source(name), data);
    auto down = h.download(name, data.size());
    down->job()->setFichierProprio(QStringLiteral("alice"));
    auto up = h.upload(name, quint16(down->Port()));
    up->job()->setFichierProprio(QStringLiteral("bob"));
    up->job()->setClientActive(true);
    ASSERT_TRUE(waitUntil([&] { return down->FichierTel() > 0; }, kWaitMs));
    down->job()->cancelByUser();
    EXPECT_FALSE(QFile::exists(h.partial(name)));
    ASSERT_TRUE(waitUntil([&] { return up->CaptionLabelInfo() == u"Déconnecté"; }, kWaitMs));
    QSignalSpy errors(up->job(), &TransferJob::socketError);
    up->job()->setClientActive(true);
    ASSERT_TRUE(waitUntil([&] { return errors.count() == 1; }, kWaitMs));
    EXPECT_TRUE(errors.first().first().toString().contains(QStringLiteral("10061")));
}

// A small file system of its own for the temp folder, mounted for the test
// (only where the test may mount one).
class SmallDisk
{
public:
    explicit SmallDisk(const QString &folder)
        : m_folder(QFile::encodeName(folder))
    {
        m_mounted = ::geteuid() == 0
            && ::mount("tmpfs", m_folder.constData(), "tmpfs", 0, "size=256k,mode=0700") == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    bool grow() { return ::mount("tmpfs", m_folder.constData(), "tmpfs", MS_REMOUNT, "size=8m,mode=0700") == 0; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

// The receiving disk fills up: the download says "Disque plein" (not a bare
// "Déconnecté"), keeps what it holds, and once there is room the sender's
// next attempt carries the transfer to its end, byte for byte.
TEST_F(Endings, AFullDiskIsSaidAndTheTransferGoesOnOnceThereIsRoom)
{
    SmallDisk disk(h.temp);
    if (!disk.mounted())
        GTEST_SKIP() << "no small file system can be mounted here";
    for (const bool fast : { true, false }) {
        SCOPED_TRACE(fast ? "fast" : "stop and wait");
        h.fast = fast;
        const QString name = fast ? QStringLiteral("plein-rapide.bin") : QStringLiteral("plein-lent.bin");
        const QByteArray data = TransferHarness::randomBytes(1024 * 1024);
        TransferHarness::write(h.source(name), data);
        auto down = h.download(name, data.size());
        down->job()->setFichierProprio(QStringLiteral("alice"));
        auto up = h.upload(name, quint16(down->Port()));
        up->job()->setFichierProprio(QStringLiteral("bob"));
        up->job()->setClientActive(true);
        ASSERT_TRUE(waitUntil(
            [&] { return down->CaptionLabelInfo() == TransferJob::noSpaceText() && !up->job()->isClientActive(); },
            kWaitMs))
            << down->CaptionLabelInfo().toStdString();
        const qint64 held = QFileInfo(h.partial(name)).size();
        EXPECT_GT(held, 0);
        EXPECT_LT(held, data.size());
        EXPECT_TRUE(down->job()->isServerActive());

        // Room again: the next attempt goes on from what is held.
        ASSERT_TRUE(disk.grow());
        QSignalSpy done(down.get(), &TvzkLoadPanel::OnTelTermine);
        up->job()->setClientActive(true);
        ASSERT_TRUE(waitUntil([&] { return done.count() == 1 && QFile::exists(h.destination(name)); }, kWaitMs));
        EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
        // The next case starts on a small disk again.
        ASSERT_TRUE(::mount("tmpfs", QFile::encodeName(h.temp).constData(), "tmpfs", MS_REMOUNT, "size=256k") == 0);
    }
}

} // namespace
