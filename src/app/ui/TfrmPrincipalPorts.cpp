// The main window's side of data port allocation: the port table with the
// negotiation fields and the control log.
#include "app/ui/TfrmPrincipal.h"

int TfrmPrincipal::FindPort()
{
    CurrentPort = PortTable.FindPort();
    return CurrentPort;
}

bool TfrmPrincipal::TestPort(const QString &portText)
{
    LogWatch(QStringLiteral("Demande de port :") + portText);
    int port = 0;
    switch (PortTable.TestPort(portText, PeerAddress, &port)) {
    case DataPortTable::Request::Accepted:
        CurrentPort = port;
        return true;
    case DataPortTable::Request::Taken:
        return false;
    case DataPortTable::Request::Invalid:
        // A peer's malformed request is answered with a refusal and noted
        // in the log; it never raises a box on this user's screen.
        LogWatch(QStringLiteral("Port refusé (invalide) :") + portText);
        return false;
    }
    return false;
}

void TfrmPrincipal::AddPort(int port, const QString &owner)
{
    PortTable.AddPort(port, owner);
}
