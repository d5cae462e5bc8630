#include "DescribedPeers.h"
#include "TransferHarness.h"

#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

// Our panels against the described peers, with the link cut at each point
// of a block's exchange and the transfer then resumed from each side's saved
// count. Whatever happens, a "Terminé" is true (the file arrived whole) and
// a completed file is the file sent; where the described protocol itself
// cannot finish, our panel says "Déconnecté" and never "Terminé".
// Our panels ask for and grant fast mode here as everywhere: these are the
// tables of a fast-mode sender against a receiver that never answers it, and
// of a described sender against a receiver that would grant it.

namespace {

constexpr int kWaitMs = 10000;
constexpr qint64 kSize = 1000; // blocks at 0, 256, 512 and a short one at 768

const char *cutName(Cut c)
{
    switch (c) {
    case Cut::None:
        return "none";
    case Cut::BeforeBlock:
        return "before the block arrives";
    case Cut::AfterWrite:
        return "after the write, before its status is read";
    case Cut::AfterStatus:
        return "after the status";
    }
    return "?";
}

struct ResumeCase
{
    Cut cut;
    int block; // index of the block whose exchange is cut
    bool completes; // our panel ends "Terminé"
};

// Block 3 is the last, short one.
const ResumeCase kOurSenderCases[] = {
    { Cut::BeforeBlock, 0, true },
    { Cut::BeforeBlock, 2, true },
    { Cut::BeforeBlock, 3, true },
    { Cut::AfterWrite, 0, true },
    { Cut::AfterWrite, 2, true },
    // The receiver completed; the status never came and a finished
    // receiver cannot serve the resumption: our sender must not claim it.
    { Cut::AfterWrite, 3, false },
    { Cut::AfterStatus, 0, true },
    { Cut::AfterStatus, 2, true },
    { Cut::AfterStatus, 3, true },
};

const ResumeCase kOurReceiverCases[] = {
    // The described sender counted a block that never arrived and repeats
    // it past our file's end for ever: nothing can finish that.
    { Cut::BeforeBlock, 0, false },
    { Cut::BeforeBlock, 2, false },
    { Cut::BeforeBlock, 3, false },
    { Cut::AfterWrite, 0, true },
    { Cut::AfterWrite, 2, true },
    { Cut::AfterWrite, 3, true },
    { Cut::AfterStatus, 0, true },
    { Cut::AfterStatus, 2, true },
    { Cut::AfterStatus, 3, true },
};

class ResumeInterop : public ::testing::Test
{
protected:
    void SetUp() override { RecordedErrors::take(); }
    void TearDown() override { EXPECT_EQ(RecordedErrors::take(), QStringList()); }

    static bool finished(const TvzkLoadPanel &p)
    {
        return p.CaptionLabelInfo() == u"Terminé" || p.CaptionLabelInfo() == u"Déconnecté";
    }

    TransferHarness h;
};

TEST_F(ResumeInterop, OurSenderAgainstTheDescribedReceiver)
{
    int i = 0;
    for (const ResumeCase &c : kOurSenderCases) {
        SCOPED_TRACE(std::string(cutName(c.cut)) + ", block " + std::to_string(c.block));
        const QString name = QStringLiteral("to-model-%1.bin").arg(i++);
        const QByteArray data = TransferHarness::randomBytes(kSize);
        TransferHarness::write(h.source(name), data);
        DescribedReceiver model(h.temp, name, h.destination(name));
        model.cutAt(c.cut, c.block);

        qint64 saved = 0;
        int terminated = 0;
        for (int attempt = 0; attempt < 2; ++attempt) {
            auto up = h.upload(name, model.port(), saved);
            QSignalSpy done(up.get(), &TvzkLoadPanel::OnTelTermine);
            up->job()->setClientActive(true);
            ASSERT_TRUE(waitUntil([&] { return finished(*up) && !up->job()->isClientActive(); }, kWaitMs));
            terminated += int(done.count());
            saved = up->FichierTel();
            if (attempt == 0) {
                EXPECT_TRUE(model.linkCut());
            }
            if (up->Status() == u"0")
                break;
        }
        // Let the model see the end of the last connection.
        waitUntil([] { return false; }, 20);
        EXPECT_EQ(terminated, c.completes ? 1 : 0);
        EXPECT_TRUE(model.complete());
        ASSERT_TRUE(waitUntil([&] { return QFile::exists(model.destination()); }, kWaitMs));
        EXPECT_TRUE(TransferHarness::sameBytes(model.destination(), data));
    }
}

TEST_F(ResumeInterop, TheDescribedSenderAgainstOurReceiver)
{
    int i = 0;
    for (const ResumeCase &c : kOurReceiverCases) {
        SCOPED_TRACE(std::string(cutName(c.cut)) + ", block " + std::to_string(c.block));
        const QString name = QStringLiteral("from-model-%1.bin").arg(i++);
        const QByteArray data = TransferHarness::randomBytes(kSize);
        TransferHarness::write(h.source(name), data);
        DescribedSender model(h.source(name));
        model.cutAt(c.cut, c.block);

        qint64 saved = 0;
        int terminated = 0;
        QString caption;
        for (int attempt = 0; attempt < 2; ++attempt) {
            auto down = h.download(name, kSize, saved);
            QSignalSpy done(down.get(), &TvzkLoadPanel::OnTelTermine);
            // A completion is true at the moment it is announced, and the
            // file is in place by then.
            QObject::connect(down.get(), &TvzkLoadPanel::OnTelTermine, down.get(),
                [&] { EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data)); });
            model.start(quint16(down->Port()));
            ASSERT_TRUE(waitUntil([&] { return model.ended() && finished(*down); }, kWaitMs));
            // The move happens at the completion.
            waitUntil([&] { return down->Status() != u"0" || QFile::exists(h.destination(name)); }, kWaitMs);
            terminated += int(done.count());
            saved = down->FichierTel();
            caption = down->CaptionLabelInfo();
            if (attempt == 0) {
                EXPECT_TRUE(model.linkCut());
            }
            if (down->Status() == u"0")
                break;
        }
        EXPECT_EQ(terminated, c.completes ? 1 : 0);
        EXPECT_EQ(caption, c.completes ? QStringLiteral("Terminé") : QStringLiteral("Déconnecté"));
        if (c.completes) {
            EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
        } else {
            EXPECT_FALSE(QFile::exists(h.destination(name)));
            // What did arrive is kept, and is the sender's.
            const QByteArray partial = TransferHarness::contents(h.partial(name));
            EXPECT_EQ(partial, data.left(partial.size()));
            EXPECT_EQ(saved, partial.size());
        }
    }
}

} // namespace
