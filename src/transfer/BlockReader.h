#pragma once

#include "transfer/Sha256.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// The sending side of a fast connection reads its file from where sending
// starts to the end, once, as fast blocks ready to go out, and hashes each
// byte as it reads it: the hash of the whole file is ready when the last
// block is, without reading anything twice.
//
// With a wake function the reading runs on a thread of its own, up to
// AheadLimit bytes ahead of the connection, so that the socket never waits
// for the disk or the hash; wake is called from that thread (never under a
// lock of ours) when the connection waited for a batch that is now there.
// Without one, take() reads the next block on the spot (tests, and the
// state machine driven by hand).
//
// The file descriptor stays the caller's; it is only read with pread(),
// and must stay open until stop() has returned.
class BlockReader
{
public:
    // Fast blocks (header and data) for the bytes begin..end, one after
    // the other.
    struct Batch
    {
        QByteArray packets;
        qint64 begin = 0;
        qint64 end = 0;
    };
    static constexpr qint64 AheadLimit = qint64(8) << 20;
    static constexpr int BlocksPerBatch = 4;

    BlockReader() = default;
    ~BlockReader();
    BlockReader(const BlockReader &) = delete;
    BlockReader &operator=(const BlockReader &) = delete;

    // Reads bytes from..size of fd; `hash` holds the hash of bytes 0..from.
    void start(int fd, qint64 from, qint64 size, std::unique_ptr<Sha256> hash, std::function<void()> wake);
    // The next batch, or nothing when none is ready yet or there is no more
    // (failed(), or every byte taken).
    std::optional<Batch> take();
    // The file could not give the bytes it should have (shrank, unreadable).
    bool failed() const;
    // The SHA-256 of the whole file, once every byte has been read.
    std::optional<QByteArray> digest() const;
    // Bytes read and not taken: bounded by AheadLimit and one batch.
    qint64 buffered() const;
    // Ends the reading; the thread is gone when it returns.
    void stop();

private:
    void run();
    // Reads one batch of at most `blocks` blocks at m_position, hashing it.
    std::optional<Batch> readBatch(int blocks);

    int m_fd = -1;
    qint64 m_size = 0;
    qint64 m_position = 0; // the next byte to read (the reading thread's)
    std::unique_ptr<Sha256> m_hash; // the reading thread's while it runs
    std::function<void()> m_wake;
    std::thread m_thread;

    mutable std::mutex m_lock;
    std::condition_variable m_roomFreed;
    std::deque<Batch> m_ready;
    qint64 m_buffered = 0;
    bool m_stopping = false;
    bool m_failed = false;
    bool m_waiting = false; // take() found nothing: wake when there is
    std::optional<QByteArray> m_digest;
};
