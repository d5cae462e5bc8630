#include "TransferHarness.h"

#include "transfer/TransferListStore.h"

#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int kWaitMs = 20000;

// One client's lists made of real panels on loopback, re-created the way
// the transfer manager re-creates them.
class PanelHost : public TransferListHost
{
public:
    explicit PanelHost(const QString &temp)
        : m_temp(temp)
    {
    }

    std::vector<std::unique_ptr<TvzkLoadPanel>> downloads, uploads;

    QList<TransferRecord> downloadRecords() const override { return records(downloads); }
    QList<TransferRecord> uploadRecords() const override { return records(uploads); }

    void restoreDownload(const TransferRecord &r) override
    {
        auto panel = std::make_unique<TestPanel>();
        panel->job()->setRecord(r);
        panel->job()->setTempPath(m_temp);
        panel->job()->setBindAddress(QStringLiteral("127.0.0.1"));
        // Restored in a new session: the sender is taken from where it is
        // online now.
        panel->job()->ResolvePeer = [this](const QString &pseudo) { return GetIP(pseudo); };
        if (r.Status != QLatin1String("0"))
            panel->job()->setServerActive(true);
        downloads.push_back(std::move(panel));
    }
    void restoreUpload(const TransferRecord &r, const QString &address) override
    {
        auto panel = std::make_unique<TestPanel>();
        panel->job()->setRecord(r);
        panel->job()->setFichierName(QFileInfo(r.FichierPath).fileName());
        panel->job()->setClientAddress(address);
        uploads.push_back(std::move(panel));
        if (r.Status != QLatin1String("0") && !address.isEmpty())
            uploads.back()->job()->setClientActive(true);
    }
    QString GetIP(const QString &) const override { return QStringLiteral("127.0.0.1"); }

private:
    static QList<TransferRecord> records(const std::vector<std::unique_ptr<TvzkLoadPanel>> &panels)
    {
        QList<TransferRecord> out;
        for (const auto &p : panels)
            out.append(p->job()->record());
        return out;
    }
    QString m_temp;
};

// A transfer stopped half-way, both clients' lists saved and their panels
// destroyed (an exit), then both lists loaded again (a restart and a
// log-in): the download resumes from its partial file and the result is
// the file that was sent, byte for byte.
TEST(PersistedResume, InterruptedTransferResumesAfterARestart)
{
    RecordedErrors::take();
    TransferHarness h;
    // Stop and wait, so that the pause finds the 1 MiB file under way (fast
    // mode has all of it in flight at once); the fast-mode resumption is in
    // FastInteropTest.
    h.fast = false;
    QTemporaryDir aliceHome, bobHome;
    const QString name = QStringLiteral("vacances été.bin");
    const qsizetype size = 1024 * 1024;
    const QByteArray data = TransferHarness::randomBytes(size);
    TransferHarness::write(h.source(name), data);

    qint64 held = 0;
    {
        PanelHost bob(h.temp), alice(h.temp);
        auto down = h.download(name, size);
        auto up = h.upload(name, down->Port());
        for (auto *p : { down.get(), up.get() }) {
            p->job()->setIDTel(QStringLiteral("4220261225143005123"));
            p->job()->setFichierProprio(p == down.get() ? QStringLiteral("alice") : QStringLiteral("bob"));
        }
        up->job()->setClientActive(true);
        ASSERT_TRUE(waitUntil([&] { return up->FichierTel() > 300000; }, kWaitMs));
        up->job()->setClientActive(false);
        ASSERT_TRUE(waitUntil(
            [&] {
                return down->CaptionLabelInfo() == u"Déconnecté" && up->CaptionLabelInfo() == u"Déconnecté";
            },
            kWaitMs));
        // The download's own partial file, named after its transfer id.
        held = QFileInfo(QDir(h.temp).filePath(
                             TransferJob::partialFileName(QStringLiteral("4220261225143005123"), name)))
                   .size();
        ASSERT_GT(held, 0);
        ASSERT_LT(held, size);
        bob.downloads.push_back(std::move(down));
        alice.uploads.push_back(std::move(up));
        TransferListStore(bob, bobHome.path()).SaveLoad(QStringLiteral("bob"));
        TransferListStore(alice, aliceHome.path()).SaveLoad(QStringLiteral("alice"));
    }

    PanelHost bob(h.temp), alice(h.temp);
    ASSERT_TRUE(TransferListStore(bob, bobHome.path()).OpenLoad(QStringLiteral("bob"), h.temp));
    ASSERT_EQ(bob.downloads.size(), 1u);
    EXPECT_EQ(bob.downloads.front()->FichierTel(), held);
    EXPECT_EQ(bob.downloads.front()->FichierProprio(), QStringLiteral("alice"));
    QSignalSpy downDone(bob.downloads.front().get(), &TvzkLoadPanel::OnTelTermine);
    ASSERT_TRUE(TransferListStore(alice, aliceHome.path()).OpenLoad(QStringLiteral("alice"), h.temp));
    ASSERT_EQ(alice.uploads.size(), 1u);
    EXPECT_EQ(alice.uploads.front()->FichierName(), name);

    ASSERT_TRUE(waitUntil(
        [&] { return QFile::exists(h.destination(name)) && alice.uploads.front()->Status() == u"0"; },
        kWaitMs));
    EXPECT_EQ(downDone.count(), 1);
    EXPECT_EQ(bob.downloads.front()->Status(), QStringLiteral("0"));
    EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
    EXPECT_EQ(RecordedErrors::take(), QStringList());
}

} // namespace
