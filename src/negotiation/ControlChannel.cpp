#include "negotiation/ControlChannel.h"

#include "base/Cp1252.h"
#include "contacts/PresenceMonitor.h"
#include "service/ServiceSession.h"
#include "transfer/SizeText.h"
#include "transfer/TransferManager.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

using ControlMessage::Command;

namespace {

QString dotted(const QHostAddress &address)
{
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4).toString() : address.toString();
}

const QString kOui = QStringLiteral("{oui}");
const QString kNon = QStringLiteral("{non}");
const QString kCan = QStringLiteral("{can}");
const QString kTrc = QStringLiteral("{trc}");
const QString kPok = QStringLiteral("{pok}");
const QString kPre = QStringLiteral("{pre}");

} // namespace

// One accepted connection and the offer it carries, if any.
struct ControlChannel::Incoming
{
    QPointer<QTcpSocket> socket;
    QString host;
    ControlMessage::Framer framer;
    QTimer *idle = nullptr;
    std::optional<IncomingOffer> offer;
};

ControlChannel::ControlChannel(
    ServiceSession &session, PresenceMonitor &presence, TransferManager &transfers, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_presence(presence)
    , m_transfers(transfers)
    , m_serverTransac(new QTcpServer(this))
    , m_clientTransac(new QTcpSocket(this))
    , m_outTimer(new QTimer(this))
{
    m_outTimer->setSingleShot(true);
    connect(m_outTimer, &QTimer::timeout, this, &ControlChannel::outgoingTimeout);
    connect(m_serverTransac, &QTcpServer::newConnection, this, &ControlChannel::ServerTransacClientConnect);
    connect(m_clientTransac, &QTcpSocket::readyRead, this, &ControlChannel::ClientTransacRead);
    connect(m_clientTransac, &QTcpSocket::connected, this, &ControlChannel::ClientTransacConnect);
    connect(m_clientTransac, &QTcpSocket::disconnected, this, [this] {
        emit Log(QStringLiteral("Client déconnecté"));
        ClientTransacEnded();
    });
    connect(m_clientTransac, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            emit Log(QStringLiteral("Erreur client : ") + m_clientTransac->errorString());
        ClientTransacEnded();
    });
    connect(m_clientTransac, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::ConnectingState)
            emit Info(QStringLiteral("Connexion en cours..."), true, 0);
    });
}

ControlChannel::~ControlChannel()
{
    // The sockets go with this object; their last events must not reach a
    // half-destroyed channel.
    m_clientTransac->disconnect(this);
    for (const auto &in : m_incoming) {
        in->idle->disconnect(this);
        if (in->socket)
            in->socket->disconnect(this);
    }
}

bool ControlChannel::Listen(const QString &bindIp, quint16 port)
{
    m_localAddress = bindIp;
    const QHostAddress address = bindIp.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(bindIp);
    return m_serverTransac->listen(address, port);
}

void ControlChannel::CloseAll()
{
    // An answer just queued (the "{non}" of a window closed on the way out)
    // still leaves before the connections go.
    for (const auto &in : m_incoming) {
        in->idle->disconnect(this);
        in->idle->deleteLater();
        if (!in->socket)
            continue;
        in->socket->flush();
        in->socket->disconnect(this);
        in->socket->close();
        in->socket->deleteLater();
    }
    m_incoming.clear();
    m_windowQueue.clear();
    m_offerOnShow = 0;
    m_clientTransac->flush();
    m_clientTransac->disconnect(this);
    m_clientTransac->abort();
    m_serverTransac->close();
}

QList<QTcpSocket *> ControlChannel::Connections() const
{
    QList<QTcpSocket *> open;
    for (const auto &in : m_incoming) {
        if (in->socket && in->socket->state() == QAbstractSocket::ConnectedState)
            open.append(in->socket);
    }
    return open;
}

void ControlChannel::sendCMD(QTcpSocket *socket, const QString &cmd)
{
    if (cmd.trimmed().isEmpty())
        return;
    if (socket && socket->state() == QAbstractSocket::ConnectedState)
        socket->write(ControlMessage::encode(cmd));
    emit Log(QStringLiteral("W:") + cmd);
}

void ControlChannel::logReceived(const QByteArray &bytes)
{
    // A peer decides how much it sends in one go; the log shows the start.
    if (bytes.size() <= m_limits.logLineBytes) {
        emit Log(QStringLiteral("SR:") + Cp1252::decode(bytes));
        return;
    }
    emit Log(QStringLiteral("SR:") + Cp1252::decode(bytes.left(m_limits.logLineBytes))
        + QStringLiteral("… (%1 octets)").arg(bytes.size()));
}

// Accepted connections ------------------------------------------------------

void ControlChannel::ServerTransacClientConnect()
{
    while (QTcpSocket *socket = m_serverTransac->nextPendingConnection()) {
        const QString host = dotted(socket->peerAddress());
        qsizetype fromHost = 0;
        for (const auto &in : m_incoming)
            fromHost += in->host == host ? 1 : 0;
        if (qsizetype(m_incoming.size()) >= m_limits.connections || fromHost >= m_limits.connectionsPerHost) {
            emit Log(QStringLiteral("Connexion refusée (trop de connexions) : ") + host);
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto in = std::make_unique<Incoming>();
        Incoming *raw = in.get();
        raw->socket = socket;
        raw->host = host;
        raw->idle = new QTimer(this);
        raw->idle->setSingleShot(true);
        raw->idle->start(m_limits.idleMs);
        m_incoming.push_back(std::move(in));
        connect(raw->idle, &QTimer::timeout, this, [this, raw] { incomingIdle(raw); });
        connect(socket, &QTcpSocket::readyRead, this, [this, raw] { ServerTransacClientRead(raw); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            emit Log(QStringLiteral("Serveur déconnecté"));
            incomingEnded(socket);
        });
        // A peer's connection that fails is only noted; nothing of it may
        // raise a box on this user's screen. Its end follows as a
        // disconnection, or here when it never was connected.
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError) {
            if (socket->state() == QAbstractSocket::UnconnectedState)
                incomingEnded(socket);
        });
        emit Log(QString(30, u'_'));
        emit Log(QStringLiteral("Server Connecté à : ") + host);
    }
}

void ControlChannel::incomingEnded(QTcpSocket *socket)
{
    const auto it = std::find_if(
        m_incoming.begin(), m_incoming.end(), [socket](const auto &in) { return in->socket == socket; });
    if (it == m_incoming.end())
        return;
    Incoming *in = it->get();
    if (in->offer) {
        const IncomingOffer offer = *in->offer;
        dropOffer(in);
        if (offer.accepted && offer.portsRefused > 0)
            emit Info(QStringLiteral("Transfert de %1 impossible : aucun port de données libre").arg(offer.fileName),
                true, 3000);
        else
            emit Info(QStringLiteral("Annulé"), true, 1000);
    }
    in->idle->stop();
    in->idle->disconnect(this);
    in->idle->deleteLater();
    socket->disconnect(this);
    socket->deleteLater();
    m_incoming.erase(it);
}

void ControlChannel::incomingIdle(Incoming *in)
{
    // An offer waiting for this user's answer may wait as long as the user
    // takes; any other silence ends the connection.
    if (in->offer && !in->offer->accepted) {
        in->idle->start(m_limits.idleMs);
        return;
    }
    emit Log(QStringLiteral("Connexion inactive fermée : ") + in->host);
    closeIncoming(in);
}

void ControlChannel::closeIncoming(Incoming *in)
{
    // Aborting may already end it through the socket's events; ending it
    // twice does nothing.
    const QPointer<QTcpSocket> socket = in->socket;
    if (!socket)
        return;
    socket->abort();
    incomingEnded(socket);
}

bool ControlChannel::isOpen(const Incoming *in) const
{
    return std::any_of(m_incoming.begin(), m_incoming.end(), [in](const auto &i) { return i.get() == in; });
}

void ControlChannel::ServerTransacClientRead(Incoming *in)
{
    if (!in->socket)
        return;
    const QByteArray bytes = in->socket->readAll();
    logReceived(bytes);
    const ControlMessage::Framer::Result result = in->framer.feed(bytes);
    for (int i = 0; i < result.dropped; ++i)
        emit Log(QStringLiteral("Message trop long ignoré (plus de %1 octets)")
                     .arg(ControlMessage::Framer::kMaxPending));
    for (const QByteArray &message : result.messages) {
        // A handler may end this connection (too many port requests).
        if (!isOpen(in))
            return;
        handleIncoming(in, Cp1252::decode(message));
    }
}

void ControlChannel::handleIncoming(Incoming *in, const QString &message)
{
    in->idle->start(in->offer && in->offer->accepted ? m_limits.acceptedWaitMs : m_limits.idleMs);
    switch (ControlMessage::classify(message)) {
    case Command::Ask:
        Call(in, ControlMessage::payload(message));
        return;
    case Command::Can:
        onCan(in, message);
        return;
    case Command::Trc:
        onTrc(in);
        return;
    case Command::Oui:
    case Command::Non:
    case Command::Pok:
    case Command::Pre:
        // This user's offers go out on ClientTransac and are answered there.
        emit Log(QStringLiteral("Réponse sans offre ignorée : ") + message);
        return;
    case Command::Unknown:
        break;
    }
    emit Log(QStringLiteral("Commande inconnue :") + message);
}

void ControlChannel::Call(Incoming *in, const QString &payload)
{
    const ControlMessage::Offer fields = ControlMessage::parseOffer(payload);
    emit Log(QStringLiteral("Appel de : ") + fields.pseudo);
    const std::optional<qint64> size = ControlMessage::offerSize(fields.size);
    if (!size) {
        // A peer's malformed offer is refused on the wire; it never puts an
        // error box on this user's screen.
        emit Log(QStringLiteral("Offre refusée, taille invalide : ") + fields.size);
        sendCMD(in->socket, kNon);
        return;
    }
    qsizetype open = 0;
    bool openFromHost = false;
    for (const auto &other : m_incoming) {
        if (!other->offer)
            continue;
        ++open;
        openFromHost = openFromHost || other->host == in->host;
    }
    if (openFromHost || open >= m_limits.openOffers) {
        emit Log(QStringLiteral("Offre refusée, une offre est déjà en cours : ") + fields.pseudo);
        sendCMD(in->socket, kNon);
        return;
    }
    IncomingOffer offer;
    offer.id = ++m_lastOfferId;
    offer.pseudo = fields.pseudo;
    offer.fileName = fields.fileName;
    offer.size = fields.size;
    offer.address = fields.address;
    offer.host = in->host;
    in->offer = offer;
    emit OfferPopup(offer.id, offer.pseudo, QStringLiteral("vous envoi : \n\r") + offer.fileName);
    m_windowQueue.append(offer.id);
    handOverNextOffer();
}

void ControlChannel::handOverNextOffer()
{
    if (m_offerOnShow != 0 || m_windowQueue.isEmpty())
        return;
    const int id = m_windowQueue.takeFirst();
    const Incoming *in = incomingOf(id);
    if (!in)
        return;
    m_offerOnShow = id;
    const IncomingOffer &offer = *in->offer;
    emit OfferReceived(id, offer.fileName, offer.pseudo,
        SizeText::FormatSize(ControlMessage::offerSize(offer.size).value_or(0)));
}

ControlChannel::Incoming *ControlChannel::incomingOf(int offerId) const
{
    for (const auto &in : m_incoming) {
        if (in->offer && in->offer->id == offerId)
            return in.get();
    }
    return nullptr;
}

void ControlChannel::dropOffer(Incoming *in)
{
    const int id = in->offer->id;
    const bool answered = in->offer->accepted;
    in->offer.reset();
    m_windowQueue.removeAll(id);
    if (!answered)
        emit OfferClosed(id);
    if (m_offerOnShow == id) {
        m_offerOnShow = 0;
        // The window is closing; the next offer reaches it afterwards.
        QMetaObject::invokeMethod(this, &ControlChannel::handOverNextOffer, Qt::QueuedConnection);
    }
}

bool ControlChannel::OfferAwaitingAnswer(int id) const
{
    const Incoming *in = incomingOf(id);
    return in && !in->offer->accepted;
}

QList<ControlChannel::IncomingOffer> ControlChannel::openOffers() const
{
    QList<IncomingOffer> offers;
    for (const auto &in : m_incoming) {
        if (in->offer)
            offers.append(*in->offer);
    }
    std::sort(offers.begin(), offers.end(), [](const auto &a, const auto &b) { return a.id < b.id; });
    return offers;
}

bool ControlChannel::AcceptOffer(int id, const QString &savePath, bool replaceConfirmed)
{
    Incoming *in = incomingOf(id);
    if (!in || in->offer->accepted)
        return false;
    in->offer->accepted = true;
    in->offer->savePath = savePath;
    in->offer->replaceConfirmed = replaceConfirmed;
    in->idle->start(m_limits.acceptedWaitMs);
    sendCMD(in->socket, kOui);
    if (m_offerOnShow == id) {
        m_offerOnShow = 0;
        QMetaObject::invokeMethod(this, &ControlChannel::handOverNextOffer, Qt::QueuedConnection);
    }
    return true;
}

bool ControlChannel::RefuseOffer(int id)
{
    Incoming *in = incomingOf(id);
    if (!in || in->offer->accepted)
        return false;
    sendCMD(in->socket, kNon);
    in->offer.reset();
    m_windowQueue.removeAll(id);
    if (m_offerOnShow == id) {
        m_offerOnShow = 0;
        QMetaObject::invokeMethod(this, &ControlChannel::handOverNextOffer, Qt::QueuedConnection);
    }
    return true;
}

void ControlChannel::onTrc(Incoming *in)
{
    if (!in->offer) {
        emit Log(QStringLiteral("Retrait sans offre ignoré"));
        return;
    }
    emit Info(QStringLiteral("Annulé"), true, 1000);
    if (in->offer->accepted) {
        // Already answered: the sender may still go on with "{can}".
        return;
    }
    sendCMD(in->socket, kNon);
    dropOffer(in);
}

void ControlChannel::onCan(Incoming *in, const QString &message)
{
    if (!in->offer || !in->offer->accepted) {
        emit Log(QStringLiteral("Port demandé sans offre acceptée, ignoré : ") + message);
        return;
    }
    IncomingOffer &offer = *in->offer;
    if (++offer.portRequests > m_limits.portRequests) {
        emit Log(QStringLiteral("Trop de ports demandés, connexion fermée : ") + in->host);
        closeIncoming(in);
        return;
    }
    int port = 0;
    if (!TestPort(ControlMessage::portText(message), offer.address, &port)) {
        ++offer.portsRefused;
        sendCMD(in->socket, kPre);
        return;
    }
    m_transfers.ReleasePort(port);
    TransferRecord download;
    download.IDTel = m_transfers.NewTransferId();
    download.FichierName = offer.fileName;
    download.FichierProprio = offer.pseudo;
    download.FichierPath = offer.savePath;
    download.FichierPoids = offer.size;
    download.Port = port;
    if (!m_transfers.NewDownload(download, offer.address, offer.replaceConfirmed)) {
        // The sender would wait for ever on a port nobody listens on.
        emit Log(QStringLiteral("Port refusé (écoute impossible) :") + QString::number(port));
        ++offer.portsRefused;
        sendCMD(in->socket, kPre);
        return;
    }
    // The negotiation of this offer is over: nothing more is taken from it.
    in->offer.reset();
    in->idle->start(m_limits.idleMs);
    sendCMD(in->socket, kPok);
}

// This user's offer ---------------------------------------------------------

void ControlChannel::StartOffer(const QString &recipient, const QString &filePath)
{
    // A new offer replaces one still under way, without a word for it.
    m_offerState = OfferState::Idle;
    m_outTimer->stop();
    emit RecipientEditable(false);
    m_outPath = filePath;
    const QFileInfo file(filePath);
    m_outSize = file.exists() ? QString::number(file.size()) : QStringLiteral("0");
    m_outPseudo = recipient.trimmed();
    m_recipientTyped = recipient;
    m_outPort = 0;
    m_outProposals = 0;
    emit CancelVisible(true);
    emit Info(QStringLiteral("Appel en cours..."), true, 0);
    m_clientTransac->abort();
    m_clientFramer.clear();
    const QString ip = m_presence.GetIP(recipient);
    const QHostAddress address(ip);
    if (ip.isEmpty() || address.isNull()) {
        // Nobody to call: say so and give the send page back.
        endOffer(OfferOutcome::Failed, QStringLiteral("Impossible de se connecter à ") + recipient, 2500);
        return;
    }
    m_offerState = OfferState::Connecting;
    m_outTimer->start(m_limits.connectMs);
    if (!m_localAddress.isEmpty())
        m_clientTransac->bind(QHostAddress(m_localAddress));
    m_clientTransac->connectToHost(address, kControlPort);
}

void ControlChannel::endOffer(OfferOutcome outcome, const QString &text, int milliseconds)
{
    m_offerState = OfferState::Idle;
    m_outTimer->stop();
    if (!text.isEmpty())
        emit Info(text, true, milliseconds);
    emit CancelVisible(false);
    emit RecipientEditable(true);
    if (m_clientTransac->state() != QAbstractSocket::UnconnectedState)
        m_clientTransac->disconnectFromHost();
    emit OfferEnded(outcome);
}

void ControlChannel::ClientTransacConnect()
{
    emit Log(QStringLiteral("Client Connecté à : ") + dotted(m_clientTransac->peerAddress()));
    if (m_offerState == OfferState::Connecting)
        sendAsk();
}

void ControlChannel::sendAsk()
{
    const QString me = m_session.currentPseudo();
    ControlMessage::Offer offer;
    offer.pseudo = me;
    offer.fileName = QFileInfo(m_outPath).fileName();
    offer.size = m_outSize;
    offer.address = m_presence.GetIP(me);
    // The recipient's user takes the time it takes to answer.
    m_outTimer->stop();
    m_offerState = OfferState::Waiting;
    sendCMD(m_clientTransac, ControlMessage::makeOffer(offer));
    emit Info(QStringLiteral("Attente d'une réponse"), true, 0);
}

void ControlChannel::ClientTransacEnded()
{
    switch (m_offerState) {
    case OfferState::Idle:
        return;
    case OfferState::Withdrawn:
        // Withdrawn already, and said so.
        endOffer(OfferOutcome::Withdrawn);
        return;
    case OfferState::Connecting:
    case OfferState::Waiting:
    case OfferState::PortProposed:
        endOffer(OfferOutcome::Failed, QStringLiteral("Impossible de se connecter à ") + m_recipientTyped, 2500);
        return;
    }
}

void ControlChannel::outgoingTimeout()
{
    emit Log(QStringLiteral("Pas de réponse de ") + m_outPseudo);
    m_clientTransac->abort();
    ClientTransacEnded();
}

void ControlChannel::ClientTransacRead()
{
    const QByteArray bytes = m_clientTransac->readAll();
    logReceived(bytes);
    const ControlMessage::Framer::Result result = m_clientFramer.feed(bytes);
    for (int i = 0; i < result.dropped; ++i)
        emit Log(QStringLiteral("Message trop long ignoré (plus de %1 octets)")
                     .arg(ControlMessage::Framer::kMaxPending));
    for (const QByteArray &message : result.messages) {
        // An answer may end the offer and its connection.
        if (m_offerState == OfferState::Idle) {
            emit Log(QStringLiteral("Message sans offre ignoré : ") + Cp1252::decode(message));
            continue;
        }
        handleOutgoing(Cp1252::decode(message));
    }
}

void ControlChannel::handleOutgoing(const QString &message)
{
    const Command command = ControlMessage::classify(message);
    switch (command) {
    case Command::Oui:
        if (m_offerState == OfferState::Waiting)
            return onOui();
        if (m_offerState == OfferState::Withdrawn) {
            // This user withdrew the offer: the yes that crossed it goes no
            // further.
            emit Log(QStringLiteral("Offre retirée : réponse ignorée"));
            return endOffer(OfferOutcome::Withdrawn);
        }
        break;
    case Command::Non:
        if (m_offerState == OfferState::Waiting)
            return onNon();
        if (m_offerState == OfferState::Withdrawn)
            return endOffer(OfferOutcome::Withdrawn);
        break;
    case Command::Pok:
        if (m_offerState == OfferState::PortProposed)
            return onPok();
        break;
    case Command::Pre:
        if (m_offerState == OfferState::PortProposed)
            return onPre();
        break;
    case Command::Unknown:
        emit Log(QStringLiteral("Commande inconnue :") + message);
        return;
    case Command::Ask:
    case Command::Can:
    case Command::Trc:
        break;
    }
    // A question on this connection, or an answer out of turn.
    emit Log(QStringLiteral("Message hors négociation ignoré : ") + message);
}

void ControlChannel::btnCancelTransClick()
{
    switch (m_offerState) {
    case OfferState::Waiting:
        sendCMD(m_clientTransac, kTrc);
        emit Info(QStringLiteral("Transfert annulé"), true, 1000);
        emit CancelVisible(false);
        // The recipient's "{non}" gives the send page back, or the wait's end.
        m_offerState = OfferState::Withdrawn;
        m_outTimer->start(m_limits.portAnswerMs);
        return;
    case OfferState::Connecting:
        m_clientTransac->abort();
        endOffer(OfferOutcome::Withdrawn, QStringLiteral("Transfert annulé"), 1000);
        return;
    case OfferState::Idle:
    case OfferState::PortProposed:
    case OfferState::Withdrawn:
        emit CancelVisible(false);
        return;
    }
}

void ControlChannel::onOui()
{
    emit Info(QStringLiteral("Transfert autorisé"), true, 1000);
    emit CancelVisible(false);
    emit RecipientEditable(true);
    proposePort(FindPort());
}

void ControlChannel::proposePort(int port)
{
    m_outPort = port;
    ++m_outProposals;
    m_offerState = OfferState::PortProposed;
    m_outTimer->start(m_limits.portAnswerMs);
    sendCMD(m_clientTransac, kCan + QString::number(port));
}

void ControlChannel::onNon()
{
    // The negotiation is over; its connection goes too, so that nothing
    // else is ever said on it.
    endOffer(OfferOutcome::Refused, QStringLiteral("Transfert non autorisé"), 1000);
}

void ControlChannel::onPok()
{
    emit Log(QStringLiteral("Port accepté : ") + QString::number(m_outPort));
    m_outTimer->stop();
    m_offerState = OfferState::Idle;
    TransferRecord upload;
    upload.IDTel = m_transfers.NewTransferId();
    upload.FichierProprio = m_outPseudo;
    upload.FichierPath = m_outPath;
    upload.FichierPoids = m_outSize;
    upload.Port = m_outPort;
    m_transfers.NewUpload(upload);
    m_clientTransac->disconnectFromHost();
    emit OfferEnded(OfferOutcome::Accepted);
}

void ControlChannel::onPre()
{
    emit Log(QStringLiteral("Port refusé"));
    // The next port, until the recipient takes one or enough were tried.
    if (m_outProposals < m_limits.portProposals && m_outPort < DataPortTable::kLastPort)
        return proposePort(m_outPort + 1);
    endOffer(OfferOutcome::Failed,
        QStringLiteral("Transfert impossible : %1 n'a accepté aucun port de données").arg(m_outPseudo), 3000);
}

// Data ports ----------------------------------------------------------------

int ControlChannel::FindPort()
{
    return m_portTable.FindPort();
}

bool ControlChannel::TestPort(const QString &portText, const QString &peerAddress, int *port)
{
    emit Log(QStringLiteral("Demande de port :") + portText);
    int granted = 0;
    const auto held = [this](int p) { return m_transfers.PortHeld(p); };
    switch (m_portTable.TestPort(portText, peerAddress, held, &granted)) {
    case DataPortTable::Request::Accepted:
        if (port)
            *port = granted;
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
    m_portTable.AddPort(port, owner);
}
