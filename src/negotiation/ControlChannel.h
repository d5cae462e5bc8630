#pragma once

#include "negotiation/ControlMessage.h"
#include "negotiation/DataPortTable.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QTcpServer;
class QTcpSocket;
class TransferManager;

// The control channel between two clients: the listening socket on port 2000,
// the outgoing connection of an offer, and both sides of the negotiation of
// one transfer at a time. It holds the negotiation fields and the data port
// table; what the user sees (the control log, the info bar, pop-ups, the
// confirmation window, the send page's look) it only asks for by signals.
//
// Every connection hands its bytes to one read handler, so each command is
// understood whichever side opened the connection. Bytes are cut into
// messages at each 0x05 and every complete message is acted on, in order;
// a message split over reads waits for its end.
class ControlChannel : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 kControlPort = 2000;

    explicit ControlChannel(QObject *parent = nullptr);
    ~ControlChannel() override;

    // What the channel needs from the rest of the client.
    std::function<QString(const QString &pseudo)> GetIP; // empty: not online
    std::function<QString()> CurrentPseudo;
    TransferManager *Transfers = nullptr;

    // Opens ServerTransac on port (2000 by default) of bindIp, or of every
    // interface when bindIp is empty. False when the port cannot be opened;
    // ServerTransac->errorString() says why.
    bool Listen(const QString &bindIp, quint16 port = kControlPort);
    // The address ClientTransac leaves from when set (the one Listen was
    // given), so that the peer sees the address the offer names.
    QString LocalAddress;
    // Exit: sends what is queued, then closes every control connection and
    // stops listening.
    void CloseAll();

    // Sends one command (without its 0x05): on every accepted connection
    // when there is one, otherwise through ClientTransac when connected.
    // Logs "W:" + cmd whenever cmd is not blank, even if nothing carried it.
    void sendCMD(const QString &cmd);

    // Offering side, once the send page has checked the recipient and the
    // file: recipient is the text as typed (its trimmed form names the peer).
    void StartOffer(const QString &recipient, const QString &filePath);
    // "Annuler" while an offer waits for its answer.
    void btnCancelTransClick();

    // Receiving side: the user's answer to the offer on show. Each offer gets
    // exactly one answer; later calls send nothing.
    void AcceptOffer(const QString &savePath);
    void RefuseOffer();
    bool OfferAwaitingAnswer() const { return m_offerAwaitingAnswer; }

    // Takes in the payload of a received "{ask}".
    void Call(const QString &payload);

    // The data port table.
    int FindPort();
    bool TestPort(const QString &portText);
    void AddPort(int port, const QString &owner);

    // The read handler's work on one complete message (without its 0x05).
    void HandleMessage(const QString &message);

    QTcpServer *ServerTransac = nullptr;
    QTcpSocket *ClientTransac = nullptr;
    // Accepted connections still open, in the order they came.
    QList<QTcpSocket *> Connections() const;

    DataPortTable PortTable;
    QString PeerPseudo;
    QString OfferFilePath;
    QString OfferFileName;
    QString OfferSize;
    QString PeerAddress;
    QString SavePath;
    int CurrentPort = 0;
    bool UploadAgreed = false;
    bool DownloadAgreed = false;

    enum class OfferState { Idle, Connecting, Waiting, PortProposed, Withdrawn };
    OfferState offerState() const { return m_offerState; }

signals:
    // One line of the control log.
    void Log(const QString &line);
    // The info bar: shown or hidden, with a time limit in ms (0: none).
    void Info(const QString &text, bool show, int milliseconds);
    // A notification pop-up (kind 1: file offered).
    void Popup(const QString &pseudo, const QString &text, int kind);
    // An offer to show in the confirmation window.
    void OfferReceived(const QString &fileName, const QString &sender, const QString &sizeText);
    // The peer withdrew its offer: the confirmation window closes.
    void OfferWithdrawn();
    // The send page: the recipient field and "Annuler" of the info bar.
    void RecipientEditable(bool enabled);
    void CancelVisible(bool visible);

private:
    void ServerTransacClientConnect();
    void ServerTransacClientRead(QTcpSocket *socket);
    void ClientTransacConnect();
    void ClientTransacError();
    void sendAsk();
    void offerEnded();
    void onOui();
    void onNon();
    void onPok();
    void onCan(const QString &message);

    QList<QPointer<QTcpSocket>> m_connections;
    QHash<QTcpSocket *, ControlMessage::Framer> m_framers;
    OfferState m_offerState = OfferState::Idle;
    QString m_recipientTyped;
    bool m_offerAwaitingAnswer = false;
};
