#pragma once

#include "transfer/DataPacket.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>

// The data channel's two ends as the community's existing clients run them,
// written step by step from the protocol's own algorithm, so that our panels
// can be tried against them. They keep the described counting:
//   - the receiver's progress is its own saved count (FichierTel) plus the
//     Count of every block it accepts, capped at the size; it completes when
//     that reaches the size, whatever its file holds;
//   - the sender counts a block when it sends it, resumes at its own saved
//     count and repeats a refused block for ever.
// Each may be told to cut the link at one point of the exchange of one block
// (counted from 0 on each connection), to build the resumption cases.
//
// One liberty: the described receiver takes each read as one packet; these
// models wait until a whole packet is there, which is what the described one
// sees when every packet arrives in one read (stop and wait on loopback).

enum class Cut {
    None,
    BeforeBlock, // the block never reaches the receiver
    AfterWrite, // the receiver wrote and counted it; its status never gets back
    AfterStatus, // the sender took the status; nothing more goes over that link
};

// Takes whole packets off a socket: a header is 510 bytes, a block 12 + Count.
inline QByteArray nextWholePacket(QTcpSocket &s)
{
    if (s.bytesAvailable() < 4)
        return {};
    const QByteArray head = s.peek(DataPacket::BlockHeaderSize);
    const qint32 kind = DataPacket::readInt(head, 0);
    qint64 size = 4;
    if (kind == DataPacket::HeaderKind)
        size = DataPacket::HeaderSize;
    else if (kind == DataPacket::BlockKind) {
        if (head.size() < DataPacket::BlockHeaderSize)
            return {};
        size = DataPacket::BlockHeaderSize + DataPacket::readInt(head, 8);
    }
    return s.bytesAvailable() >= size ? s.read(size) : QByteArray();
}

class DescribedReceiver : public QObject
{
public:
    DescribedReceiver(const QString &tempDir, const QString &name, const QString &destination)
        : m_path(QDir(tempDir).filePath(name))
        , m_destination(destination)
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                m_socket = s;
                m_blocksThisConnection = 0;
                QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] { read(s); });
                QObject::connect(s, &QTcpSocket::disconnected, this, [this, s] { disconnected(s); });
            }
        });
    }

    // A connection still open goes without telling this half-destroyed model.
    ~DescribedReceiver() override
    {
        for (QTcpSocket *s : m_server.findChildren<QTcpSocket *>())
            s->disconnect(this);
    }

    quint16 port() const { return m_server.serverPort(); }
    void cutAt(Cut cut, int block)
    {
        m_cut = cut;
        m_cutBlock = block;
    }
    bool linkCut() const { return m_linkCut; }
    qint64 FichierTel = 0; // saved with the transfer list between attempts
    bool complete() const { return m_status0; }
    QString destination() const { return m_destination; }

private:
    void reply(QTcpSocket *s, qint32 status)
    {
        s->write(DataPacket::status(status));
        s->flush();
    }

    void read(QTcpSocket *s)
    {
        for (;;) {
            if (s->state() != QAbstractSocket::ConnectedState)
                return;
            const QByteArray p = nextWholePacket(*s);
            if (p.isEmpty())
                return;
            const qint32 kind = DataPacket::readInt(p, 0);
            if (kind == DataPacket::HeaderKind) {
                header(s, p);
            } else if (kind == DataPacket::BlockKind) {
                if (!block(s, p))
                    return;
            } else {
                reply(s, 0);
            }
        }
    }

    void header(QTcpSocket *s, const QByteArray &p)
    {
        // 3.2: FileSize is the bar's maximum.
        const int nameLength = quint8(p[4]);
        Q_UNUSED(nameLength);
        const int sizeLength = quint8(p[DataPacket::SizeFieldStart]);
        m_max = p.mid(DataPacket::SizeFieldStart + 1, sizeLength).toLongLong();
        // 3.3, 3.4: reopen the partial file unchanged at the saved count, or
        // create it empty (the bar keeps its position then).
        if (m_file.isOpen())
            m_file.close();
        m_file.setFileName(m_path);
        if (QFile::exists(m_path)) {
            m_position = FichierTel;
            if (!m_file.open(QIODevice::ReadWrite)) {
                reply(s, 5);
                return;
            }
        } else if (!m_file.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
            reply(s, 5);
            return;
        }
        m_receiveFileOpen = true;
        reply(s, 0);
    }

    // False when the link was cut.
    bool block(QTcpSocket *s, const QByteArray &p)
    {
        const int index = m_blocksThisConnection++;
        const bool cutHere = m_cut != Cut::None && index == m_cutBlock;
        if (cutHere && m_cut == Cut::BeforeBlock)
            return cutLink(s);
        const qint32 offset = DataPacket::readInt(p, 4);
        const qint32 count = DataPacket::readInt(p, 8);
        if (!m_receiveFileOpen) {
            reply(s, 3);
            return true;
        }
        if (offset < 0 || offset > m_file.size()) {
            reply(s, 4);
            return true;
        }
        m_file.seek(offset);
        m_file.write(p.constData() + DataPacket::BlockHeaderSize, count);
        m_file.flush();
        m_position = qMin(m_position + count, m_max);
        FichierTel = m_position;
        if (m_position >= m_max) {
            m_status0 = true;
            m_file.close();
        }
        if (cutHere && m_cut == Cut::AfterWrite)
            return cutLink(s);
        reply(s, 0);
        if (cutHere && m_cut == Cut::AfterStatus)
            return cutLink(s);
        return true;
    }

    bool cutLink(QTcpSocket *s)
    {
        m_cut = Cut::None;
        m_linkCut = true;
        s->abort();
        disconnected(s);
        return false;
    }

    void disconnected(QTcpSocket *s)
    {
        s->disconnect(this);
        s->deleteLater();
        if (!m_receiveFileOpen)
            return;
        if (m_file.isOpen())
            m_file.close();
        m_receiveFileOpen = false;
        // Completed: the file goes to its place, unless something is there.
        if (m_status0 && !QFile::exists(m_destination))
            QFile::rename(m_path, m_destination);
    }

    QTcpServer m_server;
    QTcpSocket *m_socket = nullptr;
    QString m_path, m_destination;
    QFile m_file;
    bool m_receiveFileOpen = false;
    bool m_status0 = false;
    bool m_linkCut = false;
    qint64 m_max = 0, m_position = 0;
    Cut m_cut = Cut::None;
    int m_cutBlock = 0;
    int m_blocksThisConnection = 0;
};

class DescribedSender : public QObject
{
public:
    explicit DescribedSender(const QString &path)
        : m_path(path)
    {
        QObject::connect(&m_socket, &QTcpSocket::connected, this, [this] { connected(); });
        QObject::connect(&m_socket, &QTcpSocket::readyRead, this, [this] { read(); });
        QObject::connect(&m_socket, &QTcpSocket::disconnected, this, [this] { disconnected(); });
    }
    ~DescribedSender() override { m_socket.disconnect(this); }

    void cutAt(Cut cut, int block)
    {
        m_cut = cut;
        m_cutBlock = block;
    }
    // Connects to host:port, leaving from `from` when given (a receiver
    // takes data only from the address the offer named).
    void start(quint16 port, const QString &host = QStringLiteral("127.0.0.1"), const QString &from = QString())
    {
        m_blocksThisConnection = 0;
        m_cutPending = false;
        m_status0 = false;
        if (!from.isEmpty())
            m_socket.bind(QHostAddress(from));
        m_socket.connectToHost(host, port);
    }
    bool linkCut() const { return m_linkCut; }
    bool ended() const { return m_socket.state() == QAbstractSocket::UnconnectedState; }
    bool complete() const { return m_status0; }
    qint64 FichierTel = 0;

private:
    void connected()
    {
        // 1: header with the file's name and size; the bar starts at the
        // saved count. (2: the 10 ms header timer is left out.)
        m_file.setFileName(m_path);
        m_file.open(QIODevice::ReadOnly);
        m_max = m_file.size();
        m_position = FichierTel;
        m_kind = DataPacket::HeaderKind;
        m_socket.write(
            DataPacket::header(QFileInfo(m_path).fileName().toLatin1(), QByteArray::number(m_max)));
    }

    void read()
    {
        // A status that comes back after the link was meant to be cut is
        // never taken in.
        if (m_cutPending) {
            cutLink();
            return;
        }
        while (m_socket.bytesAvailable() >= 4 && m_socket.state() == QAbstractSocket::ConnectedState) {
            const qint32 status = DataPacket::readInt(m_socket.read(4), 0);
            if (m_kind == DataPacket::HeaderKind) {
                if (status != 0) {
                    m_socket.abort();
                    return;
                }
                m_offset = FichierTel;
                sendBlock();
            } else {
                if (status != 0) {
                    m_socket.write(m_block); // the same block, without limit
                    continue;
                }
                const bool cutHere = m_cut == Cut::AfterStatus && m_blocksThisConnection - 1 == m_cutBlock;
                m_offset += m_count;
                if (cutHere) {
                    cutLink();
                    return;
                }
                if (m_offset >= m_max) {
                    // 5: complete.
                    m_status0 = true;
                    m_socket.disconnectFromHost();
                    return;
                }
                sendBlock();
            }
        }
    }

    void sendBlock()
    {
        // 4: read up to 256 bytes at Offset, count them, then send.
        m_kind = DataPacket::BlockKind;
        m_file.seek(m_offset);
        const QByteArray data = m_file.read(256);
        m_count = qint32(data.size());
        m_position = qMin(m_position + m_count, m_max);
        FichierTel = m_position;
        m_block = DataPacket::block(qint32(m_offset), data);
        const int index = m_blocksThisConnection++;
        const bool cutHere = index == m_cutBlock;
        if (cutHere && m_cut == Cut::BeforeBlock) {
            cutLink();
            return;
        }
        m_socket.write(m_block);
        m_socket.flush();
        if (cutHere && m_cut == Cut::AfterWrite)
            m_cutPending = true;
    }

    void cutLink()
    {
        m_cut = Cut::None;
        m_cutPending = false;
        m_linkCut = true;
        m_socket.abort();
    }

    void disconnected()
    {
        if (m_file.isOpen())
            m_file.close();
    }

    QString m_path;
    QTcpSocket m_socket;
    QFile m_file;
    QByteArray m_block;
    qint32 m_kind = 0, m_count = 0;
    qint64 m_offset = 0, m_max = 0, m_position = 0;
    bool m_status0 = false, m_linkCut = false, m_cutPending = false;
    Cut m_cut = Cut::None;
    int m_cutBlock = 0;
    int m_blocksThisConnection = 0;
};
