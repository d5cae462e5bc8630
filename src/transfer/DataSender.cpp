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
    m_count = 0;
    m_refusals = 0;
    m_firstBlock = false;
    m_steppedBack = false;
    m_failure = Failure::None;
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
    // The block stays in flight (sent() counts it) until its status is
    // known; a status out of turn finds nothing awaited and is ignored.
    switch (awaited) {
    case Awaiting::Nothing:
        return {};
    case Awaiting::HeaderStatus:
        m_awaiting = Awaiting::Nothing;
        if (status != DataPacket::Accepted)
            return fail(Failure::HeaderRefused);
        m_firstBlock = true;
        return nextBlock();
    case Awaiting::BlockStatus:
        break;
    }
    const bool first = m_firstBlock;
    m_firstBlock = false;
    if (status == DataPacket::Accepted) {
        m_awaiting = Awaiting::Nothing;
        m_refusals = 0;
        m_steppedBack = false;
        m_offset += m_count;
        m_count = 0;
        if (m_offset >= m_size) {
            stop();
            return { Action::Complete, {} };
        }
        return nextBlock();
    }
    if (status == DataPacket::BadOffset && (first || m_steppedBack)) {
        // The first block after the header went past the receiver's file:
        // our count included a block that never arrived. The receiver holds
        // at least what it acknowledged, at most one block back.
        if (m_steppedBack || m_offset == 0) {
            m_awaiting = Awaiting::Nothing;
            return fail(Failure::SteppedBackRefused);
        }
        m_steppedBack = true;
        m_awaiting = Awaiting::Nothing;
        m_offset = qMax<qint64>(0, m_offset - DataPacket::MaxSentCount);
        m_count = 0;
        return nextBlock();
    }
    m_steppedBack = false;
    if (++m_refusals >= MaxRefusals) {
        m_awaiting = Awaiting::Nothing;
        return fail(Failure::TooManyRefusals);
    }
    return { Action::Send, m_block };
}

DataSender::Step DataSender::fail(Failure why)
{
    m_failure = why;
    return { Action::Close, {} };
}

DataSender::Step DataSender::nextBlock()
{
    if (!m_file.isOpen() || !m_file.seek(m_offset))
        return fail(Failure::FileUnreadable);
    const qint64 wanted = qMin<qint64>(DataPacket::MaxSentCount, m_size - m_offset);
    const QByteArray data = m_file.read(wanted);
    // A file that shrank or cannot be read any more must not pass for a
    // finished one: the attempt ends.
    if (data.size() != wanted)
        return fail(Failure::FileUnreadable);
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
