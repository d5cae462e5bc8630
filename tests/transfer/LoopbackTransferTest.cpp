#include "TransferHarness.h"

#include "transfer/FlightWindow.h"
#include "transfer/SizeText.h"
#include "transfer/TransferProperties.h"

#include "support/QtPrinters.h"
#include "support/RecordedErrors.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>

#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int kWaitMs = 20000;

// The child label whose text starts with prefix.
QLabel *labelShowingPrefix(const TvzkLoadPanel &panel, const QString &prefix)
{
    for (QLabel *l : panel.findChildren<QLabel *>())
        if (l->text().startsWith(prefix))
            return l;
    return nullptr;
}

class LoopbackTransfer : public ::testing::Test
{
protected:
    void SetUp() override { RecordedErrors::take(); }
    void TearDown() override { EXPECT_EQ(RecordedErrors::take(), QStringList()); }

    // Runs until both panels are done and the download has left "temp".
    void runToEnd(TvzkLoadPanel &down, TvzkLoadPanel &up, const QString &name)
    {
        QSignalSpy downDone(&down, &TvzkLoadPanel::OnTelTermine);
        QSignalSpy upDone(&up, &TvzkLoadPanel::OnTelTermine);
        up.job()->setClientActive(true);
        // The file is in place when the download completes; the download
        // shows its "Terminé" once the sender has left.
        EXPECT_TRUE(waitUntil(
            [&] {
                return QFile::exists(h.destination(name)) && upDone.count() == 1 && downDone.count() == 1
                    && !down.LabelInfo()->isHidden();
            },
            kWaitMs))
            << name.toStdString();
        EXPECT_EQ(downDone.count(), 1);
        ASSERT_EQ(upDone.count(), 1);
        EXPECT_EQ(upDone.first().first().value<QObject *>(), &up);
    }

    TransferHarness h;
};

TEST_F(LoopbackTransfer, FilesOfEverySizeArriveByteForByte)
{
    for (const qsizetype size : { 0, 1, 256, 257, 1024 * 1024 }) {
        const QString name = QStringLiteral("file-%1.bin").arg(size);
        const QByteArray data = TransferHarness::randomBytes(size);
        TransferHarness::write(h.source(name), data);
        auto down = h.download(name, size);
        auto up = h.upload(name, down->Port());
        runToEnd(*down, *up, name);
        EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data)) << size;
        EXPECT_FALSE(QFile::exists(h.partial(name)));
        for (TvzkLoadPanel *p : { down.get(), up.get() }) {
            EXPECT_EQ(p->Status(), QStringLiteral("0"));
            EXPECT_EQ(p->FichierTel(), size);
            EXPECT_EQ(p->CaptionLabelInfo(), QStringLiteral("Terminé"));
            EXPECT_FALSE(p->LabelInfo()->isHidden());
            EXPECT_TRUE(p->ProgressBar()->isHidden());
            EXPECT_EQ(p->LabelInfo()->palette().color(QPalette::WindowText), QColor(35, 75, 141));
        }
        EXPECT_EQ(down->CaptionLabelProgress(),
            SizeText::FormatSize(size) + QStringLiteral(" sur ") + SizeText::FormatSize(size));
        EXPECT_FALSE(up->job()->isClientActive());
    }
}

TEST_F(LoopbackTransfer, SeveralTransfersAtOnceDoNotMix)
{
    std::vector<std::unique_ptr<TvzkLoadPanel>> downs, ups;
    std::vector<QByteArray> data;
    for (int i = 0; i < 3; ++i) {
        const QString name = QStringLiteral("multi-%1.bin").arg(i);
        data.push_back(TransferHarness::randomBytes(100000 + i * 777));
        TransferHarness::write(h.source(name), data.back());
        downs.push_back(h.download(name, data.back().size()));
        ups.push_back(h.upload(name, downs.back()->Port()));
    }
    for (auto &up : ups)
        up->job()->setClientActive(true);
    EXPECT_TRUE(waitUntil(
        [&] {
            for (int i = 0; i < 3; ++i)
                if (!QFile::exists(h.destination(QStringLiteral("multi-%1.bin").arg(i))))
                    return false;
            return true;
        },
        kWaitMs));
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(TransferHarness::sameBytes(h.destination(QStringLiteral("multi-%1.bin").arg(i)), data[i]))
            << i;
}

// Pausing either side (making its socket inactive) stops the transfer;
// reactivating both continues from the counts each side kept.
TEST_F(LoopbackTransfer, PauseAndResumeContinueWhereTheyStopped)
{
    for (const bool fast : { false, true })
        for (const bool pauseDownload : { true, false }) {
            h.fast = fast;
            // A fast transfer holds 2 MiB in flight: the file must be larger
            // for a pause to find it under way.
            const qsizetype size = fast ? 16 * 1024 * 1024 : 1024 * 1024;
            const QString name = QStringLiteral("pause-%1-%2.bin")
                                     .arg(pauseDownload ? QStringLiteral("down") : QStringLiteral("up"),
                                         fast ? QStringLiteral("fast") : QStringLiteral("described"));
            SCOPED_TRACE(name.toStdString());
            const QByteArray data = TransferHarness::randomBytes(size);
            TransferHarness::write(h.source(name), data);
            auto down = h.download(name, size);
            auto up = h.upload(name, down->Port());
            // Paused as soon as the count passes 200000, from the event loop.
            bool paused = false;
            QObject::connect(up->job(), &TransferJob::progressChanged, up.get(), [&](qint64 at) {
                if (at <= 200000 || paused)
                    return;
                paused = true;
                QTimer::singleShot(0, up.get(), [&] {
                    if (pauseDownload)
                        down->job()->setServerActive(false);
                    else
                        up->job()->setClientActive(false);
                });
            });
            up->job()->setClientActive(true);
            ASSERT_TRUE(waitUntil(
                [&] {
                    return down->CaptionLabelInfo() == u"Déconnecté"
                        && up->CaptionLabelInfo() == u"Déconnecté";
                },
                kWaitMs));
            const qint64 sent = up->FichierTel();
            const qint64 held = down->FichierTel();
            EXPECT_GT(sent, 200000);
            EXPECT_LT(sent, size);
            if (h.fast) {
                // Fast mode counts what the receiver acknowledged: never more
                // than it holds, less by at most what was in flight.
                const qint64 inFlight = up->job()->dataSender().largestInFlight();
                EXPECT_LE(sent, held);
                EXPECT_LE(held, sent + inFlight);
                EXPECT_LE(inFlight, FlightWindow::Ceiling);
            } else {
                // The sender counts a block as it goes out: at most the one in
                // flight is counted on its side and not on the receiver's.
                EXPECT_GE(sent, held);
                EXPECT_LE(sent, held + 256);
            }
            EXPECT_EQ(QFileInfo(h.partial(name)).size(), held);
            EXPECT_NE(down->Status(), QStringLiteral("0"));
            EXPECT_NE(up->Status(), QStringLiteral("0"));

            // The sender restarts from its own count, not from the start.
            qint64 resumedAt = -1;
            QObject::connect(up->ClientSocket(), &QTcpSocket::connected, up.get(),
                [&] { resumedAt = up->ProgressBar()->value(); });
            if (pauseDownload)
                down->job()->setServerActive(true);
            runToEnd(*down, *up, name);
            EXPECT_EQ(resumedAt, sent);
            EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
        }
}

// A partial file left by an earlier run: the receiver takes it as it
// stands and the sender starts from its own saved count. Whatever the file
// holds past that count is written again, so a tail that is not the
// sender's never reaches the result; a sender more than a block ahead of the
// file cannot be served and ends "Déconnecté", the file left as it was. In
// fast mode the sender starts at the lower of the two counts and the hash at
// the end finds a tail that is not the sender's: no "Terminé" then, and the
// file stays in temp.
TEST_F(LoopbackTransfer, PartialFileFromAnEarlierRunResumes)
{
    const qsizetype size = 300000;
    const struct
    {
        qint64 onDisk; // the sender's bytes
        qint64 garbage; // then bytes that are not
        qint64 senderSaved;
        bool completes;
    } cases[] = {
        { 100000, 5000, 100000, true }, // the sender resumes inside the file
        { 100000, 5000, 60000, true }, // the sender is behind: blocks are written again
        { 100000, 0, 100000, true }, // resumes at the file's end
        { 100000, 0, 100200, true }, // the block in flight never arrived: one step back
        { 60000, 5000, 100000, false }, // too far ahead: never starts over from 0
    };
    int i = 0;
    for (const bool fast : { false, true })
        for (const auto &c : cases) {
            h.fast = fast;
            const QString name = QStringLiteral("resume-%1-%2.bin").arg(i++).arg(fast ? "fast" : "described");
            SCOPED_TRACE(name.toStdString());
            const QByteArray data = TransferHarness::randomBytes(size);
            TransferHarness::write(h.source(name), data);
            const QByteArray partial = data.left(c.onDisk) + QByteArray(c.garbage, 'G');
            TransferHarness::write(h.partial(name), partial);
            auto down = h.download(name, size, c.onDisk);
            auto up = h.upload(name, down->Port(), c.senderSaved);
            if (c.completes) {
                runToEnd(*down, *up, name);
                EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
                continue;
            }
            QSignalSpy downDone(down.get(), &TvzkLoadPanel::OnTelTermine);
            QSignalSpy upDone(up.get(), &TvzkLoadPanel::OnTelTermine);
            QSignalSpy log(up.get(), &TvzkLoadPanel::OnLog);
            up->job()->setClientActive(true);
            if (fast) {
                const QString verdict = TransferJob::verificationFailedText();
                ASSERT_TRUE(waitUntil(
                    [&] { return up->CaptionLabelInfo() == verdict && !up->job()->isClientActive(); }, kWaitMs));
                ASSERT_TRUE(waitUntil([&] { return down->CaptionLabelInfo() == verdict; }, kWaitMs));
                // The disconnection that follows leaves the verdict in place.
                waitUntil([] { return false; }, 50);
                EXPECT_EQ(down->CaptionLabelInfo(), verdict);
                EXPECT_EQ(downDone.count() + upDone.count(), 0);
                EXPECT_NE(down->Status(), QStringLiteral("0"));
                EXPECT_NE(up->Status(), QStringLiteral("0"));
                const QByteArray kept = TransferHarness::contents(h.partial(name));
                EXPECT_EQ(kept.size(), size);
                EXPECT_EQ(kept.mid(c.onDisk, c.garbage), QByteArray(c.garbage, 'G'));
                EXPECT_FALSE(QFile::exists(h.destination(name)));
                continue;
            }
            ASSERT_TRUE(waitUntil([&] { return up->CaptionLabelInfo() == u"Déconnecté"; }, kWaitMs));
            ASSERT_TRUE(waitUntil([&] { return down->CaptionLabelInfo() == u"Déconnecté"; }, kWaitMs));
            EXPECT_EQ(log.count(), 1);
            EXPECT_EQ(downDone.count() + upDone.count(), 0);
            EXPECT_EQ(TransferHarness::contents(h.partial(name)), partial);
            EXPECT_FALSE(QFile::exists(h.destination(name)));
        }
}

// A file of more than 2 GiB between two panels in fast mode: the download
// resumes from a partial file just below 2 GiB, so the blocks that move cross
// the 32-bit boundary. Both files are sparse: the test takes little room,
// but each side still hashes the whole file.
TEST_F(LoopbackTransfer, AFileOfMoreThanTwoGigabytesCrossesTheBoundaryAndIsVerified)
{
    constexpr qint64 k2GiB = qint64(1) << 31;
    const qint64 size = k2GiB + 70000;
    const qint64 held = k2GiB - 65536;
    const QString name = QStringLiteral("grand.iso");
    // What the file holds besides zeros: a piece at its start, one in the
    // middle and its last 135536 bytes, across the boundary.
    const struct
    {
        qint64 at;
        QByteArray bytes;
    } pieces[] = {
        { 0, TransferHarness::randomBytes(4096) },
        { qint64(1) << 30, TransferHarness::randomBytes(4096) },
        { held, TransferHarness::randomBytes(size - held) },
    };
    const auto makeSparse = [&](const QString &path, qint64 length) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(length));
        for (const auto &p : pieces) {
            const qint64 n = qMin<qint64>(p.bytes.size(), length - p.at);
            if (n <= 0)
                continue;
            ASSERT_TRUE(f.seek(p.at));
            ASSERT_EQ(f.write(p.bytes.constData(), n), n);
        }
    };
    makeSparse(h.source(name), size);
    makeSparse(h.partial(name), held);

    auto down = h.download(name, size, held);
    auto up = h.upload(name, down->Port(), held);
    EXPECT_EQ(up->FichierPoids(), QStringLiteral("2147553648"));
    QSignalSpy downDone(down.get(), &TvzkLoadPanel::OnTelTermine);
    QSignalSpy upDone(up.get(), &TvzkLoadPanel::OnTelTermine);
    QStringList logs;
    for (TvzkLoadPanel *p : { down.get(), up.get() })
        QObject::connect(p, &TvzkLoadPanel::OnLog, p, [&logs, p, &down](QObject *, const QString &line) {
            logs << (p == down.get() ? QStringLiteral("down: ") : QStringLiteral("up: ")) + line;
        });
    up->job()->setClientActive(true);
    // Hashing 2 GiB on each side takes its time on a slow machine.
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(h.destination(name)) && upDone.count() == 1; }, 300000))
        << qPrintable(logs.join(u'\n')) << "\n" << qPrintable(down->CaptionLabelInfo()) << " / "
        << qPrintable(up->CaptionLabelInfo()) << " " << down->FichierTel() << " / "
        << up->FichierTel();
    EXPECT_EQ(downDone.count(), 1);

    QFile got(h.destination(name));
    ASSERT_TRUE(got.open(QIODevice::ReadOnly));
    EXPECT_EQ(got.size(), size);
    for (const auto &p : pieces) {
        ASSERT_TRUE(got.seek(p.at));
        EXPECT_EQ(got.read(p.bytes.size()), p.bytes) << p.at;
    }
    EXPECT_FALSE(QFile::exists(h.partial(name)));
    const QString caption = SizeText::FormatSize(size) + QStringLiteral(" sur ") + SizeText::FormatSize(size);
    for (TvzkLoadPanel *p : { down.get(), up.get() }) {
        EXPECT_EQ(p->Status(), QStringLiteral("0"));
        EXPECT_EQ(p->FichierTel(), size);
        EXPECT_EQ(p->CaptionLabelInfo(), QStringLiteral("Terminé"));
    }
    EXPECT_EQ(down->CaptionLabelProgress(), caption);
    EXPECT_EQ(down->ProgressBar()->value(), down->ProgressBar()->maximum());
}

// Something is at the destination already. Without the user's agreement
// it is never touched, and a replace that fails leaves it too: the file
// stays in the temp folder, the panel says why and the download is not
// "Terminé" (no completion notice); the user's "Reprendre" tries again once
// the way is clear. With the agreement the new file takes the old one's
// place.
TEST_F(LoopbackTransfer, AnExistingDestinationIsReplacedOnlyWhenTheUserAgreed)
{
    enum class There { File, Folder };
    const struct {
        const char *name;
        bool confirmed;
        There there;
        const char *why; // empty: replaced
    } cases[] = {
        { "refused.bin", false, There::File, "le fichier existe déjà" },
        { "confirmed.bin", true, There::File, "" },
        { "folder.bin", true, There::Folder, "un dossier porte ce nom" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QString::fromLatin1(c.name);
        const QByteArray data = TransferHarness::randomBytes(3000);
        TransferHarness::write(h.source(name), data);
        if (c.there == There::File)
            TransferHarness::write(h.destination(name), "already here");
        else
            ASSERT_TRUE(QDir(h.received).mkdir(name));
        auto down = h.download(name, data.size());
        down->job()->setReplaceConfirmed(c.confirmed);
        auto up = h.upload(name, down->Port());
        QSignalSpy downDone(down.get(), &TvzkLoadPanel::OnTelTermine);
        QSignalSpy upDone(up.get(), &TvzkLoadPanel::OnTelTermine);
        up->job()->setClientActive(true);
        if (!*c.why) {
            ASSERT_TRUE(waitUntil(
                [&] { return downDone.count() == 1 && upDone.count() == 1 && !down->LabelInfo()->isHidden(); },
                kWaitMs));
            EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
            EXPECT_FALSE(QFile::exists(h.partial(name)));
            EXPECT_EQ(down->CaptionLabelInfo(), QStringLiteral("Terminé"));
            EXPECT_EQ(down->Status(), QStringLiteral("0"));
            continue;
        }
        const QString why = TransferJob::placeFailedText(QString::fromUtf8(c.why));
        ASSERT_TRUE(waitUntil(
            [&] { return down->CaptionLabelInfo() == why && upDone.count() == 1 && !down->LabelInfo()->isHidden(); },
            kWaitMs))
            << down->CaptionLabelInfo().toStdString();
        QTest::qWait(50);
        EXPECT_EQ(downDone.count(), 0);
        EXPECT_NE(down->Status(), QStringLiteral("0"));
        EXPECT_EQ(down->CaptionLabelInfo(), why);
        EXPECT_TRUE(TransferHarness::sameBytes(h.partial(name), data));
        if (c.there == There::File)
            EXPECT_EQ(TransferHarness::contents(h.destination(name)), QByteArray("already here"));
        else
            EXPECT_TRUE(QFileInfo(h.destination(name)).isDir());

        // The user clears the way and resumes: the file goes in place.
        if (c.there == There::File)
            QFile::remove(h.destination(name));
        else
            QDir(h.received).rmdir(name);
        down->job()->resumeByUser();
        EXPECT_EQ(downDone.count(), 1);
        EXPECT_EQ(down->Status(), QStringLiteral("0"));
        EXPECT_EQ(down->CaptionLabelInfo(), QStringLiteral("Terminé"));
        EXPECT_FALSE(down->LabelInfo()->isHidden());
        EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
        EXPECT_FALSE(QFile::exists(h.partial(name)));
    }
}

TEST_F(LoopbackTransfer, MissingFileToSendIsReportedAndNoHeaderGoesOut)
{
    auto down = h.download(QStringLiteral("ghost.bin"), 10);
    auto up = h.upload(QStringLiteral("ghost.bin"), down->Port());
    up->job()->setClientActive(true);
    ASSERT_TRUE(waitUntil([&] { return up->CaptionLabelInfo() == u"Déconnecté"; }, kWaitMs));
    const QStringList errors = RecordedErrors::take();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().contains(QStringLiteral("ghost.bin")));
    EXPECT_FALSE(up->job()->isClientActive());
    // The receiver saw a connection come and go, and no file.
    ASSERT_TRUE(waitUntil([&] { return down->ProgressBar()->isHidden(); }, kWaitMs));
    EXPECT_FALSE(QFile::exists(h.partial(QStringLiteral("ghost.bin"))));
}

TEST_F(LoopbackTransfer, RefusedConnectionEndsDisconnected)
{
    quint16 port = 0;
    {
        auto closed = h.download(QStringLiteral("x"), 1);
        port = closed->ServerSocket()->serverPort();
    }
    TransferHarness::write(h.source(QStringLiteral("x")), "x");
    auto up = h.upload(QStringLiteral("x"), port);
    up->job()->setClientActive(true);
    ASSERT_TRUE(waitUntil([&] { return !up->job()->isClientActive(); }, kWaitMs));
    EXPECT_EQ(up->CaptionLabelInfo(), QStringLiteral("Déconnecté"));
    EXPECT_TRUE(up->ProgressBar()->isHidden());
    EXPECT_NE(up->Status(), QStringLiteral("0"));
}

} // namespace

// Both panels of a running transfer show its speed and the time left in a
// line of their own, measured on a clock of the test's; the progress caption
// stays as it is; the line goes when the transfer ends.
TEST_F(LoopbackTransfer, RunningPanelsShowTheirSpeedAndTimeLeft)
{
    h.fast = false; // the described mode's small blocks keep it running a while
    const qsizetype size = 4 * 1024 * 1024;
    const QString name = QStringLiteral("rate.bin");
    const QByteArray data = TransferHarness::randomBytes(size);
    TransferHarness::write(h.source(name), data);
    auto down = h.download(name, size);
    auto up = h.upload(name, down->Port());
    qint64 clock = 0;
    for (TvzkLoadPanel *p : { down.get(), up.get() })
        p->job()->setClock([&clock] { return clock; });
    // A long name keeps clear of the speed line while it shows.
    const QString longName = QStringLiteral("Rapport annuel de l'association, version finale relue et corrigée.pdf");
    down->setCaptionLabelLoad(longName);
    const auto fileLabel = [&] { return labelShowingPrefix(*down, longName.left(6)); };
    QSignalSpy downDone(down.get(), &TvzkLoadPanel::OnTelTermine);
    QSignalSpy upDone(up.get(), &TvzkLoadPanel::OnTelTermine);
    up->job()->setClientActive(true);

    // Under a second measured: no speed yet.
    ASSERT_TRUE(waitUntil([&] { return down->ProgressPosition() > 0 && !down->RateLabel()->isHidden(); }, kWaitMs));
    for (TvzkLoadPanel *p : { down.get(), up.get() })
        EXPECT_EQ(p->RateLabel()->text(), QString::fromUtf8("Calcul de la vitesse…"));

    // Two seconds later, whatever moved meanwhile gives the speed.
    clock = 2000;
    const QRegularExpression line(QString::fromUtf8("^\\d+(\\.\\d)? (o|Ko|Mo)/s — .* restantes?$"));
    ASSERT_TRUE(waitUntil(
        [&] { return downDone.count() > 0 || line.match(down->RateLabel()->text()).hasMatch(); }, kWaitMs));
    ASSERT_EQ(downDone.count(), 0) << "the transfer ended before its speed was drawn";
    EXPECT_TRUE(down->job()->rate().has_value());
    ASSERT_NE(fileLabel(), nullptr);
    EXPECT_LE(fileLabel()->geometry().right(), down->RateLabel()->geometry().left());
    EXPECT_EQ(down->CaptionLabelLoad(), longName);
    for (TvzkLoadPanel *p : { down.get(), up.get() }) // and the properties window's line
        EXPECT_TRUE(line.match(TransferProperties::speedOf(p->job())).hasMatch())
            << TransferProperties::speedOf(p->job()).toStdString();
    EXPECT_TRUE(down->CaptionLabelProgress().contains(QStringLiteral(" sur "))) << down->CaptionLabelProgress().toStdString();

    ASSERT_TRUE(waitUntil([&] { return downDone.count() == 1 && upDone.count() == 1; }, kWaitMs));
    EXPECT_TRUE(TransferHarness::sameBytes(h.destination(name), data));
    for (TvzkLoadPanel *p : { down.get(), up.get() }) {
        EXPECT_TRUE(p->RateLabel()->isHidden());
        EXPECT_FALSE(p->job()->rate().has_value());
        EXPECT_EQ(TransferProperties::speedOf(p->job()), QString::fromUtf8("—"));
    }
    ASSERT_NE(fileLabel(), nullptr);
    EXPECT_EQ(fileLabel()->text(), longName); // whole again
}
