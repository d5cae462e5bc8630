#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The text protocol of the control channel, without any socket. A message is
// a five-character tag, a payload, then the byte 0x05. Texts are Windows-1252
// and nothing is escaped, so a field can never carry 0x01, 0x02, 0x03 or 0x05.
namespace ControlMessage {

inline constexpr char kEnd = '\x05';
inline constexpr char kSep1 = '\x01';
inline constexpr char kSep2 = '\x02';
inline constexpr char kSep3 = '\x03';
inline constexpr int kTagLength = 5;

// Indexes into CommandTable. Unknown is the empty entry: it matches only an
// empty text and, like any text matching no entry, means "not understood".
enum class Command { Unknown = 0, Ask = 1, Oui = 2, Non = 3, Can = 4, Trc = 5, Pok = 6, Pre = 7 };

// The eight tags, index 0 to 7; index 0 is the empty text.
QStringList CommandTable();

// The command a received message (without its 0x05) starts with: its first
// five characters compared exactly, letter case included.
Command classify(const QString &message);

// Bytes that carry one command on the wire: the text then 0x05.
QByteArray encode(const QString &command);

// The payload of a message: everything after the tag.
QString payload(const QString &message);

struct Offer
{
    QString pseudo;
    QString fileName;
    QString size;
    QString address;
};

// "{ask}" text (without 0x05) for an offer. Separator bytes inside a field
// are dropped so that the message cannot be cut short on the peer's side.
QString makeOffer(const Offer &offer);

// Reads the fields of an "{ask}" payload. Fields are delimited by the first
// 0x01, 0x02 and 0x03 (and an optional trailing 0x05); a field whose
// delimiters are missing or out of order is empty.
Offer parseOffer(const QString &payload);

// The size field of an offer as a byte count: plain decimal digits, from 0
// up to what 64 bits hold (files of 2 GiB and more travel between Voxlane
// peers). Anything else (sign, blanks, letters, empty, too large) gives
// nothing.
std::optional<qint64> offerSize(const QString &text);

// The port text of a "{can}" message: the four characters after the tag.
QString portText(const QString &message);

// Cuts the bytes of one connection into messages at each 0x05, keeping an
// incomplete message for the next read. A pending message longer than
// kMaxPending bytes is dropped (and counted) up to its next 0x05, so a peer
// that never ends a message cannot make us buffer without limit.
class Framer
{
public:
    static constexpr int kMaxPending = 4096;

    struct Result
    {
        QList<QByteArray> messages; // without their 0x05
        int dropped = 0; // oversized messages thrown away
    };

    Result feed(const QByteArray &bytes);
    qsizetype pendingSize() const { return m_pending.size(); }
    void clear();

private:
    QByteArray m_pending;
    bool m_discarding = false; // inside an oversized message
};

} // namespace ControlMessage
