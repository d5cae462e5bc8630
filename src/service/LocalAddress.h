#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// The local address a member reports to the service at log-in: the last IPv4
// address of the host's own name, in dotted decimal.
class LocalAddress
{
public:
    // Resolves the host's name; empty when it cannot be resolved or has no
    // IPv4 address.
    static QString hostAddress();
    // The last IPv4 address of a resolved list, or empty.
    static QString lastIPv4(const QList<QHostAddress> &addresses);
};
