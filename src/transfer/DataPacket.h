#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// The packets of a transfer's data connection, as bytes. All integers are
// 32-bit signed little-endian; texts are length-prefixed Windows-1252.
//
//   header  (sender -> receiver, always 510 bytes)
//     0  Kind = 1
//     4  file name: length byte (0..255), then the name
//     260 file size: length byte, then the size in decimal digits; the field
//         is 256 bytes in the packet buffer, only its first 250 are sent
//   block   (sender -> receiver, 12 + Count bytes)
//     0  Kind = 2,  4  Offset,  8  Count,  12  Count data bytes
//   status  (receiver -> sender, 4 bytes): one integer, see Status
//
// These byte layouts are what every peer speaks; nothing here may change them.
//
// Fast mode, spoken only between two peers that both asked for it:
//   capability marker, inside the header's size field after its text (bytes
//   that other peers never read): at 384 the magic "VXLNFAST", 392 version,
//   396 block size, 400 window (packets in flight), 404 file size (64-bit)
//   FastAccepted: the status a receiver gives to a header that carries the
//   marker when it takes fast mode; a FastAck follows it at once
//   fast block (sender -> receiver, 16 + Count bytes)
//     0  Kind = 3,  4  Offset (64-bit),  12  Count,  16  Count data bytes
//   fast end  (sender -> receiver, 44 bytes)
//     0  Kind = 4,  4  file size (64-bit),  12  SHA-256 of the whole file
//   fast ack  (receiver -> sender, 16 bytes)
//     0  Code (a Status),  4  window (blocks the sender may have in flight:
//        FastWindow from the first receivers, up to FastMaxWindow from later
//        ones; a sender never goes beyond it),  8  acknowledged up to (64-bit): the
//        bytes held for the ack that follows FastAccepted, then the end of
//        the last block taken; Code Cancelled: the receiver's user cancelled
//        the transfer, the sender stops for good
//   fast cancel  (sender -> receiver, 4 bytes)
//     0  Kind = 5: the sender's user cancelled the transfer
// A peer without fast mode reads a marked header as any other and answers
// 0, and its sender never puts the marker: both then stay with the packets
// above.
class DataPacket
{
public:
    enum Kind : qint32 { HeaderKind = 1, BlockKind = 2, FastBlockKind = 3, FastEndKind = 4, FastCancelKind = 5 };

    enum Status : qint32 {
        Accepted = 0, // also the answer to a packet of an unknown kind
        TooLong = 1, // more than one largest packet was waiting
        TooShort = 2, // truncated or malformed packet
        NoFileOpen = 3, // block before any accepted header
        BadOffset = 4, // block would start before 0 or leave a gap
        CannotOpen = 5, // header refused: its file cannot be opened here
        CannotWrite = 6, // block could not be written
        // Fast mode only, in a FastAck:
        HashMismatch = 7, // the file held is not the file sent
        Verified = 8, // the file held is the file sent: complete
        Cancelled = 9, // the receiver's user cancelled the transfer
        // "VXF1": no receiver without fast mode ever sends it, and it only
        // goes to a sender whose header asked for fast mode.
        FastAccepted = 0x31465856,
    };

    static constexpr int HeaderSize = 510;
    static constexpr int BlockHeaderSize = 12;
    static constexpr int StatusSize = 4;
    // 4 + 256 + 256: the packet buffer of the protocol. A block may carry up to
    // 504 data bytes on reception, although senders put at most 256.
    static constexpr int MaxPacketSize = 516;
    static constexpr int MaxReceivedCount = MaxPacketSize - BlockHeaderSize;
    static constexpr int MaxSentCount = 256;
    static constexpr int MaxNameLength = 255;
    // The size text starts at 261 and the sent header ends at 510.
    static constexpr int SizeFieldStart = 260;
    static constexpr int MaxSizeTextLength = HeaderSize - SizeFieldStart - 1;

    static constexpr int MarkerStart = 384;
    static constexpr char Magic[] = "VXLNFAST";
    static constexpr int MagicSize = 8;
    static constexpr qint32 FastVersion = 1;
    static constexpr int FastBlockHeaderSize = 16;
    static constexpr int FastEndSize = 44;
    static constexpr int FastAckSize = 16;
    static constexpr int FastCancelSize = 4;
    static constexpr int HashSize = 32;
    static constexpr qint32 FastBlockSize = 64 * 1024;
    // The window of the first fast mode, which its receivers advertise and
    // every sender starts from; and the most a receiver advertises now (64 MiB).
    static constexpr qint32 FastWindow = 32;
    static constexpr qint32 FastMaxWindow = 1024;

    static qint32 readInt(QByteArrayView bytes, qsizetype at);
    static void writeInt(char *to, qint32 value);
    static qint64 readInt64(QByteArrayView bytes, qsizetype at);
    static void writeInt64(char *to, qint64 value);

    // fileName is cut to 255 bytes, fileSize to what the sent field holds.
    static QByteArray header(const QByteArray &fileName, const QByteArray &fileSize);
    static QByteArray block(qint32 offset, QByteArrayView data);
    static QByteArray status(qint32 code);

    struct Header
    {
        QByteArray fileName;
        QByteArray fileSize;
    };
    // The two texts of a header packet, or nothing when the packet is too
    // short for them (the protocol's status 2).
    static std::optional<Header> parseHeader(QByteArrayView packet);

    struct Capability
    {
        qint32 version = FastVersion;
        qint32 blockSize = FastBlockSize;
        qint32 window = FastWindow;
        qint64 fileSize = 0;
    };
    // Puts the marker into a 510-byte header.
    static void addCapability(QByteArray &header, const Capability &c);
    // The marker of a header, when there is one that does not overlap the
    // size text and whose figures make sense.
    static std::optional<Capability> parseCapability(QByteArrayView packet);

    static QByteArray fastBlock(qint64 offset, QByteArrayView data);
    static QByteArray fastEnd(qint64 fileSize, const QByteArray &sha256);
    static QByteArray fastAck(qint32 code, qint32 window, qint64 held);
    static QByteArray fastCancel();
};
