#pragma once

#include "BenchFiles.h"

#include "transfer/TransferJob.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMetaObject>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

// The sending side of a benchmark transfer: an upload job shown by a panel on the caller's
// thread (both ends then share one event loop, as two panels of one client
// do, and the loop lag measured there counts the work of both), or with
// ownThread an upload job on a thread and event loop of its own, as the
// other member's client would run it.
//
// ended is called on the caller's thread, once, when the upload completes
// or stops. With security the upload offers encryption (the download must
// have a key of its own to take it).
class BenchUpload
{
public:
    BenchUpload(const QString &source, qint64 size, const QString &name, quint16 port, bool fast,
        bool ownThread, QObject *context, std::function<void()> ended,
        std::shared_ptr<TransferSecurity> security = nullptr)
    {
        m_job = new TransferJob;
        if (!ownThread) {
            m_panel = std::make_unique<TvzkLoadPanel>(*m_job);
            m_panel->show();
        }
        m_job->setFastMode(fast);
        m_job->setSecurity(std::move(security));
        m_job->setFichierName(name);
        m_job->setFichierPath(source);
        m_job->setFichierPoids(QString::number(size));
        m_job->setFichierTel(0);
        m_job->setClientAddress(QStringLiteral("127.0.0.1"));
        m_job->setPort(port);
        const auto end = [this, context, ended](bool completed) {
            if (m_result != 0)
                return;
            m_fast = m_job->isFast();
            m_encrypted = m_job->isEncrypted();
            m_result = completed ? 1 : -1;
            QMetaObject::invokeMethod(context, ended, Qt::QueuedConnection);
        };
        QObject::connect(m_job, &TransferJob::OnTelTermine, m_job, [end] { end(true); });
        QObject::connect(m_job, &TransferJob::stopped, m_job, [this, end] {
            if (m_job->Status() != u"0")
                end(false);
        });
        if (ownThread) {
            m_thread.start();
            m_job->moveToThread(&m_thread);
        }
    }
    ~BenchUpload()
    {
        if (m_thread.isRunning()) {
            QMetaObject::invokeMethod(
                m_job, [this] { delete m_job; }, Qt::BlockingQueuedConnection);
            m_thread.quit();
            m_thread.wait();
        } else {
            // The panel shows the job: it goes first.
            m_panel.reset();
            delete m_job;
        }
    }
    BenchUpload(const BenchUpload &) = delete;
    BenchUpload &operator=(const BenchUpload &) = delete;

    void start()
    {
        QMetaObject::invokeMethod(m_job, [this] { m_job->setClientActive(true); });
    }
    bool completed() const { return m_result == 1; }
    bool ended() const { return m_result != 0; }
    bool wasFast() const { return m_fast; }
    bool wasEncrypted() const { return m_encrypted; }

private:
    QThread m_thread;
    std::unique_ptr<TvzkLoadPanel> m_panel;
    TransferJob *m_job = nullptr;
    std::atomic_int m_result { 0 };
    std::atomic_bool m_fast { false };
    std::atomic_bool m_encrypted { false };
};

// The receiving side of a benchmark transfer: a download listening on
// loopback for `name` (the header carries the sent file's own name, which
// a download only accepts as its FichierName), shown by its panel as on
// the transfer pages.
class BenchDownload
{
public:
    BenchDownload(const QString &temp, const QString &name, const QString &dest, qint64 size, bool fast,
        std::shared_ptr<TransferSecurity> security)
        : m_panel(m_job)
        , m_dest(dest)
    {
        m_job.setFastMode(fast);
        m_job.setSecurity(std::move(security));
        m_job.setTempPath(temp);
        m_job.setBindAddress(QStringLiteral("127.0.0.1"));
        m_job.setPeerAddress(QStringLiteral("127.0.0.1"));
        m_job.setFichierName(name);
        m_job.setFichierPath(dest);
        m_job.setFichierPoids(QString::number(size));
        m_job.setFichierTel(0);
        m_job.setServerActive(true);
    }

    TvzkLoadPanel &panel() { return m_panel; }
    quint16 port() const { return m_panel.ServerSocket()->serverPort(); }

    // Once the upload ended: waits (5 s at most) for the file to be moved in
    // place, which follows the sender's disconnection, then whether both ends
    // completed in the mode asked, with the same bytes as source.
    bool arrived(const BenchUpload &up, const QString &source, bool fast, bool encrypted)
    {
        QElapsedTimer settle;
        settle.start();
        while (!QFile::exists(m_dest) && settle.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return up.completed() && m_panel.Status() == u"0" && sameFiles(source, m_dest) && up.wasFast() == fast
            && up.wasEncrypted() == encrypted && m_job.isEncrypted() == encrypted;
    }

private:
    TransferJob m_job;
    TvzkLoadPanel m_panel;
    QString m_dest;
};
