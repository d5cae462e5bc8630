#include "base/SettingsStore.h"
#include "contacts/PresenceMonitor.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/OfferQueue.h"
#include "service/ServiceSession.h"
#include "support/FakeService.h"
#include "support/ScriptedDialogs.h"
#include "transfer/TransferManager.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString touch(const QTemporaryDir &dir, const QString &relative)
{
    const QString path = dir.filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    return QFileInfo(path).absoluteFilePath();
}

// What a choice or a drop stands for: files as they are, a folder's files at
// every level in name order, each file once, nothing that does not exist.
TEST(OfferQueue, PathsBecomeTheFilesToOffer)
{
    QTemporaryDir dir;
    const QString a = touch(dir, QStringLiteral("lot/a.txt"));
    const QString b = touch(dir, QStringLiteral("lot/sous/b.bin"));
    const QString hidden = touch(dir, QStringLiteral("lot/.cache"));
    const QString c = touch(dir, QStringLiteral("c.jpg"));
    QDir().mkpath(dir.filePath(QStringLiteral("vide")));
    const QString lot = dir.filePath(QStringLiteral("lot"));
    const struct
    {
        const char *what;
        QStringList paths;
        QStringList files;
    } cases[] = {
        { "one file", { c }, { c } },
        { "a folder", { lot }, { hidden, a, b } },
        { "file then folder, order kept", { c, lot }, { c, hidden, a, b } },
        { "a file twice", { a, lot, a }, { a, hidden, b } },
        { "missing and empty", { dir.filePath(QStringLiteral("absent")), dir.filePath(QStringLiteral("vide")) }, {} },
    };
    for (const auto &t : cases)
        EXPECT_EQ(OfferQueue::FilesOf(t.paths), t.files) << t.what;
}

// An offer that fails (nobody to call) drops the files still waiting for
// that member; the queue is free again for the next choice.
TEST(OfferQueue, AFailedOfferDropsTheRestForThatMember)
{
    QTemporaryDir dir;
    const QStringList files
        = { touch(dir, QStringLiteral("1.txt")), touch(dir, QStringLiteral("2.txt")), touch(dir, QStringLiteral("3.txt")) };
    // Nobody is online: no presence poll was ever answered.
    FakeService service;
    ScriptedDialogs dialogs;
    SettingsStore settings { dir.filePath(QStringLiteral("Voxlane.conf")) };
    ServiceSession session { service.baseUrl(), HttpLimits { 2000, 2000 }, QString(), dialogs };
    PresenceMonitor presence { session };
    TransferManager transfers { session, presence, settings, QString() };
    ControlChannel channel { session, presence, transfers };
    OfferQueue queue(channel);
    QSignalSpy ended(&channel, &ControlChannel::OfferEnded);
    EXPECT_EQ(queue.Offer(QStringLiteral("bob"), files), 3);
    ASSERT_EQ(ended.count(), 1);
    EXPECT_EQ(ended.first().first().value<ControlChannel::OfferOutcome>(), ControlChannel::OfferOutcome::Failed);
    EXPECT_EQ(queue.Pending(), 0);
    EXPECT_FALSE(queue.Busy());

    EXPECT_EQ(queue.Offer(QStringLiteral("carol"), { files.first() }), 1);
    EXPECT_EQ(ended.count(), 2);
    EXPECT_EQ(queue.Offer(QStringLiteral("carol"), { dir.filePath(QStringLiteral("absent")) }), 0);
    EXPECT_EQ(ended.count(), 2);
}

} // namespace
