#pragma once

#include "transfer/TransferJob.h"
#include "transfer/ui/TvzkLoadPanel.h"

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
