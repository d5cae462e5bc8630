#include "transfer/BlockReader.h"

#include "transfer/DataPacket.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

BlockReader::~BlockReader()
{
    stop();
}

void BlockReader::start(
    int fd, qint64 from, qint64 size, std::unique_ptr<Sha256> hash, std::function<void()> wake)
{
    stop();
    m_fd = fd;
    m_size = size;
    m_position = from;
    m_hash = std::move(hash);
    m_wake = std::move(wake);
    m_ready.clear();
    m_buffered = 0;
    m_stopping = false;
    m_failed = false;
    m_waiting = false;
    m_digest.reset();
    if (m_position >= m_size) {
        m_digest = m_hash->result();
        return;
    }
    if (!m_wake)
        return;
    // The kernel may read further ahead than it would for random reads.
    ::posix_fadvise(fd, from, 0, POSIX_FADV_SEQUENTIAL);
    m_thread = std::thread([this] { run(); });
}

void BlockReader::stop()
{
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        m_stopping = true;
    }
    m_roomFreed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

std::optional<BlockReader::Batch> BlockReader::readBatch(int blocks)
{
    const qint64 wanted = qMin<qint64>(qint64(blocks) * DataPacket::FastBlockSize, m_size - m_position);
    const qint64 count = (wanted + DataPacket::FastBlockSize - 1) / DataPacket::FastBlockSize;
    Batch batch;
    batch.begin = m_position;
    batch.packets.resize(wanted + count * DataPacket::FastBlockHeaderSize);
    char *at = batch.packets.data();
    for (qint64 offset = m_position; offset < m_position + wanted;) {
        const qint32 n = qint32(qMin<qint64>(DataPacket::FastBlockSize, m_position + wanted - offset));
        DataPacket::writeInt(at, DataPacket::FastBlockKind);
        DataPacket::writeInt64(at + 4, offset);
        DataPacket::writeInt(at + 12, n);
        char *data = at + DataPacket::FastBlockHeaderSize;
        // Straight into the packet: the bytes are copied once, by the kernel.
        for (qint32 done = 0; done < n;) {
            const ssize_t r = ::pread(m_fd, data + done, size_t(n - done), offset + done);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return std::nullopt; // the file ends before its size, or cannot be read
            done += qint32(r);
        }
        m_hash->addData(data, n);
        at = data + n;
        offset += n;
    }
    m_position += wanted;
    batch.end = m_position;
    return batch;
}

void BlockReader::run()
{
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_roomFreed.wait(hold, [this] { return m_stopping || m_buffered < AheadLimit; });
            if (m_stopping)
                return;
        }
        std::optional<Batch> batch = readBatch(BlocksPerBatch);
        const bool last = batch && m_position >= m_size;
        std::optional<QByteArray> digest;
        if (last)
            digest = m_hash->result();
        bool wake = false;
        {
            const std::lock_guard<std::mutex> hold(m_lock);
            if (m_stopping)
                return;
            if (batch) {
                m_buffered += batch->packets.size();
                m_ready.push_back(std::move(*batch));
            } else {
                m_failed = true;
            }
            if (digest)
                m_digest = std::move(digest);
            wake = m_waiting;
            m_waiting = false;
        }
        if (wake)
            m_wake();
        if (!batch || last)
            return;
    }
}

std::optional<BlockReader::Batch> BlockReader::take()
{
    if (!m_wake) {
        if (m_failed || m_position >= m_size)
            return std::nullopt;
        std::optional<Batch> batch = readBatch(1);
        if (!batch)
            m_failed = true;
        else if (m_position >= m_size)
            m_digest = m_hash->result();
        return batch;
    }
    std::optional<Batch> batch;
    {
        const std::lock_guard<std::mutex> hold(m_lock);
        if (m_ready.empty()) {
            m_waiting = !m_failed && !m_digest;
            return std::nullopt;
        }
        batch = std::move(m_ready.front());
        m_ready.pop_front();
        m_buffered -= batch->packets.size();
    }
    m_roomFreed.notify_one();
    return batch;
}

bool BlockReader::failed() const
{
    const std::lock_guard<std::mutex> hold(m_lock);
    return m_failed && m_ready.empty();
}

std::optional<QByteArray> BlockReader::digest() const
{
    const std::lock_guard<std::mutex> hold(m_lock);
    return m_digest;
}

qint64 BlockReader::buffered() const
{
    const std::lock_guard<std::mutex> hold(m_lock);
    return m_buffered;
}
