#include "negotiation/ControlChannel.h"

#include "base/Cp1252.h"
#include "transfer/SizeText.h"
#include "transfer/TransferManager.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

using ControlMessage::Command;

namespace {

QString dotted(const QHostAddress &address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

ControlChannel::ControlChannel(QObject *parent)
    : QObject(parent)
    , ServerTransac(new QTcpServer(this))
    , ClientTransac(new QTcpSocket(this))
{
    connect(ServerTransac, &QTcpServer::newConnection, this, &ControlChannel::ServerTransacClientConnect);
    connect(ClientTransac, &QTcpSocket::readyRead, this, [this] { ServerTransacClientRead(ClientTransac); });
    connect(ClientTransac, &QTcpSocket::connected, this, &ControlChannel::ClientTransacConnect);
    connect(ClientTransac, &QTcpSocket::disconnected, this,
        [this] { emit Log(QStringLiteral("Client déconnecté")); });
    connect(ClientTransac, &QTcpSocket::errorOccurred, this, &ControlChannel::ClientTransacError);
    connect(ClientTransac, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::ConnectingState)
            emit Info(QStringLiteral("Connexion en cours..."), true, 0);
    });
}

ControlChannel::~ControlChannel()
{
    // The sockets go with this object; their last events must not reach a
    // half-destroyed channel.
    ClientTransac->disconnect(this);
    for (QTcpSocket *socket : Connections())
        socket->disconnect(this);
}

bool ControlChannel::Listen(const QString &bindIp, quint16 port)
{
    LocalAddress = bindIp;
    const QHostAddress address = bindIp.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(bindIp);
    return ServerTransac->listen(address, port);
}

void ControlChannel::CloseAll()
{
    // An answer just queued (the "{non}" of a window closed on the way out)
    // still leaves before the connections go.
    for (QTcpSocket *socket : Connections()) {
        socket->flush();
        socket->disconnect(this);
        socket->close();
    }
    m_connections.clear();
    ClientTransac->flush();
    ClientTransac->abort();
    ServerTransac->close();
}

QList<QTcpSocket *> ControlChannel::Connections() const
{
    QList<QTcpSocket *> open;
    for (const QPointer<QTcpSocket> &socket : m_connections) {
        if (socket && socket->state() == QAbstractSocket::ConnectedState)
            open.append(socket);
    }
    return open;
}

void ControlChannel::sendCMD(const QString &cmd)
{
    if (cmd.trimmed().isEmpty())
        return;
    const QByteArray bytes = ControlMessage::encode(cmd);
    const QList<QTcpSocket *> incoming = Connections();
    if (!incoming.isEmpty()) {
        for (QTcpSocket *socket : incoming)
            socket->write(bytes);
    } else if (ClientTransac->state() == QAbstractSocket::ConnectedState) {
        ClientTransac->write(bytes);
    }
    emit Log(QStringLiteral("W:") + cmd);
}

void ControlChannel::ServerTransacClientConnect()
{
    while (QTcpSocket *socket = ServerTransac->nextPendingConnection()) {
        m_connections.append(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { ServerTransacClientRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            emit Log(QStringLiteral("Serveur déconnecté"));
            m_framers.remove(socket);
            m_connections.removeAll(socket);
            socket->deleteLater();
        });
        // A peer's connection that fails is only noted; nothing of it may
        // raise a box on this user's screen.
        connect(socket, &QTcpSocket::errorOccurred, this, [](QAbstractSocket::SocketError) {});
        emit Log(QString(30, u'_'));
        emit Log(QStringLiteral("Server Connecté à : ") + dotted(socket->peerAddress()));
    }
}

void ControlChannel::ServerTransacClientRead(QTcpSocket *socket)
{
    const QByteArray bytes = socket->readAll();
    emit Log(QStringLiteral("SR:") + Cp1252::decode(bytes));
    const ControlMessage::Framer::Result result = m_framers[socket].feed(bytes);
    for (int i = 0; i < result.dropped; ++i)
        emit Log(QStringLiteral("Message trop long ignoré (plus de %1 octets)")
                     .arg(ControlMessage::Framer::kMaxPending));
    // A handler below may end this connection (closing ClientTransac after
    // "{pok}"); the messages already cut are still acted on.
    for (const QByteArray &message : result.messages)
        HandleMessage(Cp1252::decode(message));
}

void ControlChannel::HandleMessage(const QString &message)
{
    switch (ControlMessage::classify(message)) {
    case Command::Ask:
        Call(ControlMessage::payload(message));
        return;
    case Command::Oui:
        onOui();
        return;
    case Command::Non:
        onNon();
        return;
    case Command::Can:
        onCan(message);
        return;
    case Command::Trc:
        emit Info(QStringLiteral("Annulé"), true, 1000);
        emit OfferWithdrawn();
        return;
    case Command::Pok:
        onPok();
        return;
    case Command::Pre:
        emit Log(QStringLiteral("Port refusé"));
        return;
    case Command::Unknown:
        break;
    }
    emit Log(QStringLiteral("Commande inconnue :") + message);
}

void ControlChannel::Call(const QString &payload)
{
    const ControlMessage::Offer offer = ControlMessage::parseOffer(payload);
    PeerPseudo = offer.pseudo;
    OfferFileName = offer.fileName;
    OfferSize = offer.size;
    PeerAddress = offer.address;
    emit Log(QStringLiteral("Appel de : ") + PeerPseudo);
    const std::optional<qint64> size = ControlMessage::offerSize(OfferSize);
    if (!size) {
        // A peer's malformed offer is refused on the wire; it never puts an
        // error box on this user's screen.
        emit Log(QStringLiteral("Offre refusée, taille invalide : ") + OfferSize);
        sendCMD(QStringLiteral("{non}"));
        return;
    }
    emit Popup(PeerPseudo, QStringLiteral("vous envoi : \n\r") + OfferFileName, 1);
    m_offerAwaitingAnswer = true;
    emit OfferReceived(OfferFileName, PeerPseudo, SizeText::FormatSize(*size));
}

void ControlChannel::AcceptOffer(const QString &savePath)
{
    if (!m_offerAwaitingAnswer)
        return;
    m_offerAwaitingAnswer = false;
    DownloadAgreed = true;
    SavePath = savePath;
    sendCMD(QStringLiteral("{oui}"));
}

void ControlChannel::RefuseOffer()
{
    if (!m_offerAwaitingAnswer)
        return;
    m_offerAwaitingAnswer = false;
    sendCMD(QStringLiteral("{non}"));
}

void ControlChannel::StartOffer(const QString &recipient, const QString &filePath)
{
    emit RecipientEditable(false);
    OfferFilePath = filePath;
    const QFileInfo file(filePath);
    OfferSize = file.exists() ? QString::number(file.size()) : QStringLiteral("0");
    PeerPseudo = recipient.trimmed();
    m_recipientTyped = recipient;
    emit CancelVisible(true);
    emit Info(QStringLiteral("Appel en cours..."), true, 0);
    ClientTransac->abort();
    m_framers.remove(ClientTransac);
    const QString ip = GetIP ? GetIP(recipient) : QString();
    const QHostAddress address(ip);
    if (ip.isEmpty() || address.isNull()) {
        // Nobody to call: say so and give the send page back.
        m_offerState = OfferState::Idle;
        emit Info(QStringLiteral("Impossible de se connecter à ") + recipient, true, 2500);
        emit CancelVisible(false);
        emit RecipientEditable(true);
        return;
    }
    m_offerState = OfferState::Connecting;
    if (!LocalAddress.isEmpty())
        ClientTransac->bind(QHostAddress(LocalAddress));
    ClientTransac->connectToHost(address, kControlPort);
}

void ControlChannel::ClientTransacConnect()
{
    emit Log(QStringLiteral("Client Connecté à : ") + dotted(ClientTransac->peerAddress()));
    if (m_offerState == OfferState::Connecting)
        sendAsk();
}

void ControlChannel::sendAsk()
{
    const QString me = CurrentPseudo ? CurrentPseudo() : QString();
    ControlMessage::Offer offer;
    offer.pseudo = me;
    offer.fileName = QFileInfo(OfferFilePath).fileName();
    offer.size = OfferSize;
    offer.address = GetIP ? GetIP(me) : QString();
    m_offerState = OfferState::Waiting;
    sendCMD(ControlMessage::makeOffer(offer));
    emit Info(QStringLiteral("Attente d'une réponse"), true, 0);
}

void ControlChannel::ClientTransacError()
{
    if (m_offerState != OfferState::Connecting) {
        // A connection that was up and ends is not a failure to connect
        // (the peer closes after "{non}" or at its exit).
        if (ClientTransac->error() != QAbstractSocket::RemoteHostClosedError)
            emit Log(QStringLiteral("Erreur client : ") + ClientTransac->errorString());
        return;
    }
    m_offerState = OfferState::Idle;
    emit Info(QStringLiteral("Impossible de se connecter à ") + m_recipientTyped, true, 2500);
    emit CancelVisible(false);
    emit RecipientEditable(true);
    ClientTransac->abort();
}

void ControlChannel::btnCancelTransClick()
{
    sendCMD(QStringLiteral("{trc}"));
    emit Info(QStringLiteral("Transfert annulé"), true, 1000);
    emit CancelVisible(false);
    if (m_offerState == OfferState::Waiting)
        m_offerState = OfferState::Withdrawn;
}

void ControlChannel::onOui()
{
    emit Info(QStringLiteral("Transfert autorisé"), true, 1000);
    UploadAgreed = true;
    const int port = FindPort();
    m_offerState = OfferState::PortProposed;
    sendCMD(QStringLiteral("{can}") + QString::number(port));
    emit CancelVisible(false);
    emit RecipientEditable(true);
}

void ControlChannel::onNon()
{
    emit Info(QStringLiteral("Transfert non autorisé"), true, 1000);
    emit CancelVisible(false);
    emit RecipientEditable(true);
    m_offerState = OfferState::Idle;
}

void ControlChannel::onPok()
{
    emit Log(QStringLiteral("Port accepté : ") + QString::number(CurrentPort));
    if (UploadAgreed && Transfers) {
        Transfers->NewUpload(Transfers->NewTransferId(), PeerPseudo, OfferFilePath, OfferSize,
            QStringLiteral("0"), PeerAddress, CurrentPort, QString());
    }
    UploadAgreed = false;
    DownloadAgreed = false;
    m_offerState = OfferState::Idle;
    ClientTransac->disconnectFromHost();
}

void ControlChannel::onCan(const QString &message)
{
    if (!TestPort(ControlMessage::portText(message))) {
        sendCMD(QStringLiteral("{pre}"));
        return;
    }
    if (DownloadAgreed && Transfers) {
        const bool listening = Transfers->NewDownload(Transfers->NewTransferId(), PeerPseudo, OfferFileName,
            OfferSize, QStringLiteral("0"), SavePath, CurrentPort, QString(), PeerAddress);
        if (!listening) {
            // The sender would wait for ever on a port nobody listens on.
            emit Log(QStringLiteral("Port refusé (écoute impossible) :") + QString::number(CurrentPort));
            sendCMD(QStringLiteral("{pre}"));
            return;
        }
    }
    sendCMD(QStringLiteral("{pok}"));
}

int ControlChannel::FindPort()
{
    CurrentPort = PortTable.FindPort();
    return CurrentPort;
}

bool ControlChannel::TestPort(const QString &portText)
{
    emit Log(QStringLiteral("Demande de port :") + portText);
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
        emit Log(QStringLiteral("Port refusé (invalide) :") + portText);
        return false;
    }
    return false;
}

void ControlChannel::AddPort(int port, const QString &owner)
{
    PortTable.AddPort(port, owner);
}
