#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "transfer/BlockWriter.h"
#include "transfer/DataPacket.h"
#include "transfer/Sha256.h"

class QIODevice;

// The receiving end of a data connection, without the socket: it takes
// whole packets from the bytes waiting on the connection, writes the file in
// the temp folder and gives back the status replies to send.
//
// Framing: a header is 510 bytes, a block 12 + Count bytes; an incomplete
// packet stays on the connection until the rest arrives (or until the owner
// gives up on it with expire()). A packet of another kind takes every byte
// waiting at that moment. Nothing larger than one packet (516 bytes) is ever
// taken off the connection at once.
//
// The file belongs to this object, so any number of receivers can run at once.
//
// Progress is what the file really holds from offset 0: on a header the
// partial file of an earlier attempt is taken as it is (never cut back), so a
// sender resuming from its own count, which includes the block that was in
// flight, finds every byte that did arrive. The transfer completes exactly
// when the file holds the announced size; from then on every header is
// refused, so a finished download is never opened again.
//
// Fast mode: a header carrying the capability marker (see DataPacket) is
// answered FastAccepted and a FastAck with the bytes held, when fast mode is
// allowed here. The sender then starts where the file really ends, sends
// blocks of up to 64 KiB at 64-bit offsets without waiting for each status,
// and gets cumulative FastAcks; its closing packet carries the SHA-256 of
// the whole file, which must match what the file holds before the transfer
// counts as complete. On a mismatch the file stays where it is and every
// later header is refused: nothing overwrites what the user may want to see.
//
// Fast blocks are written, and hashed as they are written, by a BlockWriter:
// on a thread of its own once the owner asks for it (setWriteBehind), so
// that the connection never waits for the disk or the hash. A FastAck then
// confirms only what is written: the owner calls onWritten() when the
// writing thread says it wrote more, and sends the acks it returns. While
// BlockWriter::QueueLimit bytes wait to be written, receive() takes no more
// blocks off the connection (they wait there, and TCP holds the sender
// back): what this side holds in memory stays bounded whatever the path.
// The end packet waits until every block before it is written.
//
// When the end packet finds the hash kept in memory out of date (a resumed
// file, or a block that rewrote hashed bytes), the file must be read back:
// receive() stops there and hashRequest() says what to hash; the owner
// does it on a worker and hands it to onHashed(), which gives the verdict.
// Meanwhile keepAlive() is an ack the sender takes as a sign of life.
//
// A finished download answers a sender that comes back because it never
// got its verdict (serveFinished()): a header with the marker for the same
// name and size gets FastAccepted and a FastAck holding the whole file,
// (window 0: no block is taken), then its end packet the verdict on the
// finished file, hashed from disk.
// Nothing is ever written then: anything else is refused, and the owner
// ends the connection at once (shouldGiveUp()).
//
// The partial file is named by the owner (setPartialName): each transfer
// has a file of its own in the temp folder, so a leftover of another
// transfer with the same name is never taken for this one's. Without a
// partial name the header's file name is used.
//
// Cancel (fast mode only): a FastCancel packet from the sender ends the
// exchange (peerCancelled()); cancelReply() is what tells the sender that
// the user of this side cancelled.
class DataReceiver
{
public:
    DataReceiver() = default;
    ~DataReceiver();
    DataReceiver(const DataReceiver &) = delete;
    DataReceiver &operator=(const DataReceiver &) = delete;

    // Non-zero statuses in a row after which the connection is given up: a
    // sender that repeats a refused block for ever would never get further.
    static constexpr int MaxRefusals = 16;

    void setTempDir(const QString &dir) { m_tempDir = dir; }
    QString tempDir() const { return m_tempDir; }
    // The only file name a header may carry (the transfer's own file, as
    // its sender spells it: Windows-1252, cut to 255 bytes). Empty: every
    // header is refused.
    void setExpectedName(const QString &name);
    // The name of the partial file in the temp folder (a plain name);
    // empty: the name the header carries.
    void setPartialName(const QString &name) { m_partialName = name; }
    QString partialName() const { return m_partialName; }
    // Whether a header asking for fast mode gets it (on by default).
    void setFastAllowed(bool allowed) { m_fastAllowed = allowed; }
    bool isFastAllowed() const { return m_fastAllowed; }

    // Handles every whole packet waiting in `in`; returns the replies, in
    // order. unread is what waits on the connection beyond what `in` has taken in
    // (the system's receive queue): bytes that cannot be a packet are
    // dropped up to there, as they arrive.
    QByteArray receive(QIODevice &in, qint64 unread = 0);
    // The same, asking for unread only when a packet must be dropped (the
    // question costs a system call).
    QByteArray receive(QIODevice &in, const std::function<qint64()> &unread);
    // Fast blocks are written on a thread of their own, which calls wake
    // (from that thread) when it wrote more; set before the header comes.
    // Empty: each block is written as it is taken. beforeWrite runs on that
    // thread before each write (tests hold the writes with it).
    void setWriteBehind(std::function<void()> wake, std::function<void()> beforeWrite = {})
    {
        m_wake = std::move(wake);
        m_beforeWrite = std::move(beforeWrite);
    }
    // After a wake: the acks of what was written since, and the verdict of
    // an end packet that waited for the writes.
    QByteArray onWritten();
    // receive() stopped taking blocks until the writes catch up.
    bool isWriteQueueFull() const { return m_writer.queued() >= BlockWriter::QueueLimit; }
    // The most bytes ever waiting to be written at once.
    qint64 largestQueued() const { return m_writer.largestQueued(); }
    // The bytes waiting stayed an incomplete packet too long: they are
    // dropped and answered as a packet too short.
    QByteArray expire(QIODevice &in);
    // Packets answered so far, expired ones included.
    int packetsAnswered() const { return m_answered; }
    // Headers accepted so far: a change means a new file was opened.
    int headersAccepted() const { return m_headers; }

    // Non-zero statuses in a row on this connection; at MaxRefusals the
    // owner ends it.
    int refusalsInARow() const { return m_refusals; }
    bool shouldGiveUp() const { return m_refusals >= (m_serving ? 1 : MaxRefusals); }

    struct HashRequest
    {
        QString path;
        qint64 upTo = 0;
    };
    // The end packet waits for the hash of the file's first upTo bytes;
    // receive() takes nothing more until onHashed() has its result.
    std::optional<HashRequest> hashRequest() const;
    // The hash asked for (nullptr: the file could not be read); returns the
    // verdict to send.
    QByteArray onHashed(std::unique_ptr<Sha256> hash);
    QByteArray keepAlive() const;

    // From now on this receiver only answers for the finished file at
    // `path` (size bytes), read-only; false when it is not there with that
    // size. It stays so across connections, until stopServing().
    bool serveFinished(const QString &path, qint64 size);
    void stopServing() { m_serving = false; }
    bool isServing() const { return m_serving; }

    // The sender's user cancelled the transfer: nothing more is taken.
    bool peerCancelled() const { return m_peerCancelled; }
    // The fast ack telling the sender that this side's user cancelled.
    QByteArray cancelReply() const;
    // The last write failed because the disk (or the user's quota) is full.
    bool noSpace() const { return m_noSpace; }

    // The connection ended. Returns whether a header had been accepted since
    // the previous disconnection (the file is closed either way).
    bool disconnect();

    bool isFileOpen() const { return m_open; }
    // The connection's accepted header asked for fast mode and got it.
    bool isFast() const { return m_fast; }
    // The SHA-256 the sender announced did not match the file held.
    bool verificationFailed() const { return m_verifyFailed; }
    // Largest packet ever taken off the connection at once: what this side
    // holds in memory does not grow with the file.
    qint64 largestPacket() const { return m_largestPacket; }
    // The most bytes a fast-mode connection must be able to buffer for one
    // whole packet to be readable.
    static constexpr qint64 FastReadBuffer = DataPacket::FastBlockHeaderSize + DataPacket::FastBlockSize;
    bool isComplete() const { return m_complete; }
    // File size announced by the accepted header.
    qint64 fileSize() const { return m_fileSize; }
    // Bytes the file holds from offset 0: what has really been received
    // and written.
    qint64 held() const { return m_held; }
    // The temp file of the last accepted header.
    QString filePath() const { return m_path; }

    // A name the header may carry: not empty, not "." or "..", no folder
    // separator of any system, no control character.
    static bool isPlainFileName(const QString &name);
    // tempDir + name, or the empty text when the name is not plain.
    static QString tempFilePath(const QString &tempDir, const QString &name);
    // A size text of a header: decimal digits only, 0 to limit
    // (2147483647 for the 32-bit offsets of the described blocks).
    static bool parseFileSize(const QByteArray &text, qint64 &size, qint64 limit = 2147483647);
    // Moves a finished download out of the temp folder. The source must be a
    // plain name inside tempDir. An existing destination is replaced only
    // when replace is set (the user confirmed it), in one step: the
    // destination is the old file or the new one, never half of either.
    // False, with the reason in error, when the file stays where it is.
    static bool moveFinished(const QString &tempFile, const QString &tempDir, const QString &destination,
        bool replace = false, QString *error = nullptr);

private:
    void dropWaiting(QIODevice &in, qint64 &unread);
    qint32 handleHeader(const QByteArray &packet);
    qint32 handleBlock(const QByteArray &packet);
    qint32 handleFastBlock(const QByteArray &packet);
    qint32 handleFastEnd(const QByteArray &packet);
    QByteArray take(QIODevice &in, qint64 size);
    qint32 verdict(const QByteArray &digest);
    // What a FastAck offers: a finished file takes no block.
    qint32 window() const { return m_serving ? 0 : DataPacket::FastMaxWindow; }
    void ack(QByteArray &replies, qint32 code);
    // The acks of the blocks written since the last ack, or the failure of
    // a write; ackDue: blocks were answered Accepted and wait for their ack.
    void ackWritten(QByteArray &replies, bool &ackDue);
    // The answer to the end packet once every block is written.
    void finishEnd(QByteArray &replies);
    void answerEnd(QByteArray &replies, qint32 code);
    bool openFile(const QString &path, qint64 fileSize);
    void answer(QByteArray &replies, qint32 status);
    void closeFile();

    qint32 writeFailed();

    QString m_tempDir;
    QString m_partialName;
    QFile m_file;
    QString m_path;
    QString m_claimed;
    bool m_open = false;
    bool m_complete = false;
    qint64 m_fileSize = 0;
    qint64 m_held = 0;
    int m_answered = 0;
    int m_headers = 0;
    int m_refusals = 0;
    QByteArray m_expectedName;
    qint64 m_discard = 0; // bytes still to drop as they arrive
    bool m_fastAllowed = true;
    bool m_fast = false;
    bool m_verifyFailed = false;
    qint64 m_largestPacket = 0;
    // Writes fast blocks and keeps the SHA-256 of what it wrote in order.
    BlockWriter m_writer;
    std::function<void()> m_wake;
    std::function<void()> m_beforeWrite;
    // Where the blocks taken off the connection end (written or not): the
    // next block may not start beyond it.
    qint64 m_taken = 0;
    bool m_endWaitsForWrites = false;
    bool m_writeFailed = false;
    // What a FastAck confirms: first the bytes held, then the end of the
    // last block taken. A sender rewriting a partial file from behind its
    // end must not be told of bytes it has not sent yet on this connection.
    qint64 m_ackedTo = 0;
    // The end packet's digest while its hash is read back from the file.
    std::optional<QByteArray> m_pendingDigest;
    bool m_serving = false;
    QString m_finishedPath;
    bool m_peerCancelled = false;
    bool m_noSpace = false;
};
