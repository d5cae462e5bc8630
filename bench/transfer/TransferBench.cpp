// scripts/bench transfer
//
// Moves a file between two transfer panels over loopback (both on this
// process's user-interface thread, as in the client), in the described
// stop-and-wait mode and in fast mode, and, in the same run, through the bare
// stop-and-wait protocol loop of RawProtocolLoop.cpp. A 20 ms timer runs on
// the user-interface thread during the panel transfers; how late its ticks
// come shows whether the interface stays responsive. Peak resident memory is
// taken from child runs of 1 MiB and 1 GiB fast transfers.
//
// The protocol loop is a ping-pong between two threads: each 256-byte block
// costs two thread wake-ups, so its figure falls steeply when other programs
// keep both cores busy (the load average is printed for that reason); the
// ratio of the described panels to it, measured in the same run, is what to
// compare between runs.
//
// MB/s are 10^6 bytes per second. The last line reads:
//   transfer: A MB/s, fast F MB/s, protocol limit B MB/s, ratio R, rss growth M MiB
// where A and R are the described mode's.
#include "BenchFiles.h"
#include "RawProtocolLoop.h"

#include "transfer/TransferJob.h"
#include "transfer/ui/TvzkLoadPanel.h"

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

PanelRun runPanels(const QString &source, const QString &work, qint64 size, bool fast)
{
    PanelRun run;
    const QString temp = QDir(work).filePath(QStringLiteral("temp"));
    const QString dest = QDir(work).filePath(QStringLiteral("received.bin"));
    QDir().mkpath(temp);
    QFile::remove(dest);

    // Each transfer shown by its panel, as on the transfer pages.
    TransferJob downJob;
    TvzkLoadPanel down(downJob);
    downJob.setFastMode(fast);
    downJob.setTempPath(temp);
    downJob.setBindAddress(QStringLiteral("127.0.0.1"));
    downJob.setPeerAddress(QStringLiteral("127.0.0.1"));
    // The header carries the sent file's own name, which a download only
    // accepts as its FichierName.
    downJob.setFichierName(QFileInfo(source).fileName());
    downJob.setFichierPath(dest);
    downJob.setFichierPoids(QString::number(size));
    downJob.setFichierTel(0);
    downJob.setServerActive(true);

    TransferJob upJob;
    TvzkLoadPanel up(upJob);
    upJob.setFastMode(fast);
    upJob.setFichierName(QStringLiteral("bench.bin"));
    upJob.setFichierPath(source);
    upJob.setFichierPoids(QString::number(size));
    upJob.setFichierTel(0);
    upJob.setClientAddress(QStringLiteral("127.0.0.1"));
    upJob.setPort(down.ServerSocket()->serverPort());
    down.show();
    up.show();

    QEventLoop loop;
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
    QObject::connect(&up, &TvzkLoadPanel::OnTelTermine, &loop, [&] { loop.quit(); });
    QObject::connect(up.ClientSocket(), &QTcpSocket::disconnected, &loop, [&] {
        if (up.Status() != u"0")
            loop.quit();
    });
    QTimer::singleShot(30 * 60 * 1000, &loop, &QEventLoop::quit);

    clock.start();
    gui.start();
    upJob.setClientActive(true);
    loop.exec();
    run.seconds = clock.nsecsElapsed() / 1e9;
    gui.stop();

    // The receiver moves the file once the sender's disconnection reaches it.
    QElapsedTimer settle;
    settle.start();
    while (!QFile::exists(dest) && settle.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    run.ok = up.Status() == u"0" && down.Status() == u"0" && sameFiles(source, dest)
        && up.job()->isFast() == fast;
    QFile::remove(dest);
    return run;
}

// Child run: one transfer of the given size, then its peak resident memory.
int rssChild(qint64 mib)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.bin"));
    if (!makeRandomFile(source, mib * kMiB))
        return 1;
    const PanelRun run = runPanels(source, dir.path(), mib * kMiB, true);
    std::printf("peak_rss_kib %lld ok %d\n", qlonglong(peakRssKiB()), int(run.ok));
    return run.ok ? 0 : 1;
}

qint64 childPeakKiB(qint64 mib)
{
    QProcess child;
    child.start(
        QCoreApplication::applicationFilePath(), { QStringLiteral("--rss-child"), QString::number(mib) });
    if (!child.waitForFinished(30 * 60 * 1000) || child.exitCode() != 0)
        return -1;
    const QList<QByteArray> words = child.readAllStandardOutput().split(' ');
    return words.size() > 1 ? words.at(1).toLongLong() : -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 2 && args.at(1) == u"--rss-child")
        return rssChild(args.at(2).toLongLong());
    qint64 mib = 64;
    if (args.size() > 2 && args.at(1) == u"--size")
        mib = args.at(2).toLongLong();

    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.bin"));
    if (!makeRandomFile(source, mib * kMiB)) {
        std::fprintf(stderr, "transfer: cannot write %s\n", qPrintable(source));
        return 1;
    }
    const qint64 size = mib * kMiB;

    const QString rawDest = dir.filePath(QStringLiteral("raw.bin"));
    const RawProtocolResult raw = runRawProtocolLoop(source.toStdString(), rawDest.toStdString());
    const bool rawSame = raw.ok && sameFiles(source, rawDest);
    QFile::remove(rawDest);
    const double rawRate = size / raw.seconds / 1e6;
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (loadavg.open(QIODevice::ReadOnly))
        std::printf("load average: %s\n", loadavg.readLine().trimmed().constData());
    std::printf("protocol loop: %lld MiB in %.2f s, %.2f MB/s%s\n", qlonglong(mib), raw.seconds, rawRate,
        rawSame ? "" : " (FAILED)");

    const PanelRun panels = runPanels(source, dir.filePath(QStringLiteral("panels")), size, false);
    const double panelRate = size / panels.seconds / 1e6;
    std::printf("panels, described: %lld MiB in %.2f s, %.2f MB/s%s\n", qlonglong(mib), panels.seconds,
        panelRate, panels.ok ? "" : " (FAILED)");
    std::printf(
        "gui timer: 20 ms, %d ticks, latest by %.1f ms (limit 50 ms)\n", panels.ticks, panels.maxLateMs);
    const PanelRun fastPanels = runPanels(source, dir.filePath(QStringLiteral("fast")), size, true);
    const double fastRate = size / fastPanels.seconds / 1e6;
    std::printf("panels, fast: %lld MiB in %.2f s, %.2f MB/s%s\n", qlonglong(mib), fastPanels.seconds,
        fastRate, fastPanels.ok ? "" : " (FAILED)");
    std::printf("gui timer: 20 ms, %d ticks, latest by %.1f ms (limit 50 ms)\n", fastPanels.ticks,
        fastPanels.maxLateMs);
    std::fflush(stdout);

    const qint64 small = childPeakKiB(1);
    const qint64 large = childPeakKiB(1024);
    const double growthMiB = (small < 0 || large < 0) ? -1.0 : (large - small) / 1024.0;
    std::printf(
        "peak rss: 1 MiB transfer %lld KiB, 1 GiB transfer %lld KiB\n", qlonglong(small), qlonglong(large));
    std::printf(
        "transfer: %.2f MB/s, fast %.2f MB/s, protocol limit %.2f MB/s, ratio %.2f, rss growth %.1f MiB\n",
        panelRate, fastRate, rawRate, panelRate / rawRate, growthMiB);
    return rawSame && panels.ok && fastPanels.ok && small > 0 && large > 0 ? 0 : 1;
}
