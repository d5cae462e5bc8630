// Bytes a peer sends on a data connection, through the receiver exactly as
// the transfer panel drives it: the bytes arrive in reads of varying size,
// some of them still waiting in the system's queue, and now and then the
// owner expires a stalled packet or the connection drops.
#include "transfer/DataPacket.h"
#include "transfer/DataReceiver.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

// In the system's temp folder: scripts/fuzz points it at memory (/dev/shm)
// when it can, so that the files written cost no disk.
QString tempRoot()
{
    static QTemporaryDir dir;
    return dir.path();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // Byte 0: the read size; byte 1: how often the owner steps in.
    const qsizetype step = 1 + data[0] % 128 * 5;
    const int every = 1 + data[1] % 8;
    // The bytes are read in place: a copy per read (one byte at a time, at
    // worst) was most of this target's cost.
    const char *bytes = reinterpret_cast<const char *>(data) + 2;
    const qsizetype total = qsizetype(size - 2);

    // Every input starts without a partial file. Only the expected name can
    // ever be opened, so that one file is all there is to remove: cheaper
    // than emptying the folder, which would then be made again.
    const QString temp = tempRoot() + QStringLiteral("/temp");
    QFile::remove(temp + QStringLiteral("/f.bin"));

    DataReceiver receiver;
    receiver.setTempDir(temp);
    receiver.setExpectedName(QStringLiteral("f.bin"));

    QBuffer connection;
    connection.open(QIODevice::ReadWrite);
    int round = 0;
    for (qsizetype at = 0; at < total; at += step) {
        // Append what arrives after what the receiver left on the connection.
        const qint64 keep = connection.pos();
        connection.seek(connection.size());
        connection.write(bytes + at, qMin(step, total - at));
        connection.seek(keep);
        const qint64 unread = qMax<qsizetype>(0, total - at - step);
        const QByteArray replies = receiver.receive(connection, qMin<qint64>(unread, 4096));
        if (replies.size() % DataPacket::StatusSize != 0)
            std::abort();
        if (receiver.held() > receiver.fileSize() && receiver.headersAccepted() > 0)
            std::abort(); // never more than announced
        ++round;
        if (round % every == 0) {
            if (data[1] & 0x40)
                receiver.expire(connection);
            if (data[1] & 0x80)
                receiver.disconnect();
        }
    }
    receiver.disconnect();
    return 0;
}
