// scripts/bench transfer
//
// Moves a file between two transfer panels over loopback (both on this
// process's user-interface thread, as in the client), in the described
// stop-and-wait mode and in fast mode, and, in the same run and on the same
// file, through the bare stop-and-wait protocol loop of RawProtocolLoop.cpp
// and as a plain TCP copy to disk (PlainTcp.cpp); fast mode once more
// between two members with keys, inside TLS. A 20 ms timer runs on the
// user-interface thread during the panel transfers: how late its ticks come
// (the loop lag) shows whether the receiving window stays responsive while
// it also does the sending panel's work. Peak resident memory is taken from
// child runs of 1 MiB and 1 GiB fast transfers.
//
// The protocol loop is a ping-pong between two threads: each 256-byte block
// costs two thread wake-ups, so its figure falls steeply when other programs
// keep both cores busy (the load average is printed for that reason); the
// ratio of the described panels to it, measured in the same run, is what to
// compare between runs.
//
// MB/s are 10^6 bytes per second. The last line reads:
//   transfer: A MB/s, fast F MB/s, encrypted E MB/s, tcp-to-disk T MB/s, protocol limit B MB/s,
//             ratio R, rss growth M MiB, loop lag P ms
// where A and R are the described mode's, E is fast mode inside TLS and P
// is the fast run's.
//
// Options: --size MiB (64), --sender-thread (the upload runs as a job on a
// thread and event loop of its own, as the other member's client would),
// --only described|fast|encrypted (that run alone, for profiling).
#include "BenchFiles.h"
#include "BenchUpload.h"
#include "PlainTcp.h"
#include "RawProtocolLoop.h"

#include "base/BlockMemory.h"
#include "transfer/PeerKeys.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

constexpr qint64 kMiB = 1024 * 1024;

qint64 peakRssKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

struct PanelRun
{
    bool ok = false;
    double seconds = 0;
    double maxLateMs = 0;
    int ticks = 0;
};

PanelRun runPanels(
    const QString &source, const QString &work, qint64 size, bool fast, bool oneThread, bool encrypted = false)
{
    PanelRun run;
    const QString temp = QDir(work).filePath(QStringLiteral("temp"));
    const QString dest = QDir(work).filePath(QStringLiteral("received.bin"));
    QDir().mkpath(temp);
    QFile::remove(dest);

    const auto [sender, receiver] = benchKeys(work, encrypted);
    BenchDownload down(temp, QFileInfo(source).fileName(), dest, size, fast, receiver);
    down.panel().show();

    QEventLoop loop;
    BenchUpload up(source, size, QStringLiteral("bench.bin"), down.port(), fast,
        !oneThread, &loop, [&loop] { loop.quit(); }, sender);

    QElapsedTimer clock;
    qint64 lastTick = 0;
    QTimer gui;
    gui.setTimerType(Qt::PreciseTimer);
    gui.setInterval(20);
    QObject::connect(&gui, &QTimer::timeout, &loop, [&] {
        const qint64 now = clock.nsecsElapsed();
        run.maxLateMs = qMax(run.maxLateMs, (now - lastTick) / 1e6 - 20.0);
        lastTick = now;
        ++run.ticks;
    });
    QTimer::singleShot(30 * 60 * 1000, &loop, &QEventLoop::quit);

    clock.start();
    gui.start();
    up.start();
    loop.exec();
    run.seconds = clock.nsecsElapsed() / 1e9;
    gui.stop();

    run.ok = down.arrived(up, source, fast, encrypted);
    QFile::remove(dest);
    return run;
}

// Child run: one transfer of the given size, then its peak resident memory.
int rssChild(qint64 mib, bool oneThread)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.bin"));
    if (!makeRandomFile(source, mib * kMiB))
        return 1;
    const PanelRun run = runPanels(source, dir.path(), mib * kMiB, true, oneThread);
    std::printf("peak_rss_kib %lld ok %d\n", qlonglong(peakRssKiB()), int(run.ok));
    return run.ok ? 0 : 1;
}

qint64 childPeakKiB(qint64 mib, bool oneThread)
{
    QProcess child;
    QStringList args { QStringLiteral("--rss-child"), QString::number(mib) };
    if (!oneThread)
        args << QStringLiteral("--sender-thread");
    child.start(QCoreApplication::applicationFilePath(), args);
    if (!child.waitForFinished(30 * 60 * 1000) || child.exitCode() != 0)
        return -1;
    const QList<QByteArray> words = child.readAllStandardOutput().split(' ');
    return words.size() > 1 ? words.at(1).toLongLong() : -1;
}

void printLoad()
{
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (loadavg.open(QIODevice::ReadOnly))
        std::printf("load average: %s\n", loadavg.readLine().trimmed().constData());
}

} // namespace

int main(int argc, char **argv)
{
    // As the program does at its start.
    KeepBlockMemory();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool oneThread = !args.contains(QStringLiteral("--sender-thread"));
    if (args.size() > 2 && args.at(1) == u"--rss-child")
        return rssChild(args.at(2).toLongLong(), oneThread);
    qint64 mib = 64;
    QString only;
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == u"--size")
            mib = args.at(i + 1).toLongLong();
        else if (args.at(i) == u"--only")
            only = args.at(i + 1);
    }
    if (mib <= 0) {
        std::fprintf(
            stderr, "usage: transfer [--size MiB] [--sender-thread] [--only described|fast|encrypted]\n");
        return 2;
    }

    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.bin"));
    if (!makeRandomFile(source, mib * kMiB)) {
        std::fprintf(stderr, "transfer: cannot write %s\n", qPrintable(source));
        return 1;
    }
    const qint64 size = mib * kMiB;
    printLoad();
    if (only == u"described" || only == u"fast" || only == u"encrypted") {
        const PanelRun run = runPanels(source, dir.filePath(QStringLiteral("panels")), size, only != u"described",
            oneThread, only == u"encrypted");
        std::printf("%s: %.2f MB/s%s, loop lag %.1f ms\n", qPrintable(only), size / run.seconds / 1e6,
            run.ok ? "" : " (FAILED)", run.maxLateMs);
        return run.ok ? 0 : 1;
    }

    const QString rawDest = dir.filePath(QStringLiteral("raw.bin"));
    const RawProtocolResult raw = runRawProtocolLoop(source.toStdString(), rawDest.toStdString());
    const bool rawSame = raw.ok && sameFiles(source, rawDest);
    QFile::remove(rawDest);
    const double rawRate = size / raw.seconds / 1e6;
    std::printf("protocol loop: %lld MiB in %.2f s, %.2f MB/s%s\n", qlonglong(mib), raw.seconds, rawRate,
        rawSame ? "" : " (FAILED)");

    const PanelRun panels = runPanels(source, dir.filePath(QStringLiteral("panels")), size, false, oneThread);
    const double panelRate = size / panels.seconds / 1e6;
    std::printf("panels, described: %lld MiB in %.2f s, %.2f MB/s%s\n", qlonglong(mib), panels.seconds,
        panelRate, panels.ok ? "" : " (FAILED)");
    std::printf(
        "gui timer: 20 ms, %d ticks, latest by %.1f ms (limit 50 ms)\n", panels.ticks, panels.maxLateMs);

    // The plain copy right before fast mode, on the same file, so that both
    // find the machine in the same state.
    const QString tcpDest = dir.filePath(QStringLiteral("tcp.bin"));
    PlainTcpSink sink;
    const PlainTcpResult tcp = sink.run(sink.port(), size, source.toStdString(), tcpDest.toStdString());
    const bool tcpSame = tcp.ok && sameFiles(source, tcpDest);
    QFile::remove(tcpDest);
    const double tcpRate = size / tcp.seconds / 1e6;
    std::printf("tcp to disk: %lld MiB in %.2f s, %.2f MB/s%s\n", qlonglong(mib), tcp.seconds, tcpRate,
        tcpSame ? "" : " (FAILED)");

    const PanelRun fastPanels
        = runPanels(source, dir.filePath(QStringLiteral("fast")), size, true, oneThread);
    const double fastRate = size / fastPanels.seconds / 1e6;
    std::printf("panels, fast: %lld MiB in %.2f s, %.2f MB/s%s\n", qlonglong(mib), fastPanels.seconds,
        fastRate, fastPanels.ok ? "" : " (FAILED)");
    std::printf("gui timer: 20 ms, %d ticks, latest by %.1f ms (limit 50 ms)\n", fastPanels.ticks,
        fastPanels.maxLateMs);
    // Right after the plain fast run, on the same file.
    const PanelRun encryptedPanels
        = runPanels(source, dir.filePath(QStringLiteral("encrypted")), size, true, oneThread, true);
    const double encryptedRate = size / encryptedPanels.seconds / 1e6;
    std::printf("panels, fast encrypted: %lld MiB in %.2f s, %.2f MB/s (%.2f of fast)%s\n", qlonglong(mib),
        encryptedPanels.seconds, encryptedRate, encryptedRate / fastRate, encryptedPanels.ok ? "" : " (FAILED)");
    std::printf("gui timer: 20 ms, %d ticks, latest by %.1f ms (limit 50 ms)\n", encryptedPanels.ticks,
        encryptedPanels.maxLateMs);
    std::fflush(stdout);

    const qint64 small = childPeakKiB(1, oneThread);
    const qint64 large = childPeakKiB(1024, oneThread);
    const double growthMiB = (small < 0 || large < 0) ? -1.0 : (large - small) / 1024.0;
    std::printf(
        "peak rss: 1 MiB transfer %lld KiB, 1 GiB transfer %lld KiB\n", qlonglong(small), qlonglong(large));
    printLoad();
    std::printf("transfer: %.2f MB/s, fast %.2f MB/s, encrypted %.2f MB/s, tcp-to-disk %.2f MB/s, protocol limit "
                "%.2f MB/s, ratio %.2f, rss growth %.1f MiB, loop lag %.1f ms\n",
        panelRate, fastRate, encryptedRate, tcpRate, rawRate, panelRate / rawRate, growthMiB, fastPanels.maxLateMs);
    return rawSame && tcpSame && panels.ok && fastPanels.ok && encryptedPanels.ok && small > 0 && large > 0 ? 0 : 1;
}
