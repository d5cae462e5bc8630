#include "service/LocalAddress.h"

#include <QNetworkInterface>

QString LocalAddress::hostAddress()
{
    return chooseAddress(systemInterfaces());
}

QList<LocalAddress::Interface> LocalAddress::systemInterfaces()
{
    QList<Interface> result;
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &system : all) {
        Interface entry;
        const auto flags = system.flags();
        entry.up = flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning);
        entry.loopback = flags.testFlag(QNetworkInterface::IsLoopBack);
        for (const QNetworkAddressEntry &address : system.addressEntries())
            entry.addresses.append(address.ip());
        result.append(entry);
    }
    return result;
}

QString LocalAddress::chooseAddress(const QList<Interface> &interfaces)
{
    QList<QHostAddress> reachable;
    QList<QHostAddress> loopback;
    for (const Interface &entry : interfaces) {
        if (!entry.up)
            continue;
        for (const QHostAddress &address : entry.addresses) {
            // A 127.x address counts as loopback whatever interface holds it.
            if (entry.loopback || address.isLoopback())
                loopback.append(address);
            else
                reachable.append(address);
        }
    }
    const QString last = lastIPv4(reachable);
    return last.isEmpty() ? lastIPv4(loopback) : last;
}

QString LocalAddress::lastIPv4(const QList<QHostAddress> &addresses)
{
    QString last;
    for (const QHostAddress &address : addresses) {
        bool isV4 = false;
        const quint32 v4 = address.toIPv4Address(&isV4);
        // An IPv4-mapped IPv6 address counts as the IPv4 address it carries.
        if (isV4)
            last = QHostAddress(v4).toString();
    }
    return last;
}
