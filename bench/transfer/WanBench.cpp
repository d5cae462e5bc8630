// scripts/bench wan
//
// Moves a file between two transfer panels through WanProxy, a userspace
// delaying, rate-limiting relay on loopback (default 10 MB/s and 50 ms of
// round trip), once in the described stop-and-wait mode and once in fast
// mode. MB/s are 10^6 bytes per second. The last line reads:
//   wan: link L MB/s rtt R ms, described D KB/s, fast F MB/s, ratio F/L
// Options: --rate MB/s, --rtt ms, --fast-mib N, --described-kib N.
#include "BenchFiles.h"
#include "WanProxy.h"

#include "transfer/TransferJob.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// Seconds for one transfer through the proxy, or a negative number when the
// file did not arrive whole.
double runThroughLink(const QString &work, qint64 size, bool fast, double rate, int rttMs)
{
    const QString name = fast ? QStringLiteral("fast.bin") : QStringLiteral("described.bin");
    const QString source = QDir(work).filePath(name);
    const QString temp = QDir(work).filePath(QStringLiteral("temp"));
    const QString dest = QDir(work).filePath(QStringLiteral("received-") + name);
    QDir().mkpath(temp);
    if (!makeRandomFile(source, size))
        return -1;

    // Each transfer shown by its panel, as on the transfer pages.
    TransferJob downJob;
    TvzkLoadPanel down(downJob);
    downJob.setFastMode(fast);
    downJob.setTempPath(temp);
    downJob.setBindAddress(QStringLiteral("127.0.0.1"));
    downJob.setPeerAddress(QStringLiteral("127.0.0.1"));
    downJob.setFichierName(name);
    downJob.setFichierPath(dest);
    downJob.setFichierPoids(QString::number(size));
    downJob.setFichierTel(0);
    downJob.setServerActive(true);

    WanProxy link(down.ServerSocket()->serverPort(), rate, rttMs);

    TransferJob upJob;
    TvzkLoadPanel up(upJob);
    upJob.setFastMode(fast);
    upJob.setFichierName(name);
    upJob.setFichierPath(source);
    upJob.setFichierPoids(QString::number(size));
    upJob.setFichierTel(0);
    upJob.setClientAddress(QStringLiteral("127.0.0.1"));
    upJob.setPort(link.port());

    QEventLoop loop;
    QObject::connect(&up, &TvzkLoadPanel::OnTelTermine, &loop, [&] { loop.quit(); });
    QObject::connect(up.ClientSocket(), &QTcpSocket::disconnected, &loop, [&] {
        if (up.Status() != u"0")
            loop.quit();
    });
    QTimer::singleShot(10 * 60 * 1000, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    upJob.setClientActive(true);
    loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;

    QElapsedTimer settle;
    settle.start();
    while (!QFile::exists(dest) && settle.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const bool ok = up.Status() == u"0" && down.Status() == u"0" && sameFiles(source, dest)
        && up.job()->isFast() == fast;
    return ok ? seconds : -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    double rateMB = 10;
    int rttMs = 50;
    qint64 fastMiB = 32;
    qint64 describedKiB = 32;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
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
        std::fprintf(stderr, "usage: wan [--rate MB/s] [--rtt ms] [--fast-mib N] [--described-kib N]\n");
        return 2;
    }
    QTemporaryDir dir;
    const double rate = rateMB * 1e6;

    const qint64 describedSize = describedKiB * 1024;
    const double d = runThroughLink(dir.path(), describedSize, false, rate, rttMs);
    const double describedKBs = d > 0 ? describedSize / d / 1e3 : 0;
    std::printf("described: %lld KiB in %.2f s, %.2f KB/s%s\n", qlonglong(describedKiB), d, describedKBs,
        d > 0 ? "" : " (FAILED)");
    std::fflush(stdout);

    const qint64 fastSize = fastMiB * 1024 * 1024;
    const double f = runThroughLink(dir.path(), fastSize, true, rate, rttMs);
    const double fastMBs = f > 0 ? fastSize / f / 1e6 : 0;
    std::printf(
        "fast: %lld MiB in %.2f s, %.2f MB/s%s\n", qlonglong(fastMiB), f, fastMBs, f > 0 ? "" : " (FAILED)");
    std::printf("wan: link %.2f MB/s rtt %d ms, described %.2f KB/s, fast %.2f MB/s, ratio %.2f\n", rateMB,
        rttMs, describedKBs, fastMBs, fastMBs / rateMB);
    return d > 0 && f > 0 ? 0 : 1;
}
