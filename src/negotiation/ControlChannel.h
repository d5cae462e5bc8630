#pragma once

#include "negotiation/ControlMessage.h"
#include "negotiation/DataPortTable.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class PresenceMonitor;
class QTcpServer;
class QTcpSocket;
class QTimer;
class ServiceSession;
class TransferManager;

// The control channel between two clients: the listening socket on port 2000
// (ServerTransac) and the outgoing connection of this user's offer
// (ClientTransac). The offers it makes and takes become transfers of the
// transfer manager; addresses come from presence, the own pseudonym from the
// session. What the user sees (the control log, the info bar,
// pop-ups, the confirmation window, the send page's look) it only asks for
// by signals.
//
// Each connection carries its own negotiation:
// - ClientTransac carries this user's offer, one at a time: "{ask}", then
//   "{can}" after "{oui}" (the next port after each "{pre}", up to
//   Limits::portProposals ports), "{trc}" to withdraw. Only answers are
//   taken from it.
// - Every accepted connection may carry one offer made to this user: the
//   offer, its sender, its address, its port and its acceptance belong to
//   that connection, and its answers go back on it and nowhere else. A
//   "{can}" counts only on the connection whose offer was accepted, once.
// Bytes are cut into messages at each 0x05 and every complete message is
// acted on, in order; a message split over reads waits for its end.
//
// Floods are bounded: one open offer per peer address and a few in all,
// a capped number of connections per address and in all, idle accepted
// connections closed, log lines cut short.
class ControlChannel : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 kControlPort = 2000;

    struct Limits
    {
        int openOffers = 4; // offers to this user waiting for an answer or a port, in all
        int connectionsPerHost = 8; // accepted connections from one address
        int connections = 64; // accepted connections in all
        int idleMs = 30000; // an accepted connection with nothing under way closes after this
        int acceptedWaitMs = 60000; // after "{oui}", the sender's "{can}" comes within this
        int connectMs = 15000; // this user's offer: connecting to the recipient
        int portAnswerMs = 30000; // this user's offer: "{pok}"/"{pre}" after "{can}", "{non}" after "{trc}"
        int portProposals = 16; // ports proposed for one offer before giving up
        int portRequests = 32; // "{can}" taken on one accepted offer before the connection is closed
        int logLineBytes = 512; // received bytes shown on one log line
    };

    // One offer made to this user, as its connection holds it.
    struct IncomingOffer
    {
        int id = 0; // unique during the run
        QString pseudo; // field 1
        QString fileName; // field 2
        QString size; // field 3, decimal
        QString address; // field 4: where the data connection will come from
        QString host; // the control connection's peer address
        bool accepted = false; // the user said yes; a "{can}" is awaited
        QString savePath;
        bool replaceConfirmed = false; // the user agreed to replace an existing file
        int portRequests = 0;
        int portsRefused = 0;
    };

    enum class OfferState { Idle, Connecting, Waiting, PortProposed, Withdrawn };
    // How this user's offer ended: its upload made, refused by the other
    // member, failed (nobody to call, connection lost, no port agreed), or
    // withdrawn by this user.
    enum class OfferOutcome { Accepted, Refused, Failed, Withdrawn };

    ControlChannel(ServiceSession &session, PresenceMonitor &presence, TransferManager &transfers,
        QObject *parent = nullptr);
    ~ControlChannel() override;

    void setLimits(const Limits &limits) { m_limits = limits; }
    const Limits &limits() const { return m_limits; }

    // Opens ServerTransac on port (2000 by default) of bindIp, or of every
    // interface when bindIp is empty. ClientTransac then leaves from bindIp,
    // so that the peer sees the address the offer names. False when the port
    // cannot be opened; ServerTransac()->errorString() says why.
    bool Listen(const QString &bindIp, quint16 port = kControlPort);
    QString localAddress() const { return m_localAddress; }
    // Exit: sends what is queued, then closes every control connection and
    // stops listening.
    void CloseAll();

    // Writes one command (without its 0x05) on socket and logs "W:" + cmd;
    // a blank command is neither sent nor logged.
    void sendCMD(QTcpSocket *socket, const QString &cmd);

    // Offering side, once the send page has checked the recipient and the
    // file: recipient is the text as typed (its trimmed form names the peer).
    // An offer still under way is abandoned first.
    void StartOffer(const QString &recipient, const QString &filePath);
    // "Annuler" while an offer waits for its answer.
    void btnCancelTransClick();
    OfferState offerState() const { return m_offerState; }
    // The port last proposed for this user's offer.
    int CurrentPort() const { return m_outPort; }

    // Receiving side: the user's answer to offer id. Each offer gets exactly
    // one answer; an offer already answered, withdrawn or gone is left as it
    // is (false).
    bool AcceptOffer(int id, const QString &savePath, bool replaceConfirmed = false);
    bool RefuseOffer(int id);
    bool OfferAwaitingAnswer(int id) const;
    // Offers made to this user that are still open, oldest first.
    QList<IncomingOffer> openOffers() const;

    // The data port table: FindPort proposes, TestPort answers a peer's
    // request (granted unless an unfinished download of this client holds
    // the port), AddPort records a transfer's port.
    int FindPort();
    bool TestPort(const QString &portText, const QString &peerAddress, int *port = nullptr);
    void AddPort(int port, const QString &owner);
    const DataPortTable &portTable() const { return m_portTable; }

    // The listening socket and the socket of this user's offer.
    QTcpServer *ServerTransac() const { return m_serverTransac; }
    QTcpSocket *ClientTransac() const { return m_clientTransac; }
    // Accepted connections still open, in the order they came.
    QList<QTcpSocket *> Connections() const;

signals:
    // One line of the control log.
    void Log(const QString &line);
    // The info bar: shown or hidden, with a time limit in ms (0: none).
    void Info(const QString &text, bool show, int milliseconds);
    // An offer to show in the confirmation window: offers are handed over
    // one at a time, the next once the window's offer is answered or gone.
    void OfferReceived(int id, const QString &fileName, const QString &sender, const QString &sizeText);
    // The "file offered" pop-up of an offer.
    void OfferPopup(int id, const QString &pseudo, const QString &text);
    // Offer id is over before the user answered it (withdrawn, or its
    // connection ended): its pop-up and its confirmation window close.
    void OfferClosed(int id);
    // The send page: the recipient field and "Annuler" of the info bar.
    void RecipientEditable(bool enabled);
    // This user's offer is over (a new one may start).
    void OfferEnded(ControlChannel::OfferOutcome outcome);
    void CancelVisible(bool visible);

private:
    struct Incoming;

    // Accepted connections.
    void ServerTransacClientConnect();
    void ServerTransacClientRead(Incoming *in);
    void incomingEnded(QTcpSocket *socket);
    void incomingIdle(Incoming *in);
    void closeIncoming(Incoming *in);
    bool isOpen(const Incoming *in) const;
    void handleIncoming(Incoming *in, const QString &message);
    void Call(Incoming *in, const QString &payload);
    void onCan(Incoming *in, const QString &message);
    void onTrc(Incoming *in);
    void dropOffer(Incoming *in);
    Incoming *incomingOf(int offerId) const;
    void handOverNextOffer();
    void logReceived(const QByteArray &bytes);

    // This user's offer.
    void ClientTransacRead();
    void ClientTransacConnect();
    void ClientTransacEnded();
    void outgoingTimeout();
    void handleOutgoing(const QString &message);
    void sendAsk();
    void onOui();
    void onNon();
    void onPok();
    void onPre();
    void proposePort(int port);
    // The offer is over: the send page comes back, with text in the info
    // bar when there is one.
    void endOffer(OfferOutcome outcome, const QString &text = QString(), int milliseconds = 0);

    ServiceSession &m_session;
    PresenceMonitor &m_presence;
    TransferManager &m_transfers;
    QTcpServer *m_serverTransac = nullptr;
    QTcpSocket *m_clientTransac = nullptr;
    Limits m_limits;
    QString m_localAddress;
    DataPortTable m_portTable;

    std::vector<std::unique_ptr<Incoming>> m_incoming;
    int m_lastOfferId = 0;
    QList<int> m_windowQueue; // offers waiting for the confirmation window
    int m_offerOnShow = 0; // the offer the window has, 0: none

    ControlMessage::Framer m_clientFramer;
    QTimer *m_outTimer = nullptr;
    OfferState m_offerState = OfferState::Idle;
    QString m_recipientTyped;
    QString m_outPseudo; // the recipient, trimmed
    QString m_outPath;
    QString m_outSize;
    int m_outPort = 0;
    int m_outProposals = 0;
};
