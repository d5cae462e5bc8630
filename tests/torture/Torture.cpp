// Transfer torture: many transfers of random sizes between a download job
// and an upload job over loopback, through a proxy that splits, joins,
// delays and cuts the data connection at random, while the transfers are
// paused, cancelled, restarted from their saved properties (a log-out and
// log-in) and, for some, sent by a child process that is killed with
// SIGKILL and started again from an older saved count.
//
// Then whole clients: two client processes (the transfer manager, its
// saved list, its retries, its quit signals; no window), one sending, one
// receiving, many transfers between them at once, while either client is
// ended by SIGTERM or SIGKILL and started again on its folder, its saved
// list all it has. The other client is told the member went offline and
// came back, as the presence poll would, or not, and finds it by itself.
//
//   voxlane-torture [N] [SEED]
//
// Checks: a completed file is byte-identical (SHA-256) to its source, every
// completion reported is true, no temp file is left for a finished download
// or found outside the temp folder, and every transfer ends (a transfer
// that does not end within its limit counts as stuck). A client started
// again brings back every transfer it had saved, and at the end both lists
// hold every transfer; one missing counts as lost. A client ended by
// SIGTERM leaves through its exit (status 0). The last line is
//   torture: N transfers, C corrupted, R resumed, F false completions, L lost
// and the exit status is 0 only when C, F, L, the stuck count, the bad
// exits and the count of uploads never told of their completed download
// are 0.
#include "transfer/TransferJob.h"
#include "transfer/TransferListDocument.h"
#include "transfer/TransferListStore.h"
#include "transfer/TransferManager.h"

#include "app/QuitSignals.h"
#include "base/DialogService.h"
#include "base/SettingsStore.h"
#include "contacts/PresenceMonitor.h"
#include "service/CredentialCodec.h"
#include "service/ServiceSession.h"
#include "base/ErrorReport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QSet>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <random>

#include <unistd.h>

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
        killed = 0, restarts = 0, unconfirmed = 0, lost = 0, clientTerms = 0, clientKills = 0, badExits = 0;
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
                qint64(m_content.size()), m_down ? QByteArray::number(m_down->FichierTel()).constData() : "-",
                m_downDone ? "done" : "open", m_up ? QByteArray::number(m_up->FichierTel()).constData() : "-",
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
        job->setFichierTel(0);
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
                QString::number(m_savedUpTel), QString::number(m_content.size()) });
            connect(m_child, &QProcess::readyReadStandardOutput, this, [this, child = m_child] {
                while (child->canReadLine()) {
                    const QByteArray line = child->readLine().trimmed();
                    if (line == "done")
                        m_upDone = true;
                    else if (line.startsWith("tel ") && chance(0.3))
                        m_savedUpTel = line.mid(4).toLongLong(); // an older save
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
    qint64 m_savedUpTel = 0;
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
    job.setFichierTel(args.at(2).toLongLong());
    QObject::connect(&job, &TransferJob::progressChanged, &job, [&job] {
        std::printf("tel %lld\n", qlonglong(job.FichierTel()));
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


// ---- whole clients ------------------------------------------------------------

// The questions of a client nobody watches: messages go to standard error,
// every question is answered no, every choice is cancelled.
class ScriptlessDialogs : public DialogService
{
public:
    void showMessage(const QString &text, const QString &, Kind) override
    {
        std::fprintf(stderr, "torture client: %s\n", qPrintable(text));
    }
    bool askYesNo(const QString &, const QString &) override { return false; }
    QString saveFileName(const QString &, const QString &, const QString &) override { return {}; }
    QString openFileName(const QString &, const QString &, const QString &) override { return {}; }
    bool openUrl(const QString &) override { return false; }
};

// A whole client as a process: HOME PSEUDO PEER fast|slow. Its list is loaded from
// HOME; it prints "have ID..." (what came back) and "ready", then "saved
// ID" once its file holds a transfer and "done ID" at each completion.
// Commands on standard input: "down ID NAME SIZE PORT DEST",
// "up ID PATH SIZE PORT", "online", "offline" (what the presence poll says
// of the peer). SIGTERM: the lists are saved, "bye", exit 0.
int runClient(const QStringList &args)
{
    const QString home = args.at(0);
    const QString pseudo = args.at(1);
    const QString peer = args.at(2);
    TransferJob::setFastModeByDefault(args.value(3) != u"slow");
    ErrorReport::setHandler([](const QString &message) {
        std::fprintf(stderr, "torture client: %s\n", qPrintable(message));
    });
    QuitSignals quitSignals;
    // A client without windows: its controllers as the program makes them,
    // on a service that is never asked anything. The presence poll's
    // answer is made here: the peer online at 127.0.0.1, or nobody.
    ScriptlessDialogs dialogs;
    SettingsStore settings(home + QStringLiteral("/Voxlane.conf"));
    settings.setTempFolder(home + QStringLiteral("/temp"));
    ServiceSession session(QStringLiteral("http://127.0.0.1:9"), HttpLimits { 1000, 1000 }, QString(), dialogs);
    session.setAccount(pseudo, pseudo);
    PresenceMonitor presence(session);
    TransferManager manager(session, presence, settings, QStringLiteral("127.0.0.1"));
    const auto tellPresence = [&](bool online) {
        QString body = QStringLiteral("<html><body>\r\n");
        if (online) {
            QString letters;
            CredentialCodec().EncryptForUser(peer, QStringLiteral("127.0.0.1"), letters);
            body += QStringLiteral("pseudo=") + peer + QStringLiteral("<br>") + letters + QStringLiteral("<br>\r\n");
        }
        presence.ApplyPresenceReply(body + QStringLiteral("</body></html>"));
        manager.PresenceChanged();
    };
    tellPresence(true);
    QObject::connect(&manager, &TransferManager::jobAdded, &manager, [](TransferJob *job) {
        const QString id = job->IDTel();
        QObject::connect(job, &TransferJob::OnTelTermine, job, [id] {
            std::printf("done %s\n", qPrintable(id));
            std::fflush(stdout);
        });
    });
    TransferListStore store(manager, home);
    QObject::connect(&manager, &TransferManager::ListChanged, &store, &TransferListStore::requestSave);
    QSet<QString> told;
    QObject::connect(&store, &TransferListStore::saved, &store, [&] {
        for (const QList<TransferJob *> *jobs : { &manager.downloads(), &manager.uploads() }) {
            for (const TransferJob *job : *jobs) {
                if (!told.contains(job->IDTel())) {
                    told.insert(job->IDTel());
                    std::printf("saved %s\n", qPrintable(job->IDTel()));
                }
            }
        }
        std::fflush(stdout);
    });
    store.beginSession(pseudo);
    store.OpenLoad(pseudo, home + QStringLiteral("/temp"));
    // What came back: the transfers made again, and those kept in the list
    // for want of their port (made again at the next start).
    QString have = QStringLiteral("have");
    for (const QList<TransferJob *> *jobs : { &manager.downloads(), &manager.uploads() })
        for (const TransferJob *job : *jobs)
            have += u' ' + job->IDTel();
    for (const TransferRecord &r : store.keptDownloads() + store.keptUploads())
        have += u' ' + r.IDTel;
    std::printf("%s\nready\n", qPrintable(have));
    std::fflush(stdout);

    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &manager, [&] {
        // The exit of the program: nothing moves, then the lists are saved.
        manager.SuspendAll();
        try {
            store.SaveLoad(pseudo);
        } catch (const VoxlaneError &e) {
            std::fprintf(stderr, "torture client: %s\n", qPrintable(e.message()));
            manager.ResumeAll();
            return;
        }
        store.endSession();
        std::printf("bye\n");
        std::fflush(stdout);
        QCoreApplication::quit();
    });

    QByteArray input;
    QSocketNotifier stdinReady(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&stdinReady, &QSocketNotifier::activated, &manager, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            stdinReady.setEnabled(false);
            return;
        }
        input.append(buffer, n);
        qsizetype end;
        while ((end = input.indexOf('\n')) >= 0) {
            const QStringList w = QString::fromUtf8(input.left(end)).split(u'\t');
            input.remove(0, end + 1);
            if (w.at(0) == u"down" && w.size() == 6) {
                TransferRecord r;
                r.IDTel = w.at(1);
                r.FichierProprio = peer;
                r.FichierName = w.at(2);
                r.FichierPoids = w.at(3);
                r.FichierPath = w.at(5);
                r.Port = w.at(4).toInt();
                manager.NewDownload(r, QStringLiteral("127.0.0.1"));
            } else if (w.at(0) == u"up" && w.size() == 5) {
                TransferRecord r;
                r.IDTel = w.at(1);
                r.FichierProprio = peer;
                r.FichierPath = w.at(2);
                r.FichierPoids = w.at(3);
                r.Port = w.at(4).toInt();
                manager.NewUpload(r);
            } else if (w.at(0) == u"online" || w.at(0) == u"offline") {
                tellPresence(w.at(0) == u"online");
            }
        }
    });
    return QCoreApplication::exec();
}

// The driver of the whole clients: "alice" sends, "bob" receives.
class WholeClients : public QObject
{
public:
    WholeClients(const QString &root, QString self, int total, Totals &totals)
        : m_root(root)
        , m_self(std::move(self))
        , m_total(total)
        , m_totals(totals)
    {
        for (const char *who : { "alice", "bob" }) {
            Client &c = m_clients[QLatin1String(who)];
            c.pseudo = QLatin1String(who);
            c.home = root + QStringLiteral("/clients/") + c.pseudo;
            QDir().mkpath(c.home + QStringLiteral("/temp"));
        }
        start(m_clients[QStringLiteral("alice")]);
        start(m_clients[QStringLiteral("bob")]);
    }

    ~WholeClients() override
    {
        for (auto &[name, c] : m_clients)
            if (c.process) {
                c.process->kill();
                c.process->waitForFinished(5000);
            }
    }

    bool finished() const { return m_finished; }

    void tick()
    {
        if (m_finished)
            return;
        Client &alice = m_clients[QStringLiteral("alice")];
        Client &bob = m_clients[QStringLiteral("bob")];
        for (Client *c : { &alice, &bob })
            read(*c);
        judge();
        // New transfers while both run: the download first (it listens),
        // the upload once the receiver has saved it.
        while (alice.ready && bob.ready && m_started < m_total && running() < 8) {
            auto t = std::make_unique<Item>();
            t->id = QStringLiteral("9%1").arg(m_started, 5, 10, QLatin1Char('0'));
            t->name = QStringLiteral("w%1%2.bin").arg(m_started).arg(chance(0.2) ? QStringLiteral(" é") : QString());
            const int size = chance(0.2) ? uniform(0, 300) : uniform(1000, chance(0.5) ? 4 << 20 : 512 << 10);
            t->content.resize(size);
            for (char &ch : t->content)
                ch = char(uniform(0, 255));
            t->src = m_root + QStringLiteral("/src/") + t->name;
            t->dest = m_root + QStringLiteral("/dest/") + t->name;
            QFile f(t->src);
            f.open(QIODevice::WriteOnly);
            f.write(t->content);
            f.close();
            t->port = freePort();
            t->clock.start();
            send(bob, { QStringLiteral("down"), t->id, t->name, QString::number(size), QString::number(t->port), t->dest });
            m_items.push_back(std::move(t));
            ++m_started;
        }
        for (auto &t : m_items) {
            if (!t->offered && bob.saved.contains(t->id) && alice.ready) {
                t->offered = true;
                send(alice, { QStringLiteral("up"), t->id, t->src, QString::number(t->content.size()),
                                QString::number(t->port) });
            }
        }
        // Every moment or so one client is ended by a signal and started
        // again, while transfers run.
        if (!m_sinceEnd.isValid())
            m_sinceEnd.start();
        if (alice.ready && bob.ready && running() > 0 && m_sinceEnd.elapsed() > m_endEvery) {
            m_sinceEnd.start();
            m_endEvery = uniform(50, 600);
            Client &victim = chance(0.5) ? alice : bob;
            Client &other = &victim == &alice ? bob : alice;
            end(victim, chance(0.5) ? SIGTERM : SIGKILL);
            const bool tell = chance(0.5);
            if (tell)
                send(other, { QStringLiteral("offline") });
            QTimer::singleShot(uniform(10, 300), this, [this, &victim, &other, tell] {
                start(victim);
                victim.tellOnline = tell ? &other : nullptr;
            });
        }
        if (m_started == m_total && running() == 0 && alice.ready && bob.ready)
            finish();
    }

private:
    struct Client
    {
        QString pseudo, home;
        std::unique_ptr<QProcess> process;
        QByteArray out;
        bool ready = false;
        QSet<QString> saved; // transfers its file is known to hold
        QSet<QString> mustHave; // what it must bring back at its start
        Client *tellOnline = nullptr;
    };
    struct Item
    {
        QString id, name, src, dest;
        QByteArray content;
        quint16 port = 0;
        bool offered = false, judged = false;
        QElapsedTimer clock;
    };

    int running() const
    {
        int n = 0;
        for (const auto &t : m_items)
            n += t->judged ? 0 : 1;
        return n;
    }

    void start(Client &c)
    {
        c.process = std::make_unique<QProcess>();
        c.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        c.ready = false;
        c.out.clear();
        // Each start of a client speaks fast mode or not: a transfer may
        // resume in the other mode.
        c.process->start(m_self, { QStringLiteral("--client"), c.home, c.pseudo,
                                     c.pseudo == u"alice" ? QStringLiteral("bob") : QStringLiteral("alice"),
                                     chance(0.5) ? QStringLiteral("fast") : QStringLiteral("slow") });
    }

    void end(Client &c, int signal)
    {
        ++(signal == SIGTERM ? m_totals.clientTerms : m_totals.clientKills);
        c.ready = false;
        c.mustHave = c.saved;
        ::kill(pid_t(c.process->processId()), signal);
        c.process->waitForFinished(30000);
        c.out += c.process->readAllStandardOutput();
        const QList<QByteArray> last = c.out.split('\n');
        if (signal == SIGTERM
            && (c.process->exitStatus() != QProcess::NormalExit || c.process->exitCode() != 0 || !last.contains("bye"))) {
            ++m_totals.badExits;
            std::fprintf(stderr, "torture: client %s did not leave through its exit on SIGTERM\n", qPrintable(c.pseudo));
        }
        // What it printed last counts: a transfer saved just before the end.
        for (const QByteArray &line : last)
            if (line.startsWith("saved "))
                c.mustHave.insert(QString::fromUtf8(line.mid(6)));
        c.saved = c.mustHave;
    }

    void send(Client &c, const QStringList &words)
    {
        if (c.process && c.process->state() == QProcess::Running)
            c.process->write((words.join(u'\t') + u'\n').toUtf8());
    }

    void read(Client &c)
    {
        if (!c.process)
            return;
        c.out += c.process->readAllStandardOutput();
        qsizetype end;
        while ((end = c.out.indexOf('\n')) >= 0) {
            const QByteArray line = c.out.left(end);
            c.out.remove(0, end + 1);
            if (line.startsWith("saved ")) {
                c.saved.insert(QString::fromUtf8(line.mid(6)));
            } else if (line.startsWith("have")) {
                const QStringList have = QString::fromUtf8(line.mid(4)).split(u' ', Qt::SkipEmptyParts);
                for (const QString &id : std::as_const(c.mustHave)) {
                    if (!have.contains(id)) {
                        ++m_totals.lost;
                        std::fprintf(stderr, "torture: client %s came back without transfer %s\n",
                            qPrintable(c.pseudo), qPrintable(id));
                    }
                }
                c.saved = QSet<QString>(have.begin(), have.end());
                c.mustHave.clear();
            } else if (line == "ready") {
                c.ready = true;
                // What it was told and never saved died with it, as an
                // offer dies with a client that ends in its middle: told
                // again.
                for (auto &t : m_items) {
                    if (t->judged || c.saved.contains(t->id))
                        continue;
                    if (c.pseudo == u"bob")
                        send(c, { QStringLiteral("down"), t->id, t->name, QString::number(t->content.size()),
                                    QString::number(t->port), t->dest });
                    else if (t->offered)
                        send(c, { QStringLiteral("up"), t->id, t->src, QString::number(t->content.size()),
                                    QString::number(t->port) });
                }
                if (c.tellOnline)
                    send(*c.tellOnline, { QStringLiteral("online") });
                c.tellOnline = nullptr;
            }
        }
    }

    // A destination file is a completion the receiver announced: it must be
    // the file sent.
    void judge()
    {
        for (auto &t : m_items) {
            if (t->judged)
                continue;
            if (QFile::exists(t->dest)) {
                t->judged = true;
                ++m_totals.transfers;
                ++m_totals.resumed; // every one of them lived through client ends
                if (sha256(readAll(t->dest)) != sha256(t->content)) {
                    ++m_totals.corrupted;
                    ++m_totals.falseCompletions;
                    std::fprintf(stderr, "torture: whole-client transfer %s: completed file differs\n",
                        qPrintable(t->id));
                }
            } else if (t->clock.elapsed() > 240000) {
                t->judged = true;
                ++m_totals.transfers;
                ++m_totals.stuck;
                std::fprintf(stderr, "torture: whole-client transfer %s (%lld bytes) did not end\n",
                    qPrintable(t->id), qint64(t->content.size()));
            }
        }
    }

    // Both clients leave through their exit; both lists must hold every
    // transfer, finished.
    void finish()
    {
        m_finished = true;
        for (auto &[name, c] : m_clients) {
            end(c, SIGTERM);
            --m_totals.clientTerms;
            QFile file(c.home + u'/' + c.pseudo + QStringLiteral(".xml"));
            const auto contents = file.open(QIODevice::ReadOnly) ? TransferListDocument::read(file.readAll())
                                                                  : std::nullopt;
            QSet<QString> listed;
            if (contents)
                for (const auto &e : contents->downloads + contents->uploads)
                    listed.insert(e.record.IDTel);
            for (const auto &t : m_items) {
                if (!listed.contains(t->id)) {
                    ++m_totals.lost;
                    std::fprintf(stderr, "torture: transfer %s missing from %s's list at the end\n",
                        qPrintable(t->id), qPrintable(c.pseudo));
                }
            }
        }
    }

    QString m_root, m_self;
    int m_total;
    Totals &m_totals;
    std::map<QString, Client> m_clients;
    QElapsedTimer m_sinceEnd;
    int m_endEvery = 500;
    std::vector<std::unique_ptr<Item>> m_items;
    int m_started = 0;
    bool m_finished = false;
};
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
    if (!args.isEmpty() && args.first() == u"--client")
        return runClient(args.mid(1));
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
    driver.stop();

    // Whole clients: a tenth as many transfers, at least 20.
    {
        const int wholeTotal = qMax(20, total / 10);
        std::printf("torture: whole clients, %d transfers\n", wholeTotal);
        WholeClients clients(root, app.applicationFilePath(), wholeTotal, totals);
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, &app, [&] {
            clients.tick();
            if (clients.finished())
                app.quit();
        });
        ticker.start(10);
        app.exec();
    }

    // Nothing may live outside the folders; only the temp folders hold
    // partial files, and only of transfers that did not finish; a client's
    // folder holds its list.
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    const auto folderIs = [&root](const QString &folder, const char *sub) {
        return folder == QDir(root + u'/' + QLatin1String(sub)).absolutePath();
    };
    while (it.hasNext()) {
        const QString path = it.next();
        const QString folder = QFileInfo(path).absolutePath();
        const bool clientList = (folderIs(folder, "clients/alice") || folderIs(folder, "clients/bob"))
            && path.endsWith(QStringLiteral(".xml"));
        const bool clientTemp = folderIs(folder, "clients/alice/temp") || folderIs(folder, "clients/bob/temp");
        if (clientTemp)
            std::fprintf(stderr, "torture: partial file left by a whole client: %s\n", qPrintable(path));
        if (clientTemp)
            ++totals.escaped;
        if (!clientList && !clientTemp && !folderIs(folder, "src") && !folderIs(folder, "dest")
            && !folderIs(folder, "temp")) {
            ++totals.escaped;
            std::fprintf(stderr, "torture: stray file %s\n", qPrintable(path));
        }
    }
    std::printf("torture: %d stuck, %d uploads never told of their completed download, %d cancelled, %d restarts, "
                "%d senders killed, %d temp files escaped\n",
        totals.stuck, totals.unconfirmed, totals.cancelled, totals.restarts, totals.killed, totals.escaped);
    std::printf("torture: whole clients ended %d times by SIGTERM and %d by SIGKILL, %d bad exits\n",
        totals.clientTerms, totals.clientKills, totals.badExits);
    std::printf("torture: %d transfers, %d corrupted, %d resumed, %d false completions, %d lost\n", totals.transfers,
        totals.corrupted, totals.resumed, totals.falseCompletions, totals.lost);
    return totals.corrupted == 0 && totals.falseCompletions == 0 && totals.stuck == 0 && totals.unconfirmed == 0
            && totals.escaped == 0 && totals.lost == 0 && totals.badExits == 0
        ? 0
        : 1;
}
