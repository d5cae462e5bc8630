#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>
#include <memory>

#include "transfer/BlockReader.h"
#include "transfer/DataPacket.h"
#include "transfer/FlightWindow.h"
#include "transfer/Sha256.h"

class QIODevice;

// The sending end of a data connection, without the socket: stop and wait.
// It gives the header, then one block at a time, each sent only once the
// status of the previous packet has arrived.
//
// A block counts as transferred when it is sent (sent() is what the owner
// saves for a later resumption): a receiver of the community's clients
// counts every block it accepts on top of its own saved count, so a sender
// that resumes behind that count would make it complete with bytes missing.
// When the connection broke before the block in flight arrived, the
// receiver answers the first block after the header with status 4; the
// sender then steps back once, by at most one block, to the last offset the
// receiver acknowledged, and gives up (SteppedBackRefused) if that is
// refused as well: the receiver no longer holds what it acknowledged, and
// starting over from 0 would make such a receiver count the file twice.
//
// Fast mode: the header carries the capability marker (DataPacket), which a
// receiver without fast mode does not read. A receiver that answers
// FastAccepted sends a FastAck with the bytes it holds; sending restarts
// from there, with blocks of 64 KiB in flight and cumulative acks, and ends
// with the SHA-256 of the whole file, which the receiver must confirm
// (Verified) for the transfer to complete. How much is in flight follows the
// path (FlightWindow), within the window the receiver advertises. The end
// packet follows the last block at once: the receiver takes it after the
// blocks. Progress is what the receiver acknowledged, never more than it
// holds, so a later attempt can resume in either mode.
//
// The file is read once, from where sending starts, hashed as it is read
// (BlockReader): on a thread of its own once the owner asks for read-ahead,
// so that the connection never waits for the disk or the hash. The owner
// then calls pump() when that thread has blocks ready, and may bound what
// each step hands it to what its socket can take (setSendRoom).
//
// Encryption: a sender that can open a tunnel (setEncryptionOffered) says
// so in the marker; a receiver that answers FastAcceptedEncrypted expects
// the TLS handshake at once, and the step says so (Secure): from then on
// the owner hands the packets of receive() and the bytes of each step
// through its DataTunnel, and nothing else changes. A receiver that
// answers FastAccepted (a Voxlane client without encryption) or 0 (without
// fast mode) gets what it got before.
//
// A fast connection that resumes needs the hash of the bytes the receiver
// already holds before it can go on: that is a step of its own (Hash), so
// that the owner reads them on a worker while the connection keeps running
// on keepAlive() packets, and hands the hash back with onPrefixHashed().
// A finished download answering a sender that never got its verdict holds
// the whole file and takes no block (its FastAck says so with a window of
// 0): it gets the end packet straight away.
class DataSender
{
public:
    // Refusals of blocks in a row after which the attempt ends.
    static constexpr int MaxRefusals = 16;

    enum class Action {
        None, // nothing to do until more bytes arrive
        Send, // send `bytes`
        Complete, // every byte acknowledged: end the connection, success
        Close, // the attempt failed: end the connection
        Hash, // hash bytes 0 to hashUpTo of the file, then onPrefixHashed()
        Secure, // open the TLS tunnel now: every later byte goes through it
    };
    enum class Failure {
        None,
        HeaderRefused, // the header's status was not 0
        SteppedBackRefused, // status 4 again after stepping back one block
        TooManyRefusals, // MaxRefusals statuses in a row refused a block
        FileUnreadable, // the file shrank or could not be read any more
        HashMismatch, // the receiver's file is not the file sent
        FastRefused, // a fast ack refused a packet, or made no sense
        TooLargeForPeer, // 2 GiB or more, and the receiver has no fast mode
        CancelledByPeer, // the receiver's user cancelled the transfer
    };
    struct Step
    {
        Action action = Action::None;
        QByteArray bytes;
        qint64 hashUpTo = 0;
    };

    DataSender() = default;
    DataSender(const DataSender &) = delete;
    DataSender &operator=(const DataSender &) = delete;

    // Opens the file for reading and prepares the header; sending resumes at
    // resumeFrom (held within the file). False, with the reason, when the
    // file cannot be read.
    bool start(const QString &path, qint64 resumeFrom, QString *error = nullptr);
    // Whether the header asks for fast mode (on by default); set before
    // start(). Files of 2 GiB and more can only be sent in fast mode.
    void setFastOffered(bool offered) { m_fastOffered = offered; }
    bool isFastOffered() const { return m_fastOffered; }
    // Whether the marker offers encryption (off by default: the owner must
    // have a key to open a tunnel with); set before start().
    void setEncryptionOffered(bool offered) { m_encryptionOffered = offered; }
    bool isEncryptionOffered() const { return m_encryptionOffered; }
    // The header to send now; its status is awaited from then on.
    QByteArray takeHeader();
    // Takes every whole 4-byte status waiting in `in` until one asks for
    // something; call again while the answer is not None.
    Step receive(QIODevice &in);
    Step onStatus(qint32 status);
    // One FastAck of a fast connection.
    Step onFastAck(qint32 code, qint64 held, qint32 window = DataPacket::FastWindow);
    // The hash a Hash step asked for (nullptr: the file could not give it).
    Step onPrefixHashed(std::unique_ptr<Sha256> hash);
    // More blocks while the window has room: after the reading thread said
    // it has some, or the socket took what it held.
    Step pump();

    // Fast blocks are read ahead on a thread of their own, which calls wake
    // (from that thread) when blocks are ready after pump() found none; set
    // before start(). Empty: each block is read when it is sent.
    void setReadAhead(std::function<void()> wake) { m_wake = std::move(wake); }
    // How many bytes the owner's socket takes now; a step hands over at
    // most that much and one batch. Empty: no limit.
    void setSendRoom(std::function<qint64()> room) { m_room = std::move(room); }
    // The clock the window measures round trips with, in nanoseconds.
    void setClock(std::function<qint64()> clock);
    // Waiting for onPrefixHashed(): keepAlive() is what to send meanwhile
    // now and then, so that the receiver does not take the quiet for a
    // stall (an empty block where it stands, which it acknowledges).
    bool isHashing() const { return m_awaiting == Awaiting::PrefixHash; }
    QByteArray keepAlive() const;
    // Ends the attempt: the file is closed.
    void stop();

    bool isFileOpen() const { return m_file.isOpen(); }
    QString filePath() const { return m_file.fileName(); }
    qint64 fileSize() const { return m_size; }
    // Bytes the receiver has acknowledged.
    qint64 acknowledged() const { return m_offset; }
    // What counts as transferred: in the described mode the acknowledged
    // bytes and the block in flight, in fast mode the acknowledged bytes.
    qint64 sent() const { return m_offset + (m_awaiting == Awaiting::BlockStatus ? m_count : 0); }
    bool isFast() const { return m_fast; }
    // The receiver accepted the header (in any mode) on this connection.
    bool headerAnswered() const { return m_headerAnswered; }
    // The receiver took the encrypted fast mode on this connection.
    bool isEncrypted() const { return m_encrypted; }
    // Bytes sent and not yet acknowledged, and the most there ever were:
    // bounded by the window, whatever the size of the file.
    qint64 inFlight() const { return m_fast ? m_next - m_offset : 0; }
    qint64 largestInFlight() const { return m_largestInFlight; }
    const FlightWindow &window() const { return m_window; }
    // Bytes read ahead and not yet sent.
    qint64 readAhead() const { return m_reader.buffered(); }
    Failure failure() const { return m_failure; }
    QByteArray header() const { return m_header; }

private:
    enum class Awaiting { Nothing, HeaderStatus, BlockStatus, FastStart, PrefixHash, FastAcks, FastVerdict };
    Step nextBlock();
    Step fillWindow();
    Step fail(Failure why);
    // The described mode's bytes at offset, from a cache read a chunk at a
    // time: the file is not asked for each 256-byte block.
    QByteArrayView readAt(qint64 offset, qint64 wanted);
    qint64 now() const;

    QFile m_file;
    QByteArray m_header;
    QByteArray m_block; // the block in flight
    QByteArray m_cache;
    qint64 m_cacheStart = 0;
    qint64 m_size = 0;
    qint64 m_offset = 0; // acknowledged bytes; where the block in flight starts
    qint32 m_count = 0; // data bytes of the block in flight
    Awaiting m_awaiting = Awaiting::Nothing;
    int m_refusals = 0;
    bool m_firstBlock = false; // the block in flight is the first after the header
    bool m_steppedBack = false;
    Failure m_failure = Failure::None;
    bool m_fastOffered = true;
    bool m_fast = false;
    bool m_encryptionOffered = false;
    bool m_encrypted = false;
    bool m_headerAnswered = false;
    qint64 m_next = 0; // fast mode: where the next block starts
    qint64 m_largestInFlight = 0;
    FlightWindow m_window;
    // Reads and hashes the file from where fast blocks start.
    BlockReader m_reader;
    std::function<void()> m_wake;
    std::function<qint64()> m_room;
    std::function<qint64()> m_clock;
};
