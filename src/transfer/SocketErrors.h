#pragma once

#include <QAbstractSocket>
#include <QString>

// Socket failures as the user sees them: a Windows Sockets error code and its
// text. Qt reports its own error kinds; winsockCode() is the one place where
// they are mapped onto the codes the client has always shown.
class SocketErrors
{
public:
    // "Erreur socket n°<code> : <text>", "Erreur socket inconnue" for a code
    // outside the table.
    static QString SocketErrorText(qint32 code);

    // The Windows Sockets code of a Qt socket error:
    //   ConnectionRefused 10061, RemoteHostClosed 10054 (Qt does not tell a
    //   reset from an orderly close; callers treat it as a disconnection),
    //   HostNotFound 11001, SocketAccess 10013, SocketResource 10055,
    //   SocketTimeout 10060, DatagramTooLarge 10040, Network 10051,
    //   AddressInUse 10048, SocketAddressNotAvailable 10049,
    //   UnsupportedSocketOperation 10045, UnfinishedSocketOperation 10036,
    //   Operation 10022, Temporary 10035, the proxy errors as their direct
    //   counterparts; anything else -1 (shown as unknown).
    static qint32 winsockCode(QAbstractSocket::SocketError error);
};
