#pragma once

#include "transfer/DataPacket.h"

#include <QByteArray>

#include <initializer_list>

// Wire bytes for the data-channel tests.

// Several 4-byte statuses back to back.
inline QByteArray statuses(std::initializer_list<qint32> codes)
{
    QByteArray out;
    for (qint32 c : codes)
        out += DataPacket::status(c);
    return out;
}

// A block whose Count field says count while dataBytes bytes follow, so a
// test can lie about the size.
inline QByteArray blockWithCount(qint32 offset, qint32 count, int dataBytes)
{
    QByteArray b = DataPacket::block(offset, QByteArray(dataBytes, 'd'));
    DataPacket::writeInt(b.data() + 8, count);
    return b;
}
