#include "transfer/DataReceiver.h"

#include "base/Cp1252.h"
#include "base/TextConvert.h"
#include "transfer/DataPacket.h"
#include "transfer/TempFileClaims.h"
#include "base/SafeFile.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>

#include <cerrno>
#include <limits>
#include <unistd.h>

DataReceiver::~DataReceiver()
{
    disconnect();
}

void DataReceiver::setExpectedName(const QString &name)
{
    m_expectedName = Cp1252::encode(name).left(DataPacket::MaxNameLength);
}

void DataReceiver::answer(QByteArray &replies, qint32 status)
{
    replies += DataPacket::status(status);
    ++m_answered;
    m_refusals = status == DataPacket::Accepted || status == DataPacket::FastAccepted ? 0 : m_refusals + 1;
}

QByteArray DataReceiver::take(QIODevice &in, qint64 size)
{
    m_largestPacket = qMax(m_largestPacket, size);
    return in.read(size);
}

QByteArray DataReceiver::receive(QIODevice &in, qint64 unread)
{
    return receive(in, [unread] { return unread; });
}

void DataReceiver::ack(QByteArray &replies, qint32 code)
{
    replies += DataPacket::fastAck(code, window(), m_ackedTo);
}

void DataReceiver::ackWritten(QByteArray &replies, bool &ackDue)
{
    const BlockWriter::Written written = m_writer.collect();
    if (written.blocks > 0) {
        m_held = qMax(m_held, written.furthest);
        m_ackedTo = written.lastEnd;
    }
    if (written.error != 0 && !m_writeFailed) {
        // A write that failed for want of space is told apart: the transfer
        // can go on once space is free, and the user must know why it stopped.
        m_writeFailed = true;
        m_noSpace = written.error == ENOSPC || written.error == EDQUOT;
        ++m_refusals;
        ack(replies, DataPacket::CannotWrite);
        ackDue = false;
        return;
    }
    // Written behind, a block is acknowledged once written, never before:
    // until then the ack would confirm what the last one did.
    const bool writtenBehind = m_wake && !m_serving;
    if (written.blocks > 0 || (ackDue && !writtenBehind))
        ack(replies, DataPacket::Accepted);
    ackDue = false;
}

QByteArray DataReceiver::onWritten()
{
    QByteArray replies;
    if (!m_fast || m_serving || !m_open)
        return replies;
    bool ackDue = false;
    ackWritten(replies, ackDue);
    if (m_endWaitsForWrites && m_writer.idle()) {
        // Writes done between the collect above and now are acked first.
        ackWritten(replies, ackDue);
        m_endWaitsForWrites = false;
        finishEnd(replies);
    }
    return replies;
}

void DataReceiver::answerEnd(QByteArray &replies, qint32 code)
{
    ++m_answered;
    m_refusals = code == DataPacket::Verified ? 0 : m_refusals + 1;
    ack(replies, code);
}

void DataReceiver::finishEnd(QByteArray &replies)
{
    if (m_writeFailed || m_held != m_fileSize) {
        m_pendingDigest.reset();
        answerEnd(replies, m_writeFailed ? DataPacket::CannotWrite : DataPacket::BadOffset);
        return;
    }
    // Out of date: read back from the disk by the owner, off this thread.
    if (m_writer.hashStale() || m_writer.hashedTo() != m_held)
        return;
    const QByteArray digest = *m_pendingDigest;
    m_pendingDigest.reset();
    answerEnd(replies, verdict(digest));
}

QByteArray DataReceiver::receive(QIODevice &in, const std::function<qint64()> &unreadBytes)
{
    QByteArray replies;
    bool ackDue = false; // fast blocks taken since the last ack
    // Asked for only when a packet must be dropped, and then once.
    qint64 unreadKnown = -1;
    const auto unread = [&]() -> qint64 & {
        if (unreadKnown < 0)
            unreadKnown = unreadBytes ? qMax<qint64>(0, unreadBytes()) : 0;
        return unreadKnown;
    };
    for (;;) {
        // The end packet waits for the writes or its hash: the rest stays on
        // the connection.
        if (m_pendingDigest || m_peerCancelled)
            break;
        if (m_discard > 0) {
            m_discard -= qMax<qint64>(0, in.skip(qMin(m_discard, in.bytesAvailable())));
            if (m_discard > 0)
                break;
        }
        const qint64 buffered = in.bytesAvailable();
        if (buffered < 4)
            break;
        char head[DataPacket::FastBlockHeaderSize];
        const qint64 seen = in.peek(head, qMin<qint64>(buffered, sizeof head));
        const QByteArrayView view(head, seen);
        const qint32 kind = DataPacket::readInt(view, 0);
        if (m_fast && kind != DataPacket::HeaderKind) {
            // A fast connection speaks fast packets only; anything else
            // cannot be delimited and ends the exchange of what waits.
            qint32 code = DataPacket::Accepted;
            if (kind == DataPacket::FastBlockKind) {
                if (buffered < DataPacket::FastBlockHeaderSize)
                    break;
                const qint32 count = DataPacket::readInt(view, 12);
                if (count < 0 || count > DataPacket::FastBlockSize) {
                    code = DataPacket::TooLong;
                    dropWaiting(in, unread());
                } else if (buffered < DataPacket::FastBlockHeaderSize + count) {
                    break;
                } else if (isWriteQueueFull()) {
                    break; // taken once the writes catch up
                } else {
                    code = handleFastBlock(take(in, DataPacket::FastBlockHeaderSize + count));
                }
                ++m_answered;
                m_refusals = code == DataPacket::Accepted ? 0 : m_refusals + 1;
                if (code == DataPacket::Accepted) {
                    ackDue = true;
                } else {
                    ackWritten(replies, ackDue);
                    ack(replies, code);
                    ackDue = false;
                }
                continue;
            }
            // Acks answer packets in order: the blocks before this one first.
            ackWritten(replies, ackDue);
            if (kind == DataPacket::FastCancelKind) {
                // The sender's user cancelled: nothing after it is taken,
                // and nothing answers it.
                take(in, DataPacket::FastCancelSize);
                m_peerCancelled = true;
                dropWaiting(in, unread());
                break;
            }
            if (kind == DataPacket::FastEndKind) {
                if (buffered < DataPacket::FastEndSize)
                    break;
                code = handleFastEnd(take(in, DataPacket::FastEndSize));
                if (m_pendingDigest)
                    break;
            } else {
                code = DataPacket::TooShort;
                dropWaiting(in, unread());
            }
            answerEnd(replies, code);
            continue;
        }
        if (ackDue)
            ackWritten(replies, ackDue);
        qint32 status = DataPacket::Accepted;
        if (kind == DataPacket::HeaderKind) {
            if (buffered < DataPacket::HeaderSize)
                break;
            status = handleHeader(take(in, DataPacket::HeaderSize));
        } else if (kind == DataPacket::BlockKind) {
            if (buffered < DataPacket::BlockHeaderSize)
                break;
            const qint32 count = DataPacket::readInt(view, 8);
            if (count > DataPacket::MaxReceivedCount || count < 0) {
                // The packet cannot be delimited: whatever is waiting goes.
                status = count < 0 ? DataPacket::TooShort : DataPacket::TooLong;
                dropWaiting(in, unread());
            } else if (buffered < DataPacket::BlockHeaderSize + count) {
                break;
            } else {
                status = handleBlock(take(in, DataPacket::BlockHeaderSize + count));
            }
        } else {
            // Any other kind has no length of its own: it takes every byte
            // waiting, and is refused when that is more than any packet.
            // A finished file answers nothing but its own sender.
            status = buffered + unread() > DataPacket::MaxPacketSize ? DataPacket::TooLong
                : m_serving                                          ? DataPacket::CannotOpen
                                                                     : DataPacket::Accepted;
            dropWaiting(in, unread());
        }
        answer(replies, status);
        // Fast mode starts with the bytes held, so the sender resumes from
        // what this side really has rather than from its own count.
        if (status == DataPacket::FastAccepted)
            ack(replies, DataPacket::Accepted);
    }
    if (m_fast && !m_serving)
        ackWritten(replies, ackDue);
    else if (ackDue)
        ack(replies, DataPacket::Accepted);
    return replies;
}

void DataReceiver::dropWaiting(QIODevice &in, qint64 &unread)
{
    in.skip(in.bytesAvailable());
    m_discard = unread;
    unread = 0;
}

QByteArray DataReceiver::expire(QIODevice &in)
{
    if (in.bytesAvailable() <= 0)
        return {};
    in.skip(in.bytesAvailable());
    QByteArray reply;
    answer(reply, DataPacket::TooShort);
    return reply;
}

qint32 DataReceiver::handleHeader(const QByteArray &packet)
{
    const auto header = DataPacket::parseHeader(packet);
    if (!header)
        return DataPacket::TooShort;
    const auto capability = m_fastAllowed ? DataPacket::parseCapability(packet) : std::nullopt;
    // A size a peer can send at will must never raise an error box: a
    // malformed one makes the packet malformed. Sizes of 2 GiB and more
    // only travel in fast mode, whose offsets are 64-bit; the marker then
    // repeats the size, and the two must agree.
    qint64 size = 0;
    if (capability) {
        if (!parseFileSize(header->fileSize, size, std::numeric_limits<qint64>::max())
            || size != capability->fileSize)
            return DataPacket::TooShort;
    } else if (!parseFileSize(header->fileSize, size)) {
        return DataPacket::TooShort;
    }
    if (m_serving) {
        // Only the sender of this very file, in fast mode (the only mode
        // that can end on a verdict without writing), is answered.
        const QFileInfo finished(m_finishedPath);
        if (!capability || m_expectedName.isEmpty() || header->fileName != m_expectedName
            || size != m_fileSize || !finished.isFile() || finished.size() != m_fileSize)
            return DataPacket::CannotOpen;
        m_fast = true;
        m_ackedTo = m_fileSize;
        return DataPacket::FastAccepted;
    }
    if (m_verifyFailed)
        return DataPacket::CannotOpen;
    // A finished download is never opened again: its file has left (or is
    // about to leave) the temp folder for its destination.
    if (m_complete)
        return DataPacket::CannotOpen;
    // Only this transfer's own file: a peer must not reach the partial file
    // of another download through its name.
    if (m_expectedName.isEmpty() || header->fileName != m_expectedName)
        return DataPacket::CannotOpen;

    closeFile();
    m_open = false;
    m_fast = false;
    m_noSpace = false;
    const QString path
        = tempFilePath(m_tempDir, m_partialName.isEmpty() ? Cp1252::decode(header->fileName) : m_partialName);
    if (path.isEmpty() || !TempFileClaims::claim(path))
        return DataPacket::CannotOpen;
    if (!openFile(path, size)) {
        TempFileClaims::release(path);
        return DataPacket::CannotOpen;
    }
    m_claimed = path;
    m_path = path;
    m_fileSize = size;
    m_open = true;
    ++m_headers;
    if (!capability)
        return DataPacket::Accepted;
    // What the file holds already is part of the file sent: it is read
    // back and hashed at the end, with whatever this connection rewrote.
    m_fast = true;
    m_writer.start(m_file.handle(), m_wake, m_beforeWrite);
    if (m_held > 0)
        m_writer.setHashStale();
    m_taken = m_held;
    m_ackedTo = m_held;
    m_endWaitsForWrites = false;
    m_writeFailed = false;
    return DataPacket::FastAccepted;
}

std::optional<DataReceiver::HashRequest> DataReceiver::hashRequest() const
{
    if (!m_pendingDigest || m_endWaitsForWrites)
        return std::nullopt;
    return HashRequest { m_serving ? m_finishedPath : m_path, m_held };
}

QByteArray DataReceiver::onHashed(std::unique_ptr<Sha256> hash)
{
    if (!m_pendingDigest || m_endWaitsForWrites)
        return {};
    const QByteArray digest = *m_pendingDigest;
    m_pendingDigest.reset();
    qint32 code = DataPacket::CannotWrite;
    if (hash) {
        m_writer.setHash(std::move(hash), m_held);
        code = verdict(digest);
    }
    QByteArray replies;
    answerEnd(replies, code);
    return replies;
}

QByteArray DataReceiver::keepAlive() const
{
    return DataPacket::fastAck(DataPacket::Accepted, window(), m_ackedTo);
}

bool DataReceiver::serveFinished(const QString &path, qint64 size)
{
    const QFileInfo info(path);
    if (path.isEmpty() || size < 0 || info.isSymLink() || !info.isFile() || info.size() != size)
        return false;
    disconnect();
    m_serving = true;
    m_finishedPath = path;
    m_fileSize = size;
    m_held = size;
    m_taken = size;
    m_ackedTo = size;
    return true;
}

qint32 DataReceiver::verdict(const QByteArray &digest)
{
    const bool same = m_writer.hash().result() == digest;
    if (!m_serving) {
        // Either way nothing is written any more.
        m_writer.stop();
        m_file.close();
    }
    if (!same) {
        // Kept in the temp folder as it is, for the user to look at; it is
        // not the file that was sent, so it never goes to its destination.
        // A finished file stays what it was: only this sender is told.
        if (!m_serving)
            m_verifyFailed = true;
        return DataPacket::HashMismatch;
    }
    if (!m_serving)
        m_complete = true;
    return DataPacket::Verified;
}

qint32 DataReceiver::handleFastBlock(const QByteArray &packet)
{
    const qint64 offset = DataPacket::readInt64(packet, 4);
    const qint32 count = DataPacket::readInt(packet, 12);
    // A finished file takes no data: an empty block is only a sign of life.
    if (m_serving)
        return count == 0 && offset >= 0 && offset <= m_fileSize ? DataPacket::Accepted
                                                                 : DataPacket::CannotWrite;
    if (!m_open || !m_file.isOpen())
        return DataPacket::NoFileOpen;
    // The same rules as the described blocks: no gap, nothing beyond the
    // announced size.
    if (offset < 0 || offset > m_taken)
        return DataPacket::BadOffset;
    if (count > m_fileSize - offset || m_writeFailed)
        return DataPacket::CannotWrite;
    m_writer.add(offset, packet, DataPacket::FastBlockHeaderSize, count);
    if (!m_wake) {
        // Written at once: a failure is this block's answer.
        const BlockWriter::Written written = m_writer.collect();
        if (written.error != 0) {
            m_writeFailed = true;
            m_noSpace = written.error == ENOSPC || written.error == EDQUOT;
            return DataPacket::CannotWrite;
        }
        m_held = qMax(m_held, written.furthest);
        m_ackedTo = written.lastEnd;
    }
    m_taken = qMax(m_taken, offset + count);
    return DataPacket::Accepted;
}

qint32 DataReceiver::handleFastEnd(const QByteArray &packet)
{
    if (!m_serving && (!m_open || !m_file.isOpen()))
        return DataPacket::NoFileOpen;
    const qint64 size = DataPacket::readInt64(packet, 4);
    if (size != m_fileSize || m_taken != m_fileSize)
        return DataPacket::BadOffset;
    const QByteArray digest = packet.sliced(12, DataPacket::HashSize);
    if (m_serving) {
        // Read back from the disk by the owner, off this thread.
        m_pendingDigest = digest;
        return DataPacket::Accepted;
    }
    if (!m_writer.idle()) {
        // Answered by onWritten() once the blocks before it are written.
        m_pendingDigest = digest;
        m_endWaitsForWrites = true;
        return DataPacket::Accepted;
    }
    if (m_writeFailed || m_held != m_fileSize)
        return m_writeFailed ? DataPacket::CannotWrite : DataPacket::BadOffset;
    if (m_writer.hashStale() || m_writer.hashedTo() != m_held) {
        m_pendingDigest = digest;
        return DataPacket::Accepted;
    }
    return verdict(digest);
}

bool DataReceiver::openFile(const QString &path, qint64 fileSize)
{
    QDir().mkpath(m_tempDir);
    const QFileInfo info(path);
    if (info.isSymLink())
        return false;
    m_file.setFileName(path);
    if (!info.exists()) {
        m_held = 0;
        return m_file.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered);
    }
    // A file is there: an earlier attempt of this transfer. Everything it
    // holds arrived from the sender, including a block whose status never
    // got back; keeping it all lets a sender that counted that block carry
    // on where it stands. A file longer than the announced size is not a
    // part of this one.
    if (!info.isFile() || info.size() > fileSize)
        return false;
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered))
        return false;
    m_held = m_file.size();
    return true;
}

qint32 DataReceiver::handleBlock(const QByteArray &packet)
{
    const qint32 offset = DataPacket::readInt(packet, 4);
    const qint32 count = DataPacket::readInt(packet, 8);
    if (!m_open)
        return DataPacket::NoFileOpen;
    if (offset < 0 || offset > m_held)
        return DataPacket::BadOffset;
    // Once complete the file is closed; later blocks cannot be written.
    if (!m_file.isOpen())
        return DataPacket::CannotWrite;
    // Bytes beyond the announced size would make the file something else
    // than the file announced.
    if (qint64(offset) + count > m_fileSize)
        return DataPacket::CannotWrite;
    // One call, at its offset: this runs for every 256-byte block.
    if (::pwrite(m_file.handle(), packet.constData() + DataPacket::BlockHeaderSize, size_t(count), offset)
        != count)
        return writeFailed();
    // No gap is ever accepted, so the file holds everything from 0 to its
    // end: a block sent again overwrites and is not counted twice.
    m_held = qMax<qint64>(m_held, qint64(offset) + count);
    // A fast connection ends on the sender's hash, not on the last byte.
    if (m_held == m_fileSize && !m_fast) {
        m_complete = true;
        m_file.close();
    }
    return DataPacket::Accepted;
}

// A write that failed for want of space is told apart: the transfer can go
// on once space is free, and the user must know why it stopped.
qint32 DataReceiver::writeFailed()
{
    m_noSpace = errno == ENOSPC || errno == EDQUOT;
    return DataPacket::CannotWrite;
}

QByteArray DataReceiver::cancelReply() const
{
    return DataPacket::fastAck(DataPacket::Cancelled, 0, m_ackedTo);
}

void DataReceiver::closeFile()
{
    // What waits to be written is dropped; a write under way ends first.
    m_writer.stop();
    const BlockWriter::Written written = m_writer.collect();
    if (written.blocks > 0)
        m_held = qMax(m_held, written.furthest);
    if (m_file.isOpen())
        m_file.close();
    TempFileClaims::release(m_claimed);
    m_claimed.clear();
}

bool DataReceiver::disconnect()
{
    const bool wasOpen = m_open;
    closeFile();
    m_open = false;
    m_fast = false;
    m_refusals = 0;
    m_pendingDigest.reset();
    m_endWaitsForWrites = false;
    return wasOpen;
}

bool DataReceiver::isPlainFileName(const QString &name)
{
    if (name.isEmpty() || name == u"." || name == u"..")
        return false;
    for (QChar c : name) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

QString DataReceiver::tempFilePath(const QString &tempDir, const QString &name)
{
    if (tempDir.isEmpty() || !isPlainFileName(name))
        return {};
    const QDir dir(tempDir);
    const QString path = QDir::cleanPath(dir.absoluteFilePath(name));
    // Belt and braces: the result must sit directly in the temp folder.
    if (QFileInfo(path).absolutePath() != QDir::cleanPath(dir.absolutePath()))
        return {};
    return path;
}

bool DataReceiver::parseFileSize(const QByteArray &text, qint64 &size, qint64 limit)
{
    if (text.isEmpty())
        return false;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        if (value > (limit - (c - '0')) / 10)
            return false;
        value = value * 10 + (c - '0');
    }
    size = value;
    return true;
}

bool DataReceiver::moveFinished(
    const QString &tempFile, const QString &tempDir, const QString &destination, bool replace, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo source(tempFile);
    if (tempFile.isEmpty() || destination.isEmpty()
        || tempFilePath(tempDir, source.fileName()) != QDir::cleanPath(source.absoluteFilePath()))
        return fail(QStringLiteral("fichier temporaire introuvable"));
    const QFileInfo target(destination);
    if (target.isDir())
        return fail(QStringLiteral("un dossier porte ce nom"));
    if ((target.exists() || target.isSymLink()) && !replace)
        return fail(QStringLiteral("le fichier existe déjà"));
    if (!replace) {
        QFile file(tempFile);
        if (file.rename(destination))
            return true;
        return fail(file.errorString());
    }
    return SafeFile::replace(tempFile, destination, error);
}
