#include "service/LocalAddress.h"

#include <QHostInfo>

QString LocalAddress::hostAddress()
{
    const QHostInfo info = QHostInfo::fromName(QHostInfo::localHostName());
    if (info.error() != QHostInfo::NoError)
        return {};
    return lastIPv4(info.addresses());
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
