// scripts/bench wan
//
// Moves a file between two transfer panels through WanProxy, a userspace
// delaying, rate-limiting relay on loopback (default 10 MB/s and 50 ms of
// round trip), once in the described stop-and-wait mode and once in fast
// mode, and sends as many bytes as the fast run as a plain TCP
// stream through a relay of the same settings: what TCP itself gets
// through it. MB/s are 10^6 bytes per second. The last line reads:
//   wan: link L MB/s rtt R ms, tcp T MB/s, described D KB/s, fast F MB/s, encrypted E MB/s, ratio F/L
// where E is fast mode again between two members with keys, inside TLS.
// Options: --rate MB/s, --rtt ms, --fast-mib N, --described-kib N,
// --sender-thread (the upload runs as a job on a thread and event loop of
// its own, as the other member's client would).
#include "BenchFiles.h"
#include "BenchUpload.h"
#include "PlainTcp.h"
#include "WanProxy.h"

#include "base/BlockMemory.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// Seconds for one transfer through the proxy, or a negative number when the
// file did not arrive whole.
double runThroughLink(
    const QString &work, qint64 size, bool fast, double rate, int rttMs, bool oneThread, bool encrypted = false)
{
    const QString name = encrypted ? QStringLiteral("encrypted.bin")
        : fast                     ? QStringLiteral("fast.bin")
                                   : QStringLiteral("described.bin");
    const QString source = QDir(work).filePath(name);
    const QString temp = QDir(work).filePath(QStringLiteral("temp"));
    const QString dest = QDir(work).filePath(QStringLiteral("received-") + name);
    QDir().mkpath(temp);
    if (!makeRandomFile(source, size))
        return -1;

    const auto [sender, receiver] = benchKeys(work, encrypted);
    BenchDownload down(temp, name, dest, size, fast, receiver);

    WanProxy link(down.port(), rate, rttMs);

    QEventLoop loop;
    BenchUpload up(
        source, size, name, link.port(), fast, !oneThread, &loop, [&loop] { loop.quit(); }, sender);
    QTimer::singleShot(10 * 60 * 1000, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    up.start();
    loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;

    const bool ok = down.arrived(up, source, fast, encrypted);
    return ok ? seconds : -1;
}

} // namespace

int main(int argc, char **argv)
{
    // As the program does at its start.
    KeepBlockMemory();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    double rateMB = 10;
    int rttMs = 50;
    qint64 fastMiB = 32;
    qint64 describedKiB = 32;
    const QStringList args = app.arguments();
    const bool oneThread = !args.contains(QStringLiteral("--sender-thread"));
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == u"--rate")
            rateMB = args.at(i + 1).toDouble();
        else if (args.at(i) == u"--rtt")
            rttMs = args.at(i + 1).toInt();
        else if (args.at(i) == u"--fast-mib")
            fastMiB = args.at(i + 1).toLongLong();
        else if (args.at(i) == u"--described-kib")
            describedKiB = args.at(i + 1).toLongLong();
    }
    if (rateMB <= 0 || rttMs < 0 || fastMiB <= 0 || describedKiB <= 0) {
        std::fprintf(stderr,
            "usage: wan [--rate MB/s] [--rtt ms] [--fast-mib N] [--described-kib N] [--sender-thread]\n");
        return 2;
    }
    QTemporaryDir dir;
    const double rate = rateMB * 1e6;
    QFile loadavg(QStringLiteral("/proc/loadavg"));
    if (loadavg.open(QIODevice::ReadOnly))
        std::printf("load average: %s\n", loadavg.readLine().trimmed().constData());

    // TCP alone through a relay of the same settings, as many bytes as the
    // fast run moves.
    const qint64 fastSize = fastMiB * 1024 * 1024;
    double tcpMBs = 0;
    {
        PlainTcpSink sink;
        WanProxy link(sink.port(), rate, rttMs);
        const PlainTcpResult tcp = sink.run(link.port(), fastSize, {}, {});
        tcpMBs = tcp.ok ? fastSize / tcp.seconds / 1e6 : 0;
        std::printf("tcp: %lld MiB in %.2f s, %.2f MB/s%s\n", qlonglong(fastMiB), tcp.seconds, tcpMBs,
            tcp.ok ? "" : " (FAILED)");
        std::fflush(stdout);
    }

    const qint64 describedSize = describedKiB * 1024;
    const double d = runThroughLink(dir.path(), describedSize, false, rate, rttMs, oneThread);
    const double describedKBs = d > 0 ? describedSize / d / 1e3 : 0;
    std::printf("described: %lld KiB in %.2f s, %.2f KB/s%s\n", qlonglong(describedKiB), d, describedKBs,
        d > 0 ? "" : " (FAILED)");
    std::fflush(stdout);

    const double f = runThroughLink(dir.path(), fastSize, true, rate, rttMs, oneThread);
    const double fastMBs = f > 0 ? fastSize / f / 1e6 : 0;
    std::printf(
        "fast: %lld MiB in %.2f s, %.2f MB/s%s\n", qlonglong(fastMiB), f, fastMBs, f > 0 ? "" : " (FAILED)");
    std::fflush(stdout);
    const double e = runThroughLink(dir.path(), fastSize, true, rate, rttMs, oneThread, true);
    const double encryptedMBs = e > 0 ? fastSize / e / 1e6 : 0;
    std::printf("encrypted: %lld MiB in %.2f s, %.2f MB/s%s\n", qlonglong(fastMiB), e, encryptedMBs,
        e > 0 ? "" : " (FAILED)");
    std::printf("wan: link %.2f MB/s rtt %d ms, tcp %.2f MB/s, described %.2f KB/s, fast %.2f MB/s, encrypted %.2f "
                "MB/s, ratio %.2f\n",
        rateMB, rttMs, tcpMBs, describedKBs, fastMBs, encryptedMBs, fastMBs / rateMB);
    return d > 0 && f > 0 && e > 0 && tcpMBs > 0 ? 0 : 1;
}
