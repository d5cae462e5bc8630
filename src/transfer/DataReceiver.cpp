#include "transfer/DataReceiver.h"

#include "base/Cp1252.h"
#include "base/TextConvert.h"
#include "transfer/DataPacket.h"
#include "transfer/TempFileClaims.h"

#include <QDir>
#include <QFileInfo>
#include <QIODevice>

#include <limits>

DataReceiver::~DataReceiver()
{
    disconnect();
}

void DataReceiver::setExpectedName(const QString &name)
{
    m_expectedName = Cp1252::encode(name).left(DataPacket::MaxNameLength);
}

void DataReceiver::answer(QByteArray &replies, qint32 status)
{
    replies += DataPacket::status(status);
    ++m_answered;
    m_refusals = status == DataPacket::Accepted ? 0 : m_refusals + 1;
}

QByteArray DataReceiver::receive(QIODevice &in, qint64 unread)
{
    QByteArray replies;
    for (;;) {
        if (m_discard > 0) {
            m_discard -= qMax<qint64>(0, in.skip(qMin(m_discard, in.bytesAvailable())));
            if (m_discard > 0)
                break;
        }
        const qint64 buffered = in.bytesAvailable();
        if (buffered < 4)
            break;
        char head[DataPacket::BlockHeaderSize];
        const qint64 seen = in.peek(head, qMin<qint64>(buffered, sizeof head));
        const QByteArrayView view(head, seen);
        const qint32 kind = DataPacket::readInt(view, 0);
        qint32 status = DataPacket::Accepted;
        if (kind == DataPacket::HeaderKind) {
            if (buffered < DataPacket::HeaderSize)
                break;
            status = handleHeader(in.read(DataPacket::HeaderSize));
        } else if (kind == DataPacket::BlockKind) {
            if (buffered < DataPacket::BlockHeaderSize)
                break;
            const qint32 count = DataPacket::readInt(view, 8);
            if (count > DataPacket::MaxReceivedCount || count < 0) {
                // The packet cannot be delimited: whatever is waiting goes.
                status = count < 0 ? DataPacket::TooShort : DataPacket::TooLong;
                dropWaiting(in, unread);
            } else if (buffered < DataPacket::BlockHeaderSize + count) {
                break;
            } else {
                status = handleBlock(in.read(DataPacket::BlockHeaderSize + count));
            }
        } else {
            // Any other kind has no length of its own: it takes every byte
            // waiting, and is refused when that is more than any packet.
            status
                = buffered + unread > DataPacket::MaxPacketSize ? DataPacket::TooLong : DataPacket::Accepted;
            dropWaiting(in, unread);
        }
        answer(replies, status);
    }
    return replies;
}

void DataReceiver::dropWaiting(QIODevice &in, qint64 &unread)
{
    in.skip(in.bytesAvailable());
    m_discard = unread;
    unread = 0;
}

QByteArray DataReceiver::expire(QIODevice &in)
{
    if (in.bytesAvailable() <= 0)
        return {};
    in.skip(in.bytesAvailable());
    QByteArray reply;
    answer(reply, DataPacket::TooShort);
    return reply;
}

qint32 DataReceiver::handleHeader(const QByteArray &packet)
{
    const auto header = DataPacket::parseHeader(packet);
    if (!header)
        return DataPacket::TooShort;
    // A size a peer can send at will must never raise an error box: a
    // malformed one makes the packet malformed.
    qint64 size = 0;
    if (!parseFileSize(header->fileSize, size))
        return DataPacket::TooShort;
    // A finished download is never opened again: its file has left (or is
    // about to leave) the temp folder for its destination.
    if (m_complete)
        return DataPacket::CannotOpen;
    // Only this transfer's own file: a peer must not reach the partial file
    // of another download through its name.
    if (m_expectedName.isEmpty() || header->fileName != m_expectedName)
        return DataPacket::CannotOpen;

    closeFile();
    m_open = false;
    const QString path = tempFilePath(m_tempDir, Cp1252::decode(header->fileName));
    if (path.isEmpty() || !TempFileClaims::claim(path))
        return DataPacket::CannotOpen;
    if (!openFile(path, size)) {
        TempFileClaims::release(path);
        return DataPacket::CannotOpen;
    }
    m_claimed = path;
    m_path = path;
    m_fileSize = size;
    m_open = true;
    ++m_headers;
    return DataPacket::Accepted;
}

bool DataReceiver::openFile(const QString &path, qint64 fileSize)
{
    QDir().mkpath(m_tempDir);
    const QFileInfo info(path);
    if (info.isSymLink())
        return false;
    m_file.setFileName(path);
    if (!info.exists()) {
        m_held = 0;
        return m_file.open(QIODevice::ReadWrite | QIODevice::NewOnly | QIODevice::Unbuffered);
    }
    // A file is there: an earlier attempt of this transfer. Everything it
    // holds arrived from the sender, including a block whose status never
    // got back; keeping it all lets a sender that counted that block carry
    // on where it stands. A file longer than the announced size is not a
    // part of this one.
    if (!info.isFile() || info.size() > fileSize)
        return false;
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered))
        return false;
    m_held = m_file.size();
    return true;
}

qint32 DataReceiver::handleBlock(const QByteArray &packet)
{
    const qint32 offset = DataPacket::readInt(packet, 4);
    const qint32 count = DataPacket::readInt(packet, 8);
    if (!m_open)
        return DataPacket::NoFileOpen;
    if (offset < 0 || offset > m_held)
        return DataPacket::BadOffset;
    // Once complete the file is closed; later blocks cannot be written.
    if (!m_file.isOpen())
        return DataPacket::CannotWrite;
    // Bytes beyond the announced size would make the file something else
    // than the file announced.
    if (qint64(offset) + count > m_fileSize)
        return DataPacket::CannotWrite;
    if (!m_file.seek(offset)
        || m_file.write(packet.constData() + DataPacket::BlockHeaderSize, count) != count)
        return DataPacket::CannotWrite;
    // No gap is ever accepted, so the file holds everything from 0 to its
    // end: a block sent again overwrites and is not counted twice.
    m_held = qMax<qint64>(m_held, qint64(offset) + count);
    if (m_held == m_fileSize) {
        m_complete = true;
        m_file.close();
    }
    return DataPacket::Accepted;
}

void DataReceiver::closeFile()
{
    if (m_file.isOpen())
        m_file.close();
    TempFileClaims::release(m_claimed);
    m_claimed.clear();
}

bool DataReceiver::disconnect()
{
    const bool wasOpen = m_open;
    closeFile();
    m_open = false;
    m_refusals = 0;
    return wasOpen;
}

bool DataReceiver::isPlainFileName(const QString &name)
{
    if (name.isEmpty() || name == u"." || name == u"..")
        return false;
    for (QChar c : name) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

QString DataReceiver::tempFilePath(const QString &tempDir, const QString &name)
{
    if (tempDir.isEmpty() || !isPlainFileName(name))
        return {};
    const QDir dir(tempDir);
    const QString path = QDir::cleanPath(dir.absoluteFilePath(name));
    // Belt and braces: the result must sit directly in the temp folder.
    if (QFileInfo(path).absolutePath() != QDir::cleanPath(dir.absolutePath()))
        return {};
    return path;
}

bool DataReceiver::parseFileSize(const QByteArray &text, qint64 &size)
{
    if (text.isEmpty())
        return false;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<qint32>::max())
            return false;
    }
    size = value;
    return true;
}

bool DataReceiver::moveFinished(const QString &tempFile, const QString &tempDir, const QString &destination)
{
    const QFileInfo source(tempFile);
    if (tempFile.isEmpty() || destination.isEmpty()
        || tempFilePath(tempDir, source.fileName()) != QDir::cleanPath(source.absoluteFilePath()))
        return false;
    const QFileInfo target(destination);
    if (target.exists() || target.isSymLink())
        return false;
    return QFile::rename(tempFile, destination);
}
