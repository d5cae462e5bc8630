#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>

class QTcpSocket;

// The last words of a data connection whose transfer is gone (a cancel):
// the socket is taken over, the bytes are sent after whatever is still
// waiting to go, then this side stops sending and reads and drops what
// the other side still sends until it closes, so that the last words are
// read before the connection ends. Gives up after timeoutMs. Lives under
// the application object and deletes itself and the socket when done.
class SocketFarewell : public QObject
{
    Q_OBJECT

public:
    static constexpr int TimeoutMs = 10000;
    static void send(QTcpSocket *socket, const QByteArray &lastWords, int timeoutMs = TimeoutMs);

private:
    SocketFarewell(QTcpSocket *socket, int timeoutMs);
    void stopSendingWhenWritten();

    QPointer<QTcpSocket> m_socket;
    bool m_shut = false;
};
