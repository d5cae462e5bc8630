#include "transfer/DataSender.h"
#include "transfer/DataPacket.h"
#include "transfer/DataReceiver.h"

#include "support/QtPrinters.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

using Action = DataSender::Action;

class DataSenderTest : public ::testing::Test
{
protected:
    QString makeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }
    static QByteArray randomBytes(int n)
    {
        QByteArray b(n, Qt::Uninitialized);
        for (char &c : b)
            c = char(QRandomGenerator::global()->generate());
        return b;
    }
    static qint32 offsetOf(const QByteArray &block) { return DataPacket::readInt(block, 4); }
    static qint32 countOf(const QByteArray &block) { return DataPacket::readInt(block, 8); }

    QTemporaryDir dir;
    DataSender sender;
};

TEST_F(DataSenderTest, MissingFileCannotStart)
{
    QString error;
    EXPECT_FALSE(sender.start(dir.filePath(QStringLiteral("gone.bin")), 0, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("gone.bin")));
    EXPECT_FALSE(sender.isFileOpen());
}

TEST_F(DataSenderTest, ReadOnlyFileCanBeSent)
{
    const QString path = makeFile(QStringLiteral("ro.bin"), "abc");
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    EXPECT_TRUE(sender.start(path, 0));
    // The described header, with the fast-mode marker where the size
    // field's unread bytes are.
    QByteArray header = DataPacket::header("ro.bin", "3");
    DataPacket::Capability fast;
    fast.fileSize = 3;
    DataPacket::addCapability(header, fast);
    EXPECT_EQ(sender.takeHeader(), header);
}

TEST_F(DataSenderTest, BlocksCountWhenSent)
{
    ASSERT_TRUE(sender.start(makeFile(QStringLiteral("f.bin"), randomBytes(600)), 0));
    sender.takeHeader();
    EXPECT_EQ(sender.sent(), 0);
    auto step = sender.onStatus(0);
    ASSERT_EQ(step.action, Action::Send);
    EXPECT_EQ(offsetOf(step.bytes), 0);
    EXPECT_EQ(countOf(step.bytes), 256);
    EXPECT_EQ(sender.acknowledged(), 0);
    EXPECT_EQ(sender.sent(), 256);
    step = sender.onStatus(6); // refused: the same block again
    EXPECT_EQ(step.action, Action::Send);
    EXPECT_EQ(offsetOf(step.bytes), 0);
    EXPECT_EQ(sender.sent(), 256);
    step = sender.onStatus(0);
    EXPECT_EQ(offsetOf(step.bytes), 256);
    EXPECT_EQ(sender.acknowledged(), 256);
    EXPECT_EQ(sender.sent(), 512);
    step = sender.onStatus(0);
    EXPECT_EQ(offsetOf(step.bytes), 512);
    EXPECT_EQ(countOf(step.bytes), 88);
    EXPECT_EQ(sender.sent(), 600);
    EXPECT_EQ(sender.onStatus(0).action, Action::Complete);
    EXPECT_EQ(sender.acknowledged(), 600);
    EXPECT_EQ(sender.sent(), 600);
    EXPECT_FALSE(sender.isFileOpen());
}

TEST_F(DataSenderTest, RefusalsInARowEndTheAttempt)
{
    ASSERT_TRUE(sender.start(makeFile(QStringLiteral("f.bin"), randomBytes(2000)), 0));
    sender.takeHeader();
    sender.onStatus(0);
    for (int i = 1; i < DataSender::MaxRefusals; ++i)
        ASSERT_EQ(sender.onStatus(i % 2 ? 6 : 1).action, Action::Send) << i;
    // A success in between starts the count again.
    ASSERT_EQ(sender.onStatus(0).action, Action::Send);
    for (int i = 1; i < DataSender::MaxRefusals; ++i)
        ASSERT_EQ(sender.onStatus(3).action, Action::Send) << i;
    EXPECT_EQ(sender.onStatus(3).action, Action::Close);
    EXPECT_EQ(sender.acknowledged(), 256);
}

// Status 4 on the first block after the header: our saved count included
// a block that never reached the receiver. One step back, never to 0.
TEST_F(DataSenderTest, StepsBackOnceWhenAheadOfTheReceiver)
{
    using F = DataSender::Failure;
    const struct
    {
        const char *what;
        qint64 resume;
        std::vector<qint32> statuses; // after the header's 0
        std::vector<qint32> offsets; // of the blocks sent, the first included
        Action last;
        F failure;
    } cases[] = {
        { "step back one block, then carry on", 1024, { 4, 0 }, { 1024, 768, 1024 }, Action::Send, F::None },
        { "the last, short block was in flight", 2000, { 4, 0 }, { 2000, 1744 }, Action::Complete, F::None },
        { "refused again after the step back", 1024, { 4, 4 }, { 1024, 768 }, Action::Close,
            F::SteppedBackRefused },
        { "a short count steps back to 0", 100, { 4, 0 }, { 100, 0, 256 }, Action::Send, F::None },
        { "nothing to step back to", 0, { 4 }, { 0 }, Action::Close, F::SteppedBackRefused },
        { "4 on a later block repeats it", 0, { 0, 4, 4 }, { 0, 256, 256, 256 }, Action::Send, F::None },
        { "a step back is taken once per connection", 1024, { 4, 0, 4 }, { 1024, 768, 1024, 1024 },
            Action::Send, F::None },
    };
    const QString path = makeFile(QStringLiteral("f.bin"), randomBytes(2000));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        DataSender s;
        ASSERT_TRUE(s.start(path, c.resume));
        s.takeHeader();
        auto step = s.onStatus(0);
        std::vector<qint32> offsets;
        for (qint32 status : c.statuses) {
            ASSERT_EQ(step.action, Action::Send);
            offsets.push_back(offsetOf(step.bytes));
            step = s.onStatus(status);
        }
        if (step.action == Action::Send)
            offsets.push_back(offsetOf(step.bytes));
        EXPECT_EQ(offsets, c.offsets);
        EXPECT_EQ(step.action, c.last);
        EXPECT_EQ(s.failure(), c.failure);
    }
}

TEST_F(DataSenderTest, RefusedHeaderAndStatusesOutOfTurn)
{
    ASSERT_TRUE(sender.start(makeFile(QStringLiteral("f.bin"), "abc"), 0));
    EXPECT_EQ(sender.onStatus(0).action, Action::None); // nothing sent yet
    sender.takeHeader();
    EXPECT_EQ(sender.onStatus(5).action, Action::Close);
    EXPECT_EQ(sender.failure(), DataSender::Failure::HeaderRefused);
}

TEST_F(DataSenderTest, StatusIsTakenOnlyWhenAllFourBytesAreThere)
{
    ASSERT_TRUE(sender.start(makeFile(QStringLiteral("f.bin"), "abcdef"), 0));
    sender.takeHeader();
    QBuffer back;
    back.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    back.buffer().append(DataPacket::status(0).left(3));
    EXPECT_EQ(sender.receive(back).action, Action::None);
    back.buffer().append(DataPacket::status(0).mid(3) + DataPacket::status(0).left(1));
    const auto step = sender.receive(back);
    ASSERT_EQ(step.action, Action::Send);
    EXPECT_EQ(countOf(step.bytes), 6);
    EXPECT_EQ(sender.receive(back).action, Action::None);
    back.buffer().append(DataPacket::status(0).mid(1));
    EXPECT_EQ(sender.receive(back).action, Action::Complete);
}

TEST_F(DataSenderTest, ResumePointIsHeldWithinTheFile)
{
    ASSERT_TRUE(sender.start(makeFile(QStringLiteral("f.bin"), "abcdef"), 99));
    sender.takeHeader();
    const auto step = sender.onStatus(0);
    EXPECT_EQ(offsetOf(step.bytes), 6);
    EXPECT_EQ(countOf(step.bytes), 0);
}

// Both ends without a network: a run interrupted after some blocks and
// resumed with the counts each side saved gives the file byte for byte.
TEST_F(DataSenderTest, InterruptedAndResumedTransferInMemory)
{
    const QString temp = dir.filePath(QStringLiteral("temp"));
    const QByteArray data = randomBytes(5000);
    const QString source = makeFile(QStringLiteral("data.bin"), data);
    qint64 senderSaved = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        DataReceiver receiver;
        receiver.setTempDir(temp);
        receiver.setExpectedName(QStringLiteral("data.bin"));
        DataSender s;
        s.setFastOffered(false);
        ASSERT_TRUE(s.start(source, senderSaved));
        QBuffer wire;
        wire.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        QBuffer back;
        back.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        DataSender::Step step { Action::Send, s.takeHeader() };
        int blocks = 0;
        while (step.action == Action::Send && !(attempt == 0 && blocks == 7)) {
            wire.buffer().append(step.bytes);
            back.buffer().append(receiver.receive(wire));
            step = s.receive(back);
            ++blocks;
        }
        senderSaved = s.sent();
        if (attempt == 0) {
            // The seventh block was counted but never reached the wire.
            EXPECT_EQ(senderSaved, 7 * 256);
            EXPECT_EQ(receiver.held(), 6 * 256);
        } else {
            EXPECT_EQ(step.action, Action::Complete);
            EXPECT_TRUE(receiver.isComplete());
            QFile f(receiver.filePath());
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_EQ(f.readAll(), data);
        }
    }
}

} // namespace
