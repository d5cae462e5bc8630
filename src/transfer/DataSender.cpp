#include "transfer/DataSender.h"

#include "base/Cp1252.h"
#include "transfer/DataPacket.h"

#include <QFileInfo>
#include <QIODevice>

bool DataSender::start(const QString &path, qint64 resumeFrom, QString *error)
{
    stop();
    m_file.setFileName(path);
    // Read-only: a file the user may not modify can still be sent.
    if (path.isEmpty() || !QFileInfo(path).isFile() || !m_file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open file \"%1\". %2")
                         .arg(path,
                             m_file.errorString().isEmpty() ? QStringLiteral("No such file")
                                                            : m_file.errorString());
        m_file.close();
        return false;
    }
    m_size = m_file.size();
    m_offset = qBound<qint64>(0, resumeFrom, m_size);
    m_refusals = 0;
    m_awaiting = Awaiting::Nothing;
    m_header = DataPacket::header(Cp1252::encode(QFileInfo(path).fileName()), QByteArray::number(m_size));
    return true;
}

QByteArray DataSender::takeHeader()
{
    m_awaiting = Awaiting::HeaderStatus;
    return m_header;
}

DataSender::Step DataSender::receive(QIODevice &in)
{
    while (in.bytesAvailable() >= DataPacket::StatusSize) {
        const QByteArray bytes = in.read(DataPacket::StatusSize);
        const Step step = onStatus(DataPacket::readInt(bytes, 0));
        if (step.action != Action::None)
            return step;
    }
    return {};
}

DataSender::Step DataSender::onStatus(qint32 status)
{
    const Awaiting awaited = m_awaiting;
    m_awaiting = Awaiting::Nothing;
    switch (awaited) {
    case Awaiting::Nothing:
        // Nothing in flight: a status out of turn is ignored.
        return {};
    case Awaiting::HeaderStatus:
        if (status != DataPacket::Accepted)
            return { Action::Close, {} };
        return nextBlock();
    case Awaiting::BlockStatus:
        break;
    }
    if (status == DataPacket::Accepted) {
        m_refusals = 0;
        m_offset += m_count;
        if (m_offset >= m_size) {
            stop();
            return { Action::Complete, {} };
        }
        return nextBlock();
    }
    if (++m_refusals >= MaxRefusals)
        return { Action::Close, {} };
    if (status == DataPacket::BadOffset) {
        // The receiver's file is shorter than where we stand: sending the
        // same block again can never succeed, so start over from the start.
        m_offset = 0;
        return nextBlock();
    }
    m_awaiting = Awaiting::BlockStatus;
    return { Action::Send, m_block };
}

DataSender::Step DataSender::nextBlock()
{
    if (!m_file.isOpen() || !m_file.seek(m_offset))
        return { Action::Close, {} };
    const qint64 wanted = qMin<qint64>(DataPacket::MaxSentCount, m_size - m_offset);
    const QByteArray data = m_file.read(wanted);
    // A file that shrank or cannot be read any more must not pass for a
    // finished one: the attempt ends.
    if (data.size() != wanted)
        return { Action::Close, {} };
    m_count = qint32(data.size());
    m_block = DataPacket::block(qint32(m_offset), data);
    m_awaiting = Awaiting::BlockStatus;
    return { Action::Send, m_block };
}

void DataSender::stop()
{
    if (m_file.isOpen())
        m_file.close();
    m_awaiting = Awaiting::Nothing;
}
