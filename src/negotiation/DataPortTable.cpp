#include "negotiation/DataPortTable.h"

DataPortTable::DataPortTable()
{
    m_rows.append({ QString::number(kFirstPort), QString() });
}

int DataPortTable::FindPort()
{
    for (const Row &row : std::as_const(m_rows)) {
        if (row.owner.isEmpty())
            return row.port.toInt();
    }
    // Every row is held: a new free row carries 2010 + its index. The index
    // is not limited to 8 bits, so the table keeps working past 256 rows.
    const int port = kFirstPort + int(m_rows.size());
    m_rows.append({ QString::number(port), QString() });
    return port;
}

DataPortTable::Request DataPortTable::TestPort(
    const QString &portText, const QString &peerAddress, const HeldBy &held, int *port)
{
    // The text comes from the network: anything but a plain port number is
    // refused here rather than raised as an error on this user's screen.
    const int requested = parsePort(portText);
    if (requested < 0)
        return Request::Invalid;
    if (held && held(requested))
        return Request::Taken;

    const qsizetype index = qsizetype(requested) - kFirstPort;
    if (index > m_rows.size() - 1) {
        // Beyond the table: the rows in between are added free, each with
        // its own port text, so FindPort can still offer them; the requested
        // one is owned by the peer.
        m_rows.reserve(index + 1);
        for (qsizetype i = m_rows.size(); i < index; ++i)
            m_rows.append({ QString::number(kFirstPort + int(i)), QString() });
        m_rows.append({ QString::number(requested), peerAddress });
        *port = requested;
        return Request::Accepted;
    }

    for (Row &row : m_rows) {
        if (row.port != portText)
            continue;
        row.owner = peerAddress;
        *port = requested;
        return Request::Accepted;
    }

    // Within the table's range but carried by no row (the rows of AddPort
    // shift the indexes): granted with a new row of its own.
    m_rows.append({ QString::number(requested), peerAddress });
    *port = requested;
    return Request::Accepted;
}

void DataPortTable::AddPort(int port, const QString &owner)
{
    m_rows.append({ QString::number(port), owner });
}

int DataPortTable::parsePort(const QString &portText)
{
    if (portText.isEmpty() || portText.size() > 5 || portText.at(0) == u'0')
        return -1;
    int value = 0;
    for (const QChar c : portText) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return (value >= kFirstPort && value <= kLastPort) ? value : -1;
}
