#pragma once

#include "negotiation/ControlChannel.h"

#include "support/EventWait.h"
#include "support/Timing.h"

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>

#include <gtest/gtest.h>

// A raw peer on a client's control port: bytes in, bytes out, nothing of
// the client's own code. It may leave from an address of its own, so that
// one test can play several members.
struct ControlPeer
{
    static constexpr int kWaitMs = 5000 * kTimeScale;

    QTcpSocket socket;

    // Connects from `from` (any when empty) to host's port 2000.
    bool connectTo(const QString &host, const QString &from = QString())
    {
        if (!from.isEmpty() && !socket.bind(QHostAddress(from)))
            return false;
        socket.connectToHost(QHostAddress(host), ControlChannel::kControlPort);
        return socket.waitForConnected(kWaitMs);
    }

    void send(const QByteArray &bytes)
    {
        socket.write(bytes);
        socket.flush();
    }

    // Everything that arrives within a short while (or until `expected`
    // bytes are there).
    QByteArray receive(qsizetype expected = 1, int ms = 300)
    {
        QByteArray got;
        waitUntil(
            [&] {
                got += socket.readAll();
                return got.size() >= expected;
            },
            ms);
        return got;
    }

    // Waits for exactly `message` (with its 0x05) and returns what came.
    QByteArray expect(const QByteArray &message) { return receive(message.size(), kWaitMs); }

    bool closedByPeer(int ms = kWaitMs)
    {
        return waitUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, ms);
    }
};

// The "{ask}" bytes of an offer.
inline QByteArray askBytes(const QByteArray &pseudo, const QByteArray &file, const QByteArray &size,
    const QByteArray &address)
{
    return "{ask}" + pseudo + '\x01' + file + '\x02' + size + '\x03' + address + '\x05';
}
