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
class DataPacket
{
public:
    enum Kind : qint32 { HeaderKind = 1, BlockKind = 2 };

    enum Status : qint32 {
        Accepted = 0, // also the answer to a packet of an unknown kind
        TooLong = 1, // more than one largest packet was waiting
        TooShort = 2, // truncated or malformed packet
        NoFileOpen = 3, // block before any accepted header
        BadOffset = 4, // block would start before 0 or leave a gap
        CannotOpen = 5, // header refused: its file cannot be opened here
        CannotWrite = 6, // block could not be written
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

    static qint32 readInt(QByteArrayView bytes, qsizetype at);
    static void writeInt(char *to, qint32 value);

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
};
