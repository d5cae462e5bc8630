// Transfer torture: many transfers of random sizes between a download job
// and an upload job over loopback, through a proxy that splits, joins,
// delays and cuts the data connection at random, while the transfers are
// paused, cancelled, restarted from their saved properties (a log-out and
// log-in) and, for some, sent by a child process that is killed with
// SIGKILL and started again from an older saved count.
//
//   voxlane-torture [N] [SEED]
//
// Checks: a completed file is byte-identical (SHA-256) to its source, every
// completion reported is true, no temp file is left for a finished download
// or found outside the temp folder, and every transfer ends (a transfer
// that does not end within its limit counts as stuck). The last line is
//   torture: N transfers, C corrupted, R resumed, F false completions
// and the exit status is 0 only when C, F, the stuck count and the count of
// uploads never told of their completed download are 0.
#include "transfer/TransferJob.h"

#include "base/ErrorReport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <random>

namespace {

std::mt19937 rng;
int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }

QByteArray sha256(const QByteArray &bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256); }

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One proxied connection: bytes wait in each direction and leave in random
// pieces at random moments; now and then the whole connection is cut.
class Pipe : public QObject
{
public:
    Pipe(QTcpSocket *in, quint16 port, QObject *parent)
        : QObject(parent)
        , m_in(in)
        , m_out(new QTcpSocket(this))
    {
        in->setParent(this);
        connect(in, &QTcpSocket::readyRead, this, [this] { m_up += m_in->readAll(); });
        connect(m_out, &QTcpSocket::readyRead, this, [this] { m_down += m_out->readAll(); });
        connect(in, &QTcpSocket::disconnected, this, &Pipe::cut);
        connect(m_out, &QTcpSocket::disconnected, this, &Pipe::cut);
        connect(m_out, &QTcpSocket::errorOccurred, this, &Pipe::cut);
        m_out->connectToHost(QStringLiteral("127.0.0.1"), port);
        auto *timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, &Pipe::pump);
        timer->start(uniform(0, 3));
    }

    void cut()
    {
        if (m_cut)
            return;
        m_cut = true;
        m_in->abort();
        m_out->abort();
        deleteLater();
    }

private:
    void pump()
    {
        if (m_cut)
            return;
        if (chance(0.004)) {
            cut();
            return;
        }
        flush(m_up, m_out);
        flush(m_down, m_in);
    }
    static void flush(QByteArray &queue, QTcpSocket *to)
    {
        if (queue.isEmpty() || to->state() != QAbstractSocket::ConnectedState || chance(0.3))
            return;
        const int n = qMin<int>(queue.size(), chance(0.5) ? uniform(1, 16) : uniform(1, 1200));
        to->write(queue.left(n));
        queue.remove(0, n);
    }

    QTcpSocket *m_in;
    QTcpSocket *m_out;
    QByteArray m_up, m_down;
    bool m_cut = false;
};

class Proxy : public QTcpServer
{
public:
    explicit Proxy(quint16 target)
        : m_target(target)
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = nextPendingConnection()) {
                ++connections;
                new Pipe(s, m_target, this);
            }
        });
    }
    int connections = 0;

private:
    quint16 m_target;
};

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

struct Totals
{
    int transfers = 0, corrupted = 0, resumed = 0, falseCompletions = 0, stuck = 0, cancelled = 0, escaped = 0,
        killed = 0, restarts = 0, unconfirmed = 0;
};

class Transfer : public QObject
{
public:
    Transfer(int id, const QString &root, bool useChild, QString self)
        : m_id(id)
        , m_root(root)
        , m_useChild(useChild)
        , m_self(std::move(self))
    {
        static const int edges[] = { 0, 1, 255, 256, 257 };
        const int size = chance(0.3) ? edges[uniform(0, 4)] : uniform(0, uniform(0, 1) ? 2000 : 20000);
        m_content.resize(size);
        for (char &c : m_content)
            c = char(uniform(0, 255));
        m_name = QStringLiteral("f%1%2.bin").arg(id).arg(chance(0.2) ? QStringLiteral(" é") : QString());
        m_src = root + QStringLiteral("/src/") + m_name;
        m_dest = root + QStringLiteral("/dest/") + m_name;
        QFile f(m_src);
        f.open(QIODevice::WriteOnly);
        f.write(m_content);
        f.close();
        m_port = freePort();
        m_proxy = std::make_unique<Proxy>(m_port);
        m_clock.start();
        startDownload();
        startUpload();
    }

    ~Transfer() override { stopChild(); }

    bool finished() const { return m_finished; }

    void tick(Totals &t)
    {
        if (m_finished)
            return;
        if (m_downDone && m_upDone) {
            // The finished file leaves the temp folder when the sender's
            // connection closes: give that a moment before judging.
            if (!m_bothDone.isValid())
                m_bothDone.start();
            if (QFile::exists(m_dest) || m_bothDone.elapsed() > 5000)
                finish(t);
            return;
        }
        if (m_clock.elapsed() > 30000) {
            // A finished download whose sender never got the last status
            // although the download goes on listening to tell it: told
            // apart from a transfer that stopped moving.
            if (m_downDone)
                ++t.unconfirmed;
            else
                ++t.stuck;
            std::fprintf(stderr,
                "torture: transfer %d (%lld bytes) did not end: download %s/%s, upload %s/%s%s, %d connections\n", m_id,
                qint64(m_content.size()), m_down ? qPrintable(m_down->FichierTel()) : "-",
                m_downDone ? "done" : "open", m_up ? qPrintable(m_up->FichierTel()) : "-",
                m_upDone ? "done" : "open", m_useChild ? " (child)" : "", m_proxy->connections);
            std::fprintf(stderr, "torture:   last sender log \"%s\", last receiver log \"%s\"\n",
                qPrintable(m_upLog), qPrintable(m_downLog));
            finish(t);
            return;
        }
        if (chance(0.0002)) { // the user cancels: the transfer and its partial file go
            ++t.cancelled;
            m_cancelled = true;
            delete m_down;
            delete m_up;
            stopChild();
            QFile::remove(m_root + QStringLiteral("/temp/") + m_name);
            finish(t);
            return;
        }
        if (m_down && !m_downDone && chance(0.01)) { // pause and resume the download
            m_down->setServerActive(false);
            listenLater(m_down, uniform(10, 200));
        }
        if (m_up && !m_upDone && chance(0.01)) // pause the upload; it resumes on its stop
            m_up->setClientActive(false);
        if (!m_downDone && chance(0.002)) { // the recipient logs out and in again
            ++t.restarts;
            delete m_down;
            startDownload();
        }
        if (!m_upDone && !m_useChild && chance(0.002)) { // the sender restarts from its saved count
            ++t.restarts;
            m_savedUpTel = m_up ? m_up->FichierTel() : m_savedUpTel;
            delete m_up;
            startUpload();
        }
        if (m_child && chance(0.004)) { // kill -9 of the sending client
            ++t.killed;
            stopChild();
            QTimer::singleShot(uniform(10, 200), this, [this] {
                if (!m_finished && !m_upDone)
                    startUpload();
            });
        }
    }

private:
    void startDownload()
    {
        auto *job = new TransferJob(this);
        m_down = job;
        job->setPort(m_port);
        job->setBindAddress(QStringLiteral("127.0.0.1"));
        job->setPeerAddress(QStringLiteral("127.0.0.1"));
        job->setTempPath(m_root + QStringLiteral("/temp/"));
        job->setFichierName(m_name);
        job->setFichierPath(m_dest);
        job->setFichierPoids(QString::number(m_content.size()));
        job->setFichierTel(QStringLiteral("0"));
        connect(job, &TransferJob::OnTelTermine, this, [this] { m_downDone = true; });
        connect(job, &TransferJob::OnLog, this, [this](QObject *, const QString &line) { m_downLog = line; });
        listenLater(job, 0);
    }

    void startUpload()
    {
        if (m_useChild) {
            m_child = new QProcess(this);
            m_child->setProgram(m_self);
            m_child->setArguments({ QStringLiteral("--upload"), m_src, QString::number(m_proxy->serverPort()),
                m_savedUpTel, QString::number(m_content.size()) });
            connect(m_child, &QProcess::readyReadStandardOutput, this, [this, child = m_child] {
                while (child->canReadLine()) {
                    const QByteArray line = child->readLine().trimmed();
                    if (line == "done")
                        m_upDone = true;
                    else if (line.startsWith("tel ") && chance(0.3))
                        m_savedUpTel = QString::fromLatin1(line.mid(4)); // an older save
                }
            });
            m_child->start();
            return;
        }
        auto *job = new TransferJob(this);
        m_up = job;
        job->setPort(m_proxy->serverPort());
        job->setClientAddress(QStringLiteral("127.0.0.1"));
        job->setFichierName(m_name);
        job->setFichierPath(m_src);
        job->setFichierPoids(QString::number(m_content.size()));
        job->setFichierTel(m_savedUpTel);
        connect(job, &TransferJob::OnTelTermine, this, [this] { m_upDone = true; });
        connect(job, &TransferJob::OnLog, this, [this](QObject *, const QString &line) { m_upLog = line; });
        connect(job, &TransferJob::socketError, this, [this](const QString &text) { m_upLog += QStringLiteral(" / ") + text; });
        connect(job, &TransferJob::stopped, this, [this, job] { reconnectLater(job); });
        connect(job, &TransferJob::socketError, this, [this, job] { reconnectLater(job); });
        QTimer::singleShot(0, job, [job] { job->setClientActive(true); });
    }

    // The program reports a port it cannot open and the user tries again;
    // here the attempt is simply repeated a moment later.
    void listenLater(TransferJob *job, int ms)
    {
        QPointer<TransferJob> guard(job);
        QTimer::singleShot(ms, this, [this, guard] {
            if (!guard)
                return;
            try {
                guard->setServerActive(true);
            } catch (const VoxlaneError &) {
                listenLater(guard, 50);
            }
        });
    }

    void reconnectLater(TransferJob *job)
    {
        QPointer<TransferJob> guard(job);
        QTimer::singleShot(uniform(5, 100), this, [guard] {
            if (guard)
                guard->setClientActive(true);
        });
    }

    void stopChild()
    {
        if (!m_child)
            return;
        m_child->disconnect(this);
        m_child->kill();
        m_child->waitForFinished(5000);
        delete m_child;
        m_child = nullptr;
    }

    void finish(Totals &t)
    {
        m_finished = true;
        ++t.transfers;
        if (m_proxy->connections > 1)
            ++t.resumed;
        const QString temp = m_root + QStringLiteral("/temp/") + m_name;
        if (!m_cancelled && m_downDone) {
            const QByteArray got = readAll(m_dest);
            if (sha256(got) != sha256(m_content) || !QFile::exists(m_dest)) {
                ++t.corrupted;
                ++t.falseCompletions; // "Terminé" over a file that is not the one sent
                std::fprintf(stderr, "torture: transfer %d: completed file differs (%lld of %lld bytes)\n", m_id,
                    qint64(got.size()), qint64(m_content.size()));
            }
            if (QFile::exists(temp)) {
                ++t.escaped;
                std::fprintf(stderr, "torture: transfer %d: temp file left behind\n", m_id);
            }
        }
        if (!m_cancelled && m_upDone && !m_downDone) {
            // The sender was told every block arrived: the file must hold it all.
            if (sha256(readAll(temp)) != sha256(m_content) && sha256(readAll(m_dest)) != sha256(m_content)) {
                ++t.falseCompletions;
                std::fprintf(stderr, "torture: transfer %d: upload reported complete, download incomplete\n", m_id);
            }
        }
        delete m_down;
        delete m_up;
        stopChild();
        m_proxy.reset();
    }

    int m_id;
    QString m_root;
    bool m_useChild;
    QString m_self;
    QByteArray m_content;
    QString m_name, m_src, m_dest;
    quint16 m_port = 0;
    std::unique_ptr<Proxy> m_proxy;
    QPointer<TransferJob> m_down, m_up;
    QProcess *m_child = nullptr;
    QString m_savedUpTel = QStringLiteral("0");
    QString m_upLog, m_downLog;
    bool m_downDone = false, m_upDone = false, m_cancelled = false, m_finished = false;
    QElapsedTimer m_clock;
    QElapsedTimer m_bothDone;
};

// The sending client as a separate process: sends one file, reconnecting
// after every cut, and prints its count as it goes and "done" at the end.
int runUploadChild(const QStringList &args)
{
    TransferJob job;
    job.setPort(args.at(1).toInt());
    job.setClientAddress(QStringLiteral("127.0.0.1"));
    job.setFichierName(QFileInfo(args.at(0)).fileName());
    job.setFichierPath(args.at(0));
    job.setFichierPoids(args.at(3));
    job.setFichierTel(args.at(2));
    QObject::connect(&job, &TransferJob::progressChanged, &job, [&job] {
        std::printf("tel %s\n", qPrintable(job.FichierTel()));
        std::fflush(stdout);
    });
    QObject::connect(&job, &TransferJob::OnTelTermine, &job, [] {
        std::printf("done\n");
        std::fflush(stdout);
        QCoreApplication::quit();
    });
    const auto again = [&job] { QTimer::singleShot(uniform(5, 100), &job, [&job] { job.setClientActive(true); }); };
    QObject::connect(&job, &TransferJob::stopped, &job, again);
    QObject::connect(&job, &TransferJob::socketError, &job, again);
    job.setClientActive(true);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QStringList args = app.arguments().mid(1);
    if (!args.isEmpty() && args.first() == u"--upload") {
        rng.seed(std::random_device {}());
        return runUploadChild(args.mid(1));
    }
    const int total = args.value(0, QStringLiteral("1000")).toInt();
    const unsigned seed = args.size() > 1 ? args.at(1).toUInt() : std::random_device {}();
    rng.seed(seed);
    std::printf("torture: %d transfers, seed %u\n", total, seed);

    QTemporaryDir dir;
    const QString root = dir.path();
    for (const char *sub : { "src", "dest", "temp" })
        QDir(root).mkpath(QString::fromLatin1(sub));

    Totals totals;
    std::vector<std::unique_ptr<Transfer>> running;
    int started = 0;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, &app, [&] {
        for (auto &t : running)
            t->tick(totals);
        std::erase_if(running, [](const auto &t) { return t->finished(); });
        while (running.size() < 8 && started < total) {
            ++started;
            running.push_back(std::make_unique<Transfer>(started, root, chance(0.1), app.applicationFilePath()));
        }
        if (running.empty()) {
            app.quit();
            return;
        }
        if (totals.transfers > 0 && totals.transfers % 100 == 0 && started == totals.transfers + int(running.size()))
            std::fprintf(stderr, "torture: %d done\n", totals.transfers);
    });
    driver.start(10);
    app.exec();

    // Nothing may live outside the three folders; only the temp folder holds
    // partial files, and only of transfers that did not finish.
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString folder = QFileInfo(path).absolutePath();
        if (folder != QDir(root + QStringLiteral("/src")).absolutePath()
            && folder != QDir(root + QStringLiteral("/dest")).absolutePath()
            && folder != QDir(root + QStringLiteral("/temp")).absolutePath()) {
            ++totals.escaped;
            std::fprintf(stderr, "torture: stray file %s\n", qPrintable(path));
        }
    }
    std::printf("torture: %d stuck, %d uploads never told of their completed download, %d cancelled, %d restarts, "
                "%d senders killed, %d temp files escaped\n",
        totals.stuck, totals.unconfirmed, totals.cancelled, totals.restarts, totals.killed, totals.escaped);
    std::printf("torture: %d transfers, %d corrupted, %d resumed, %d false completions\n", totals.transfers,
        totals.corrupted, totals.resumed, totals.falseCompletions);
    return totals.corrupted == 0 && totals.falseCompletions == 0 && totals.stuck == 0 && totals.unconfirmed == 0
            && totals.escaped == 0
        ? 0
        : 1;
}
