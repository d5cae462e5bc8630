#include "transfer/SocketFarewell.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

void SocketFarewell::send(QTcpSocket *socket, const QByteArray &lastWords, int timeoutMs)
{
    if (!socket)
        return;
    if (socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    auto *farewell = new SocketFarewell(socket, timeoutMs);
    socket->write(lastWords);
    socket->flush();
    farewell->stopSendingWhenWritten();
}

SocketFarewell::SocketFarewell(QTcpSocket *socket, int timeoutMs)
    : QObject(QCoreApplication::instance())
    , m_socket(socket)
{
    socket->setParent(this);
    socket->setReadBufferSize(0);
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        if (m_socket)
            m_socket->readAll();
    });
    connect(socket, &QTcpSocket::bytesWritten, this, &SocketFarewell::stopSendingWhenWritten);
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    connect(socket, &QTcpSocket::errorOccurred, this, &QObject::deleteLater);
    QTimer::singleShot(timeoutMs, this, &QObject::deleteLater);
}

// Only once every byte has left: the other side then sees the end of what
// this side sends, and closes when it has read it.
void SocketFarewell::stopSendingWhenWritten()
{
    if (m_shut || !m_socket || m_socket->bytesToWrite() > 0)
        return;
    m_shut = true;
    ::shutdown(int(m_socket->socketDescriptor()), SHUT_WR);
}
