#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// The local address a member reports to the service at log-in, in dotted
// decimal. Peers connect to it, so it must be an address of one of this
// machine's network interfaces: the host's name usually resolves to a
// loopback address (Debian maps it to 127.0.1.1), which no peer can reach.
class LocalAddress
{
public:
    // What the choice needs to know of one network interface.
    struct Interface
    {
        bool up = false;
        bool loopback = false;
        QList<QHostAddress> addresses;
    };

    // The chosen address of this machine's interfaces; empty when none.
    static QString hostAddress();
    // The last IPv4 address of the interfaces that are up and not loopback,
    // in interface order; a loopback address only when there is no other.
    static QString chooseAddress(const QList<Interface> &interfaces);
    // The interfaces of this machine, in the system's order.
    static QList<Interface> systemInterfaces();
    // The last IPv4 address of a list, or empty.
    static QString lastIPv4(const QList<QHostAddress> &addresses);
};
