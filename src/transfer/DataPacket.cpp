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
