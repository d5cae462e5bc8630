#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

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

    // Handles every whole packet waiting in `in`; returns the replies, in
    // order. unread is what waits on the connection beyond what `in` has taken in
    // (the system's receive queue): bytes that cannot be a packet are
    // dropped up to there, as they arrive.
    QByteArray receive(QIODevice &in, qint64 unread = 0);
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
    bool shouldGiveUp() const { return m_refusals >= MaxRefusals; }

    // The connection ended. Returns whether a header had been accepted since
    // the previous disconnection (the file is closed either way).
    bool disconnect();

    bool isFileOpen() const { return m_open; }
    bool isComplete() const { return m_complete; }
    // File size announced by the accepted header.
    qint64 fileSize() const { return m_fileSize; }
    // Bytes the file holds from offset 0: what has really been received.
    qint64 held() const { return m_held; }
    // The temp file of the last accepted header.
    QString filePath() const { return m_path; }

    // A name the header may carry: not empty, not "." or "..", no folder
    // separator of any system, no control character.
    static bool isPlainFileName(const QString &name);
    // tempDir + name, or the empty text when the name is not plain.
    static QString tempFilePath(const QString &tempDir, const QString &name);
    // A size text of a header: decimal digits only, 0 to 2147483647.
    static bool parseFileSize(const QByteArray &text, qint64 &size);
    // Moves a finished download out of the temp folder. The source must be a
    // plain name inside tempDir; an existing destination is never replaced.
    static bool moveFinished(const QString &tempFile, const QString &tempDir, const QString &destination);

private:
    void dropWaiting(QIODevice &in, qint64 &unread);
    qint32 handleHeader(const QByteArray &packet);
    qint32 handleBlock(const QByteArray &packet);
    bool openFile(const QString &path, qint64 fileSize);
    void answer(QByteArray &replies, qint32 status);
    void closeFile();

    QString m_tempDir;
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
};
