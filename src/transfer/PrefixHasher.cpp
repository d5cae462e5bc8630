#include "transfer/PrefixHasher.h"

#include <QFile>
#include <QMetaObject>
#include <QThreadPool>

PrefixHasher::PrefixHasher(QObject *parent)
    : QObject(parent)
{
}

PrefixHasher::~PrefixHasher()
{
    cancel();
}

void PrefixHasher::cancel()
{
    if (!m_run)
        return;
    const std::lock_guard<std::mutex> hold(m_run->lock);
    m_run->cancelled = true;
    m_run.reset();
}

void PrefixHasher::start(const QString &path, qint64 upTo, Done done)
{
    cancel();
    auto run = std::make_shared<Run>();
    m_run = run;
    QThreadPool::globalInstance()->start([this, run, path, upTo, done = std::move(done), fn = m_function] {
        // Held by a shared pointer so that the queued call below can be
        // copied, as Qt wants.
        auto hash = std::make_shared<Hash>(fn(path, upTo, run->cancelled));
        const std::lock_guard<std::mutex> hold(run->lock);
        if (run->cancelled)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, run, hash, done] {
                // A cancel() between the post and its delivery drops it.
                if (run->cancelled || m_run != run)
                    return;
                m_run.reset();
                done(std::move(*hash));
            },
            Qt::QueuedConnection);
    });
}

PrefixHasher::Hash PrefixHasher::hashFile(const QString &path, qint64 upTo, const std::atomic_bool &cancelled)
{
    QFile file(path);
    if (upTo < 0 || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return nullptr;
    auto hash = std::make_unique<Sha256>();
    // One buffer for the whole file, read straight into it.
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 done = 0; done < upTo;) {
        if (cancelled)
            return nullptr;
        const qint64 n = file.read(chunk.data(), qMin<qint64>(chunk.size(), upTo - done));
        if (n <= 0)
            return nullptr;
        hash->addData(chunk.constData(), n);
        done += n;
    }
    return hash;
}
