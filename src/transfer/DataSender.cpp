#include "transfer/DataSender.h"

#include "base/Cp1252.h"
#include "transfer/DataPacket.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QIODevice>

#include <cerrno>
#include <limits>
#include <unistd.h>

namespace {

// What the described mode reads from the file at once.
constexpr qint64 kCacheSize = 64 * 1024;

qint64 steadyNs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.nsecsElapsed();
}

} // namespace

void DataSender::setClock(std::function<qint64()> clock)
{
    m_clock = std::move(clock);
}

qint64 DataSender::now() const
{
    return m_clock ? m_clock() : steadyNs();
}

bool DataSender::start(const QString &path, qint64 resumeFrom, QString *error)
{
    stop();
    m_file.setFileName(path);
    // Read-only: a file the user may not modify can still be sent.
    if (path.isEmpty() || !QFileInfo(path).isFile() || !m_file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open file \"%1\". %2")
                         .arg(path,
                             m_file.errorString().isEmpty() ? QStringLiteral("No such file")
                                                            : m_file.errorString());
        m_file.close();
        return false;
    }
    m_size = m_file.size();
    m_offset = qBound<qint64>(0, resumeFrom, m_size);
    m_count = 0;
    m_refusals = 0;
    m_firstBlock = false;
    m_steppedBack = false;
    m_failure = Failure::None;
    m_awaiting = Awaiting::Nothing;
    m_fast = false;
    m_next = m_offset;
    m_largestInFlight = 0;
    m_cache.clear();
    m_cacheStart = 0;
    m_header = DataPacket::header(Cp1252::encode(QFileInfo(path).fileName()), QByteArray::number(m_size));
    if (m_fastOffered) {
        DataPacket::Capability c;
        c.fileSize = m_size;
        DataPacket::addCapability(m_header, c);
    }
    return true;
}

QByteArray DataSender::takeHeader()
{
    m_awaiting = Awaiting::HeaderStatus;
    return m_header;
}

DataSender::Step DataSender::receive(QIODevice &in)
{
    for (;;) {
        const bool fastReply = m_awaiting == Awaiting::FastStart || m_awaiting == Awaiting::PrefixHash
            || m_awaiting == Awaiting::FastAcks || m_awaiting == Awaiting::FastVerdict;
        const int size = fastReply ? DataPacket::FastAckSize : DataPacket::StatusSize;
        // Every ack taken: the window may have room for more.
        if (in.bytesAvailable() < size)
            return pump();
        const QByteArray bytes = in.read(size);
        const qint32 code = DataPacket::readInt(bytes, 0);
        const Step step = fastReply
            ? onFastAck(code, DataPacket::readInt64(bytes, 8), DataPacket::readInt(bytes, 4))
            : onStatus(code);
        if (step.action != Action::None)
            return step;
    }
}

DataSender::Step DataSender::onFastAck(qint32 code, qint64 held, qint32 window)
{
    // Whatever was awaited: the receiver's user has the last word.
    if (code == DataPacket::Cancelled && m_awaiting != Awaiting::Nothing)
        return fail(Failure::CancelledByPeer);
    switch (m_awaiting) {
    case Awaiting::FastStart:
        // The receiver holds every byte before `held`, but a partial file
        // may end with bytes that are not ours (left by another attempt):
        // where our own count is behind, the blocks from there are written
        // again, and the hash at the end tells whether the rest is ours.
        // A finished download (window 0) takes no block at all: it holds
        // the whole file, and the hash decides.
        if (code != DataPacket::Accepted || held < 0 || held > m_size)
            return fail(Failure::FastRefused);
        if (held < m_size || window != 0)
            held = qMin(held, m_offset);
        m_offset = held;
        m_next = held;
        m_count = 0;
        m_awaiting = Awaiting::PrefixHash;
        m_window.setPeerWindow(window);
        if (held > 0) {
            Step step { Action::Hash, {} };
            step.hashUpTo = held;
            return step;
        }
        return onPrefixHashed(std::make_unique<Sha256>());
    case Awaiting::PrefixHash:
        // Acks of the keep-alives.
        if (code != DataPacket::Accepted || held < 0 || held > m_next)
            return fail(Failure::FastRefused);
        return {};
    case Awaiting::FastAcks:
        if (code != DataPacket::Accepted || held < m_offset || held > m_next)
            return fail(Failure::FastRefused);
        m_offset = held;
        m_window.setPeerWindow(window);
        m_window.onAcknowledged(held, now());
        return fillWindow();
    case Awaiting::FastVerdict:
        // Acks of the last blocks come before the verdict.
        if (code == DataPacket::Accepted && held <= m_size) {
            if (held > m_offset && held <= m_next)
                m_offset = held;
            return {};
        }
        if (code == DataPacket::Verified) {
            stop();
            return { Action::Complete, {} };
        }
        return fail(code == DataPacket::HashMismatch ? Failure::HashMismatch : Failure::FastRefused);
    default:
        return {};
    }
}

DataSender::Step DataSender::onPrefixHashed(std::unique_ptr<Sha256> hash)
{
    if (m_awaiting != Awaiting::PrefixHash)
        return {};
    if (!hash || !m_file.isOpen())
        return fail(Failure::FileUnreadable);
    // The reading goes on from the hash of what the receiver holds.
    m_reader.start(m_file.handle(), m_next, m_size, std::move(hash), m_wake);
    m_window.start(m_offset, now());
    m_awaiting = Awaiting::FastAcks;
    return fillWindow();
}

DataSender::Step DataSender::pump()
{
    return m_awaiting == Awaiting::FastAcks ? fillWindow() : Step {};
}

QByteArray DataSender::keepAlive() const
{
    return DataPacket::fastBlock(m_next, {});
}

// Sends blocks while the window has room; after the last one, the end
// packet with the file's hash.
DataSender::Step DataSender::fillWindow()
{
    Step step { Action::None, {} };
    qint64 room = m_room ? m_room() : std::numeric_limits<qint64>::max();
    while (m_next < m_size && m_next - m_offset < m_window.bytes() && room > 0) {
        std::optional<BlockReader::Batch> batch = m_reader.take();
        if (!batch) {
            // A file that shrank or cannot be read any more must not pass
            // for a finished one: the attempt ends.
            if (m_reader.failed())
                return fail(Failure::FileUnreadable);
            break; // the reading thread wakes the owner when it has more
        }
        room -= batch->packets.size();
        if (step.bytes.isEmpty())
            step.bytes = std::move(batch->packets);
        else
            step.bytes += batch->packets;
        m_next = batch->end;
        m_window.onSent(m_next, now());
        m_largestInFlight = qMax(m_largestInFlight, m_next - m_offset);
        // Read ahead, each batch goes to the socket as it is, uncopied.
        if (m_wake)
            break;
    }
    if (m_next == m_size && m_awaiting == Awaiting::FastAcks) {
        const std::optional<QByteArray> digest = m_reader.digest();
        if (!digest)
            return fail(Failure::FileUnreadable);
        m_awaiting = Awaiting::FastVerdict;
        step.bytes += DataPacket::fastEnd(m_size, *digest);
    }
    if (!step.bytes.isEmpty())
        step.action = Action::Send;
    return step;
}

DataSender::Step DataSender::onStatus(qint32 status)
{
    const Awaiting awaited = m_awaiting;
    // The block stays in flight (sent() counts it) until its status is
    // known; a status out of turn finds nothing awaited and is ignored.
    switch (awaited) {
    case Awaiting::Nothing:
        return {};
    case Awaiting::HeaderStatus:
        m_awaiting = Awaiting::Nothing;
        if (status == DataPacket::FastAccepted && m_fastOffered) {
            // Its FastAck follows with where to start.
            m_fast = true;
            m_awaiting = Awaiting::FastStart;
            return {};
        }
        if (status != DataPacket::Accepted)
            return fail(Failure::HeaderRefused);
        // 0: the receiver has no fast mode; its 32-bit offsets end at 2 GiB.
        if (m_size > std::numeric_limits<qint32>::max())
            return fail(Failure::TooLargeForPeer);
        m_firstBlock = true;
        return nextBlock();
    case Awaiting::BlockStatus:
        break;
    default:
        return {};
    }
    const bool first = m_firstBlock;
    m_firstBlock = false;
    if (status == DataPacket::Accepted) {
        m_awaiting = Awaiting::Nothing;
        m_refusals = 0;
        m_steppedBack = false;
        m_offset += m_count;
        m_count = 0;
        if (m_offset >= m_size) {
            stop();
            return { Action::Complete, {} };
        }
        return nextBlock();
    }
    if (status == DataPacket::BadOffset && (first || m_steppedBack)) {
        // The first block after the header went past the receiver's file:
        // our count included a block that never arrived. The receiver holds
        // at least what it acknowledged, at most one block back.
        if (m_steppedBack || m_offset == 0) {
            m_awaiting = Awaiting::Nothing;
            return fail(Failure::SteppedBackRefused);
        }
        m_steppedBack = true;
        m_awaiting = Awaiting::Nothing;
        m_offset = qMax<qint64>(0, m_offset - DataPacket::MaxSentCount);
        m_count = 0;
        return nextBlock();
    }
    m_steppedBack = false;
    if (++m_refusals >= MaxRefusals) {
        m_awaiting = Awaiting::Nothing;
        return fail(Failure::TooManyRefusals);
    }
    return { Action::Send, m_block };
}

DataSender::Step DataSender::fail(Failure why)
{
    m_failure = why;
    return { Action::Close, {} };
}

QByteArrayView DataSender::readAt(qint64 offset, qint64 wanted)
{
    if (offset < m_cacheStart || offset + wanted > m_cacheStart + m_cache.size()) {
        m_cache.resize(kCacheSize);
        qint64 got = 0;
        while (got < kCacheSize) {
            const ssize_t n
                = ::pread(m_file.handle(), m_cache.data() + got, size_t(kCacheSize - got), offset + got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        m_cache.truncate(got);
        m_cacheStart = offset;
    }
    const qint64 at = offset - m_cacheStart;
    return QByteArrayView(m_cache).sliced(at, qMin(wanted, m_cache.size() - at));
}

DataSender::Step DataSender::nextBlock()
{
    if (!m_file.isOpen())
        return fail(Failure::FileUnreadable);
    const qint64 wanted = qMin<qint64>(DataPacket::MaxSentCount, m_size - m_offset);
    const QByteArrayView data = readAt(m_offset, wanted);
    // A file that shrank or cannot be read any more must not pass for a
    // finished one: the attempt ends.
    if (data.size() != wanted)
        return fail(Failure::FileUnreadable);
    m_count = qint32(data.size());
    m_block = DataPacket::block(qint32(m_offset), data);
    m_awaiting = Awaiting::BlockStatus;
    return { Action::Send, m_block };
}

void DataSender::stop()
{
    // The reading thread reads the file: it goes first.
    m_reader.stop();
    if (m_file.isOpen())
        m_file.close();
    m_awaiting = Awaiting::Nothing;
}
