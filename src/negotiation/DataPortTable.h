#pragma once

#include <QList>
#include <QString>

#include <functional>

// The data ports proposed, accepted or in use during this run. Rows are only
// appended; an owner, once written, stays, but it is a record of who asked,
// not a hold: whether a port may be granted is decided by what listens on it
// now (see TestPort). Nothing of it is stored.
class DataPortTable
{
public:
    static constexpr int kFirstPort = 2010;
    static constexpr int kLastPort = 65535;

    struct Row
    {
        QString port;
        QString owner; // empty: free
    };

    // What a peer's port request comes to.
    enum class Request {
        Accepted, // the port's row is now owned by the peer
        Taken, // the port is held already
        Invalid, // not a plain decimal port number from kFirstPort to kLastPort
    };

    // A fresh table holds one free row for port 2010.
    DataPortTable();

    const QList<Row> &rows() const { return m_rows; }
    qsizetype size() const { return m_rows.size(); }
    const Row &at(qsizetype i) const { return m_rows.at(i); }

    // Offering side: the port of the first free row, or of a new free row
    // appended when every row is owned. Never writes an owner, so the same
    // port is proposed again until a request marks it.
    int FindPort();

    // Whether a download of this client holds a port for an unfinished
    // transfer (it listens on it, or will again when resumed).
    using HeldBy = std::function<bool(int port)>;

    // Receiving side: may the peer at peerAddress use the port spelled
    // portText? Granted unless `held` says an unfinished download holds it:
    // rows written earlier (by other peers, or by AddPort for uploads and
    // finished downloads) never refuse a port by themselves, or every pair
    // of members could exchange one file per run. On Accepted, *port
    // receives the port number and the port's row is owned by peerAddress.
    Request TestPort(const QString &portText, const QString &peerAddress, const HeldBy &held, int *port);

    // Records the port of a transfer panel; never looks for an existing row.
    void AddPort(int port, const QString &owner);

    // portText read as a port we may listen on: decimal digits only, no sign,
    // blank or leading zero, within kFirstPort..kLastPort. -1 otherwise.
    static int parsePort(const QString &portText);

private:
    QList<Row> m_rows;
};
