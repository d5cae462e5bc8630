#include "transfer/SocketErrors.h"

namespace {

struct Entry
{
    qint32 code;
    const char *text; // UTF-8
};

constexpr Entry kTexts[] = {
    { 10004, "Interrupted function call." },
    { 10013, "Permission Refusée." },
    { 10014, "Mauvaise adresse." },
    { 10022, "Arguments Invalides." },
    { 10024, "Trop de fichiers ouverts." },
    { 10035, "Resource temporarily unavailable." },
    { 10036, "Operation en cours." },
    { 10037, "Operation déjà en cours." },
    { 10038, "Socket operation on non-socket." },
    { 10039, "Destination address required." },
    { 10040, "Message trop long." },
    { 10041, "Protocol wrong type for socket." },
    { 10042, "Bad protocol option." },
    { 10043, "Protocol not supported." },
    { 10044, "Socket type not supported." },
    { 10045, "Operation not supported." },
    { 10046, "Protocol family not supported." },
    { 10047, "Address family not supported by protocol family." },
    { 10048, "Address already in use." },
    { 10049, "Cannot assign requested address." },
    { 10050, "Network is down." },
    { 10051, "Network is unreachable." },
    { 10052, "Network dropped connection on reset." },
    { 10053, "Software caused connection abort." },
    { 10054, "Connection reset by peer." },
    { 10055, "No buffer space available." },
    { 10056, "Socket is already connected." },
    { 10057, "Socket is not connected." },
    { 10058, "Cannot send after socket shutdown." },
    { 10060, "Connection timed out." },
    { 10061, "Connection refusée." },
    { 10064, "Host is down." },
    { 10065, "No route to host." },
    { 10067, "Too many processes." },
    { 10091, "Network subsystem is unavailable." },
    { 10092, "WINSOCK.DLL version out of range." },
    { 10093, "Successful WSAStartup not yet performed." },
    { 10094, "Graceful shutdown in progress." },
    { 11001, "Host not found." },
    { 11002, "Non-authoritative host not found." },
    { 11003, "This is a non-recoverable error." },
    { 11004, "Valid name, no data record of requested type." },
};

} // namespace

QString SocketErrors::SocketErrorText(qint32 code)
{
    QString text = QStringLiteral("Erreur socket inconnue");
    for (const Entry &e : kTexts) {
        if (e.code == code) {
            text = QString::fromUtf8(e.text);
            break;
        }
    }
    return QStringLiteral("Erreur socket n°%1 : %2").arg(code).arg(text);
}

qint32 SocketErrors::winsockCode(QAbstractSocket::SocketError error)
{
    using E = QAbstractSocket::SocketError;
    switch (error) {
    case E::ConnectionRefusedError:
    case E::ProxyConnectionRefusedError:
        return 10061; // WSAECONNREFUSED
    case E::RemoteHostClosedError:
    case E::ProxyConnectionClosedError:
        return 10054; // WSAECONNRESET
    case E::HostNotFoundError:
    case E::ProxyNotFoundError:
        return 11001; // WSAHOST_NOT_FOUND
    case E::SocketAccessError:
    case E::ProxyAuthenticationRequiredError:
        return 10013; // WSAEACCES
    case E::SocketResourceError:
        return 10055; // WSAENOBUFS
    case E::SocketTimeoutError:
    case E::ProxyConnectionTimeoutError:
        return 10060; // WSAETIMEDOUT
    case E::DatagramTooLargeError:
        return 10040; // WSAEMSGSIZE
    case E::NetworkError:
        return 10051; // WSAENETUNREACH
    case E::AddressInUseError:
        return 10048; // WSAEADDRINUSE
    case E::SocketAddressNotAvailableError:
        return 10049; // WSAEADDRNOTAVAIL
    case E::UnsupportedSocketOperationError:
        return 10045; // WSAEOPNOTSUPP
    case E::UnfinishedSocketOperationError:
        return 10036; // WSAEINPROGRESS
    case E::OperationError:
    case E::ProxyProtocolError:
        return 10022; // WSAEINVAL
    case E::TemporaryError:
        return 10035; // WSAEWOULDBLOCK
    default:
        return -1;
    }
}
