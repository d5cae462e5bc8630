#include "transfer/PrefixHasher.h"

#include <QFile>
#include <QMetaObject>
#include <QThreadPool>

namespace {

// Held while a run is handed to the thread pool, and taken by the worker
// before it reads what the run carries: the hand-off through the pool's own
// queue then also shows as ordered to tools that cannot see inside Qt (the
// thread sanitizer). It is reached without going through the run itself.
std::mutex handOffLock;

} // namespace

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
    const std::lock_guard<std::mutex> handingOff(handOffLock);
    QThreadPool::globalInstance()->start([this, run, path, upTo, done = std::move(done), fn = m_function] {
        {
            const std::lock_guard<std::mutex> handedOver(handOffLock);
        }
        // Held by a shared pointer so that the queued call below can be
        // copied, as Qt wants.
        auto hash = std::make_shared<Hash>(fn(path, upTo, run->cancelled));
        const std::lock_guard<std::mutex> hold(run->lock);
        if (run->cancelled)
            return;
        // The hash goes with the call, so that only the owner's thread
        // touches it from now on.
        QMetaObject::invokeMethod(
            this,
            [this, run, hash = std::move(hash), done] {
                // Posted under the run's lock: taking it once orders the
                // worker's writes (the hash) before what is read here, for
                // tools that cannot see inside Qt's event queue either.
                {
                    const std::lock_guard<std::mutex> posted(run->lock);
                }
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
