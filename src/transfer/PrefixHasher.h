#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "transfer/Sha256.h"

// The SHA-256 of the first bytes of a file, computed on a worker thread with
// a file of its own: hashing a large file takes seconds, during which the
// user-interface thread keeps running the sockets, the timers and the
// windows. The result comes back on the thread that owns the hasher, through
// its event loop; a cancelled run (cancel(), a new start() or the hasher's
// destruction) never calls back, whenever the worker finishes.
//
// The hash object itself is handed over rather than its digest, so that the
// caller can go on adding the rest of the file to it.
class PrefixHasher : public QObject
{
    Q_OBJECT

public:
    using Hash = std::unique_ptr<Sha256>;
    // Runs on the worker: the hash of bytes 0 to upTo of path, or nothing
    // when the file cannot give them (gone, shorter) or `cancelled` became
    // true. Tests pass their own to hold a run for as long as they need.
    using Function = std::function<Hash(const QString &path, qint64 upTo, const std::atomic_bool &cancelled)>;
    // Called on the owner's thread with the hash, or nullptr on failure.
    using Done = std::function<void(Hash)>;

    explicit PrefixHasher(QObject *parent = nullptr);
    ~PrefixHasher() override;

    void setFunction(Function f) { m_function = f ? std::move(f) : Function(hashFile); }
    void start(const QString &path, qint64 upTo, Done done);
    void cancel();
    bool isRunning() const { return m_run != nullptr; }

    static Hash hashFile(const QString &path, qint64 upTo, const std::atomic_bool &cancelled);

private:
    // Shared by the hasher and its worker: the worker posts its result only
    // under the lock and only while the run is not cancelled, so nothing is
    // posted to a hasher once its destructor has taken the lock.
    struct Run
    {
        std::mutex lock;
        std::atomic_bool cancelled { false };
    };

    Function m_function { hashFile };
    std::shared_ptr<Run> m_run;
};
