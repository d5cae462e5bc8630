#include "transfer/BlockWriter.h"

#include <cerrno>
#include <unistd.h>

BlockWriter::~BlockWriter()
{
    stop();
}

void BlockWriter::start(int fd, std::function<void()> wake, std::function<void()> beforeWrite)
{
    stop();
    m_fd = fd;
    m_wake = std::move(wake);
    m_beforeWrite = std::move(beforeWrite);
    m_hash->reset();
    m_hashedTo = 0;
    m_stale = false;
    m_queue.clear();
    m_queued = 0;
    m_busy = false;
    m_stopping = false;
    m_wakeDue = true;
    m_written = {};
    if (m_wake)
        m_thread = std::thread([this] { run(); });
}

void BlockWriter::stop()
{
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_stopping = true;
        m_queued = 0;
        m_queue.clear();
    }
    m_added.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

int BlockWriter::write(const Item &item)
{
    const char *data = item.packet.constData() + item.dataStart;
    for (qsizetype done = 0; done < item.count;) {
        const ssize_t n = ::pwrite(m_fd, data + done, size_t(item.count - done), item.offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += n;
    }
    if (item.offset == m_hashedTo && !m_stale) {
        m_hash->addData(data, item.count);
        m_hashedTo += item.count;
    } else if (item.offset < m_hashedTo && item.count > 0) {
        m_stale = true;
    }
    return 0;
}

void BlockWriter::add(qint64 offset, QByteArray packet, qsizetype dataStart, qsizetype count)
{
    Item item { offset, std::move(packet), dataStart, count };
    if (!m_wake) {
        // Written at once; after a failure nothing more is.
        if (m_written.error != 0)
            return;
        m_written.error = write(item);
        if (m_written.error == 0) {
            ++m_written.blocks;
            m_written.lastEnd = offset + count;
            m_written.furthest = qMax(m_written.furthest, offset + count);
        }
        return;
    }
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_queued += count;
        m_largestQueued = qMax(m_largestQueued, m_queued);
        m_queue.push_back(std::move(item));
    }
    m_added.notify_one();
}

void BlockWriter::run()
{
    for (;;) {
        Item item;
        bool failedBefore = false;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_added.wait(hold, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            item = std::move(m_queue.front());
            m_queue.pop_front();
            m_busy = true;
            failedBefore = m_written.error != 0;
        }
        if (m_beforeWrite)
            m_beforeWrite();
        // After a failure nothing more is written on this connection.
        const int error = failedBefore ? 0 : write(item);
        bool wake = false;
        {
            const std::lock_guard<std::mutex> hold(m_lock);
            m_busy = false;
            // stop() emptied the count along with the queue.
            if (!m_stopping)
                m_queued -= item.count;
            if (!failedBefore && m_written.error == 0) {
                m_written.error = error;
                if (error == 0) {
                    ++m_written.blocks;
                    m_written.lastEnd = item.offset + item.count;
                    m_written.furthest = qMax(m_written.furthest, item.offset + item.count);
                }
                // One wake per batch the owner collects: the writes that
                // complete meanwhile are in the same collect().
                wake = m_wakeDue;
                m_wakeDue = false;
            }
        }
        if (wake)
            m_wake();
    }
}

qint64 BlockWriter::queued() const
{
    const std::lock_guard<std::mutex> hold(m_lock);
    return m_queued;
}

bool BlockWriter::idle() const
{
    const std::lock_guard<std::mutex> hold(m_lock);
    return m_queue.empty() && !m_busy;
}

BlockWriter::Written BlockWriter::collect()
{
    const std::lock_guard<std::mutex> hold(m_lock);
    Written w = m_written;
    // A failure stays: nothing is written after it on this connection.
    m_written = { 0, -1, -1, w.error };
    m_wakeDue = true;
    return w;
}

void BlockWriter::setHash(std::unique_ptr<Sha256> hash, qint64 to)
{
    m_hash = std::move(hash);
    m_hashedTo = to;
    m_stale = false;
}
