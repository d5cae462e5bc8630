#pragma once

#include "transfer/Sha256.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The receiving side of a fast connection writes what it takes off the
// connection, in order, and hashes each byte as it writes it, as long as
// the bytes follow on from those already hashed: the hash of the whole file
// is ready when its last byte is written. A block that rewrites bytes
// already hashed (a sender resuming from behind the file's end) makes the
// hash stale; the file is then read back at the end.
//
// With a wake function the writing runs on a thread of its own, so that
// the connection never waits for the disk or the hash; wake is called from
// that thread (never under a lock of ours) after writes complete, once per
// call of collect() at most. Without one, add() writes at once.
//
// The file descriptor stays the caller's, written with pwrite() only; it
// must stay open until stop() has returned.
class BlockWriter
{
public:
    // What the connection may queue before it stops taking blocks: the
    // receiver's memory does not grow with the file or with the path.
    static constexpr qint64 QueueLimit = qint64(8) << 20;

    BlockWriter() = default;
    ~BlockWriter();
    BlockWriter(const BlockWriter &) = delete;
    BlockWriter &operator=(const BlockWriter &) = delete;

    // A new connection writing fd; the hash starts from nothing. beforeWrite
    // runs on the writing thread before each write: tests hold the writes
    // with it for as long as they need.
    void start(int fd, std::function<void()> wake, std::function<void()> beforeWrite = {});
    // Ends the writing: what has not started is dropped, a write under way
    // finishes. collect() then tells what was written.
    void stop();

    // The `count` bytes of `packet` from `dataStart` go at `offset`.
    void add(qint64 offset, QByteArray packet, qsizetype dataStart, qsizetype count);
    // Bytes waiting to be written (and the most there ever were).
    qint64 queued() const;
    qint64 largestQueued() const { return m_largestQueued; }
    // Nothing waits or is being written.
    bool idle() const;

    struct Written
    {
        int blocks = 0; // blocks written since the last collect()
        qint64 lastEnd = -1; // where the last of them ends
        qint64 furthest = -1; // the furthest end written
        int error = 0; // errno of a write that failed (nothing is written after it)
    };
    Written collect();

    // The hash, while idle(): of bytes 0..hashedTo(), unless stale.
    const Sha256 &hash() const { return *m_hash; }
    qint64 hashedTo() const { return m_hashedTo; }
    bool hashStale() const { return m_stale; }
    // Bytes already in the file before this connection are not hashed here:
    // the hash is stale from the start when there are any.
    void setHashStale() { m_stale = true; }
    // A hash of the file read back from the disk, for bytes 0..to.
    void setHash(std::unique_ptr<Sha256> hash, qint64 to);

private:
    struct Item
    {
        qint64 offset;
        QByteArray packet;
        qsizetype dataStart;
        qsizetype count;
    };
    void run();
    // Writes and hashes one block; the errno on failure, else 0.
    int write(const Item &item);

    int m_fd = -1;
    std::function<void()> m_wake;
    std::function<void()> m_beforeWrite;
    std::thread m_thread;
    std::unique_ptr<Sha256> m_hash = std::make_unique<Sha256>();
    qint64 m_hashedTo = 0;
    bool m_stale = false;

    mutable std::mutex m_lock;
    std::condition_variable m_added;
    std::deque<Item> m_queue;
    qint64 m_queued = 0;
    qint64 m_largestQueued = 0;
    bool m_busy = false; // the thread is writing an item taken off the queue
    bool m_stopping = false;
    bool m_wakeDue = true; // the owner collected since the last wake
    Written m_written;
};
