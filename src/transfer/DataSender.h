#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

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
    };
    enum class Failure {
        None,
        HeaderRefused, // the header's status was not 0
        SteppedBackRefused, // status 4 again after stepping back one block
        TooManyRefusals, // MaxRefusals statuses in a row refused a block
        FileUnreadable, // the file shrank or could not be read any more
    };
    struct Step
    {
        Action action = Action::None;
        QByteArray bytes;
    };

    DataSender() = default;
    DataSender(const DataSender &) = delete;
    DataSender &operator=(const DataSender &) = delete;

    // Opens the file for reading and prepares the header; sending resumes at
    // resumeFrom (held within the file). False, with the reason, when the
    // file cannot be read.
    bool start(const QString &path, qint64 resumeFrom, QString *error = nullptr);
    // The header to send now; its status is awaited from then on.
    QByteArray takeHeader();
    // Takes every whole 4-byte status waiting in `in` until one asks for
    // something; call again while the answer is not None.
    Step receive(QIODevice &in);
    Step onStatus(qint32 status);
    // Ends the attempt: the file is closed.
    void stop();

    bool isFileOpen() const { return m_file.isOpen(); }
    qint64 fileSize() const { return m_size; }
    // Bytes the receiver has acknowledged.
    qint64 acknowledged() const { return m_offset; }
    // Bytes sent: the acknowledged ones and the block in flight.
    qint64 sent() const { return m_offset + (m_awaiting == Awaiting::BlockStatus ? m_count : 0); }
    Failure failure() const { return m_failure; }
    QByteArray header() const { return m_header; }

private:
    enum class Awaiting { Nothing, HeaderStatus, BlockStatus };
    Step nextBlock();
    Step fail(Failure why);

    QFile m_file;
    QByteArray m_header;
    QByteArray m_block; // the block in flight
    qint64 m_size = 0;
    qint64 m_offset = 0; // acknowledged bytes; where the block in flight starts
    qint32 m_count = 0; // data bytes of the block in flight
    Awaiting m_awaiting = Awaiting::Nothing;
    int m_refusals = 0;
    bool m_firstBlock = false; // the block in flight is the first after the header
    bool m_steppedBack = false;
    Failure m_failure = Failure::None;
};
