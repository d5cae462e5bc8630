#pragma once

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A loopback relay between an upload and its download that can cut the link
// after an exact number of bytes in either direction, once: the cases of a
// transfer interrupted in the middle of any packet, whatever its mode.
class CuttingRelay : public QObject
{
public:
    explicit CuttingRelay(quint16 target)
        : m_target(target)
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
    }

    quint16 port() const { return m_server.serverPort(); }
    // Forward up to upBytes (upload to download) or downBytes (back), then
    // abort both ends; -1: no limit that way. Applies to the next connection.
    void cutAfter(qint64 upBytes, qint64 downBytes)
    {
        m_upLimit = upBytes;
        m_downLimit = downBytes;
    }
    bool linkCut() const { return m_cut; }

private:
    void accept()
    {
        while (QTcpSocket *in = m_server.nextPendingConnection()) {
            auto *out = new QTcpSocket(this);
            m_in = in;
            m_out = out;
            m_up = m_down = 0;
            m_dead = false;
            m_activeUp = m_upLimit;
            m_activeDown = m_downLimit;
            m_upLimit = m_downLimit = -1;
            QObject::connect(in, &QTcpSocket::readyRead, this, [this, in, out] { pump(in, out, true); });
            QObject::connect(out, &QTcpSocket::connected, this, [this, in, out] { pump(in, out, true); });
            QObject::connect(out, &QTcpSocket::readyRead, this, [this, in, out] { pump(out, in, false); });
            QObject::connect(in, &QTcpSocket::disconnected, out, &QTcpSocket::disconnectFromHost);
            QObject::connect(out, &QTcpSocket::disconnected, in, &QTcpSocket::disconnectFromHost);
            // A download that no longer listens refuses the relay: so is the upload.
            QObject::connect(out, &QTcpSocket::errorOccurred, in, [in] { in->disconnectFromHost(); });
            out->connectToHost(QHostAddress::LocalHost, m_target);
        }
    }

    void pump(QTcpSocket *from, QTcpSocket *to, bool up)
    {
        if (m_dead || to->state() != QAbstractSocket::ConnectedState)
            return; // kept in from's buffer until the far end is there
        qint64 &count = up ? m_up : m_down;
        const qint64 limit = up ? m_activeUp : m_activeDown;
        QByteArray bytes = from->readAll();
        const bool cutHere = limit >= 0 && count + bytes.size() >= limit;
        if (cutHere)
            bytes.truncate(limit - count);
        count += bytes.size();
        to->write(bytes);
        to->flush();
        if (cutHere) {
            m_cut = true;
            m_dead = true;
            m_activeUp = m_activeDown = -1;
            // What was forwarded reaches the far end before the link goes;
            // nothing more goes either way.
            if (m_in)
                m_in->disconnectFromHost();
            if (m_out)
                m_out->disconnectFromHost();
        }
    }

    quint16 m_target;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_in, m_out;
    qint64 m_up = 0, m_down = 0;
    qint64 m_upLimit = -1, m_downLimit = -1;
    qint64 m_activeUp = -1, m_activeDown = -1;
    bool m_cut = false;
    bool m_dead = false;
};
