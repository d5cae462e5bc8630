#include "transfer/DataPacket.h"

#include <QtEndian>

qint32 DataPacket::readInt(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<qint32>(bytes.data() + at);
}

void DataPacket::writeInt(char *to, qint32 value)
{
    qToLittleEndian<qint32>(value, to);
}

qint64 DataPacket::readInt64(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<qint64>(bytes.data() + at);
}

void DataPacket::writeInt64(char *to, qint64 value)
{
    qToLittleEndian<qint64>(value, to);
}

QByteArray DataPacket::header(const QByteArray &fileName, const QByteArray &fileSize)
{
    QByteArray packet(HeaderSize, '\0');
    writeInt(packet.data(), HeaderKind);
    const QByteArray name = fileName.left(MaxNameLength);
    packet[4] = char(quint8(name.size()));
    std::copy(name.begin(), name.end(), packet.begin() + 5);
    const QByteArray size = fileSize.left(MaxSizeTextLength);
    packet[SizeFieldStart] = char(quint8(size.size()));
    std::copy(size.begin(), size.end(), packet.begin() + SizeFieldStart + 1);
    return packet;
}

QByteArray DataPacket::block(qint32 offset, QByteArrayView data)
{
    QByteArray packet(BlockHeaderSize + data.size(), Qt::Uninitialized);
    writeInt(packet.data(), BlockKind);
    writeInt(packet.data() + 4, offset);
    writeInt(packet.data() + 8, qint32(data.size()));
    std::copy(data.begin(), data.end(), packet.begin() + BlockHeaderSize);
    return packet;
}

QByteArray DataPacket::status(qint32 code)
{
    QByteArray bytes(StatusSize, Qt::Uninitialized);
    writeInt(bytes.data(), code);
    return bytes;
}

std::optional<DataPacket::Header> DataPacket::parseHeader(QByteArrayView packet)
{
    if (packet.size() < 5)
        return std::nullopt;
    const int nameLength = quint8(packet[4]);
    if (packet.size() < nameLength + 5)
        return std::nullopt;
    Header h;
    h.fileName = packet.sliced(5, nameLength).toByteArray();
    // A size text running past the packet is cut short by the check of the
    // caller (it must be a decimal number), so take only what is there.
    if (packet.size() > SizeFieldStart) {
        const int sizeLength = quint8(packet[SizeFieldStart]);
        if (packet.size() < SizeFieldStart + 1 + sizeLength)
            return std::nullopt;
        h.fileSize = packet.sliced(SizeFieldStart + 1, sizeLength).toByteArray();
    }
    return h;
}

void DataPacket::addCapability(QByteArray &header, const Capability &c)
{
    if (header.size() < HeaderSize)
        header.resize(HeaderSize, '\0');
    char *at = header.data() + MarkerStart;
    std::copy(Magic, Magic + MagicSize, at);
    writeInt(at + 8, c.version);
    writeInt(at + 12, c.blockSize);
    writeInt(at + 16, c.window);
    writeInt64(at + 20, c.fileSize);
    writeInt(at + 28, c.options);
}

std::optional<DataPacket::Capability> DataPacket::parseCapability(QByteArrayView packet)
{
    if (packet.size() < MarkerStart + 28)
        return std::nullopt;
    // A size text long enough to reach the marker's place owns those bytes.
    if (SizeFieldStart + 1 + quint8(packet[SizeFieldStart]) > MarkerStart)
        return std::nullopt;
    if (packet.sliced(MarkerStart, MagicSize) != QByteArrayView(Magic, MagicSize))
        return std::nullopt;
    Capability c;
    c.version = readInt(packet, MarkerStart + 8);
    c.blockSize = readInt(packet, MarkerStart + 12);
    c.window = readInt(packet, MarkerStart + 16);
    c.fileSize = readInt64(packet, MarkerStart + 20);
    // Headers of the first fast mode left these bytes at 0.
    c.options = packet.size() >= MarkerStart + 32 ? readInt(packet, MarkerStart + 28) : 0;
    if (c.version < 1 || c.blockSize < 1 || c.window < 1 || c.fileSize < 0)
        return std::nullopt;
    return c;
}

QByteArray DataPacket::fastBlock(qint64 offset, QByteArrayView data)
{
    QByteArray packet(FastBlockHeaderSize + data.size(), Qt::Uninitialized);
    writeInt(packet.data(), FastBlockKind);
    writeInt64(packet.data() + 4, offset);
    writeInt(packet.data() + 12, qint32(data.size()));
    std::copy(data.begin(), data.end(), packet.begin() + FastBlockHeaderSize);
    return packet;
}

QByteArray DataPacket::fastEnd(qint64 fileSize, const QByteArray &sha256)
{
    QByteArray packet(FastEndSize, '\0');
    writeInt(packet.data(), FastEndKind);
    writeInt64(packet.data() + 4, fileSize);
    const QByteArray hash = sha256.left(HashSize);
    std::copy(hash.begin(), hash.end(), packet.begin() + 12);
    return packet;
}

QByteArray DataPacket::fastAck(qint32 code, qint32 window, qint64 held)
{
    QByteArray bytes(FastAckSize, Qt::Uninitialized);
    writeInt(bytes.data(), code);
    writeInt(bytes.data() + 4, window);
    writeInt64(bytes.data() + 8, held);
    return bytes;
}

QByteArray DataPacket::fastCancel()
{
    QByteArray bytes(FastCancelSize, Qt::Uninitialized);
    writeInt(bytes.data(), FastCancelKind);
    return bytes;
}
