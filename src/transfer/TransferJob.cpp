#include "transfer/TransferJob.h"

#include "base/ErrorReport.h"
#include "base/TextConvert.h"
#include "transfer/DataPacket.h"
#include "transfer/SocketErrors.h"
#include "transfer/SocketFarewell.h"
#include "transfer/TempFileClaims.h"
#include "transfer/TransferListRules.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QMetaObject>
#include <QTimer>

#include <cerrno>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace {

bool fastModeByDefault = true;

// What a fast upload leaves in its socket's own buffer at most, beyond what
// the system takes: the window in flight is not all held in memory here.
constexpr qint64 kSendBufferLimit = qint64(4) << 20;
// What a fast download's socket takes in at once: a few blocks per wake-up
// of the event loop rather than one.
constexpr qint64 kFastReadBuffer = 16 * DataReceiver::FastReadBuffer;

// Straight to the system when nothing waits in the socket's own buffer:
// a write through the socket would switch its write notifier on and off
// again, which costs the event loop two wake-ups per packet, and the
// described mode sends a packet per 256 bytes. What the system does not
// take now (or an error, which the socket then finds itself) goes through
// the socket, after what went out.
void writeNow(QTcpSocket &socket, const QByteArray &bytes)
{
    qint64 done = 0;
    if (socket.bytesToWrite() == 0 && socket.state() == QAbstractSocket::ConnectedState) {
        const int fd = int(socket.socketDescriptor());
        while (done < bytes.size()) {
            const ssize_t n
                = ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0)
                done += n;
            else if (n < 0 && errno == EINTR)
                continue;
            else
                break;
        }
    }
    if (done == 0)
        socket.write(bytes); // shares the array: no copy
    else if (done < bytes.size())
        socket.write(bytes.constData() + done, bytes.size() - done);
}

// Bytes received by the system and not yet taken in by the socket, whose
// own buffer is kept to one packet.
qint64 unreadBytes(const QTcpSocket &socket)
{
    int pending = 0;
    if (::ioctl(int(socket.socketDescriptor()), FIONREAD, &pending) != 0)
        return 0;
    return pending;
}

} // namespace

// Spelt as TransferListRules::CancelledStatus, which "Nettoyer" goes by.
const QString TransferJob::CancelledStatus = QStringLiteral("annule");

QString TransferJob::partialFileName(const QString &idTel, const QString &fichierName)
{
    if (idTel.isEmpty() || fichierName.isEmpty())
        return fichierName;
    const QString prefix = idTel + u'_';
    QString name = fichierName;
    // A file name holds at most 255 bytes on the disk; the end of a long
    // name goes (a partial file needs no extension).
    while (!name.isEmpty() && QFile::encodeName(prefix + name).size() > 255)
        name.chop(name.size() > 1 && name.at(name.size() - 1).isLowSurrogate() ? 2 : 1);
    return prefix + name;
}

QString TransferJob::partialFilePath() const
{
    return DataReceiver::tempFilePath(TempPath(), m_receiver.partialName().isEmpty() ? m_fichierName : m_receiver.partialName());
}

void TransferJob::setIDTel(const QString &v)
{
    m_idTel = v;
    m_receiver.setPartialName(partialFileName(m_idTel, m_fichierName));
}

TransferRecord TransferJob::record() const
{
    TransferRecord r;
    r.IDTel = m_idTel;
    r.FichierName = m_fichierName;
    r.FichierProprio = m_fichierProprio;
    r.FichierPath = m_fichierPath;
    r.FichierPoids = m_fichierPoids;
    r.FichierTel = m_transferred;
    r.Port = m_port;
    r.Status = m_status;
    return r;
}

void TransferJob::setRecord(const TransferRecord &r)
{
    setFichierName(r.FichierName);
    setFichierProprio(r.FichierProprio);
    setFichierPoids(r.FichierPoids);
    setFichierTel(r.FichierTel);
    setFichierPath(r.FichierPath);
    setIDTel(r.IDTel);
    setPort(r.Port);
    setStatus(r.Status);
}

TransferJob::TransferJob(QObject *parent)
    : QObject(parent)
{
    m_headerTimer = new QTimer(this);
    m_headerTimer->setInterval(10);
    m_headerTimer->setSingleShot(true);
    m_packetTimer = new QTimer(this);
    m_packetTimer->setInterval(PacketTimeoutMs);
    m_packetTimer->setSingleShot(true);
    m_stallTimer = new QTimer(this);
    m_stallTimer->setSingleShot(true);
    m_stallTimer->setTimerType(Qt::CoarseTimer);
    m_keepAliveTimer = new QTimer(this);
    m_keepAliveTimer->setInterval(StallTimeoutMs / KeepAlivesPerStall);
    m_hasher = new PrefixHasher(this);

    m_serverSocket = new QTcpServer(this);
    makeClientSocket();

    connect(m_serverSocket, &QTcpServer::newConnection, this, &TransferJob::ServerSocketClientConnect);
    connect(m_headerTimer, &QTimer::timeout, this, &TransferJob::HeaderTimerTimer);
    connect(m_packetTimer, &QTimer::timeout, this, &TransferJob::PacketTimerTimer);
    connect(m_stallTimer, &QTimer::timeout, this, &TransferJob::StallTimerTimer);
    connect(m_keepAliveTimer, &QTimer::timeout, this, &TransferJob::KeepAliveTimerTimer);
    setFastMode(fastModeByDefault);
    setSecurity(TransferSecurity::byDefault());

    // The file is read and written on threads of their own; they call back
    // here through the event loop. Both are stopped, and their threads
    // gone, before the job is (destructor), so nothing is posted to a job
    // that no longer exists.
    m_sender.setReadAhead(
        [this] { QMetaObject::invokeMethod(this, [this] { pumpSender(); }, Qt::QueuedConnection); });
    m_sender.setSendRoom([this] { return kSendBufferLimit - m_clientSocket->bytesToWrite(); });
    m_receiver.setWriteBehind(
        [this] { QMetaObject::invokeMethod(this, [this] { onReceiverWritten(); }, Qt::QueuedConnection); });
    // Each connection is measured on its own.
    connect(this, &TransferJob::connectionOpened, this, [this] {
        m_rate.reset();
        m_rate.sample(now(), m_transferred);
    });
}

qint64 TransferJob::now() const
{
    if (m_clock)
        return m_clock();
    static const QElapsedTimer steady = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return steady.elapsed();
}

bool TransferJob::isMoving() const
{
    return isRunning() && m_status != u"0";
}

std::optional<double> TransferJob::rate() const
{
    if (!isMoving())
        return std::nullopt;
    return m_rate.bytesPerSecond(now());
}

std::optional<qint64> TransferJob::secondsLeft() const
{
    if (!rate())
        return std::nullopt;
    return m_rate.secondsLeft(now(), m_fichierPoidsValue);
}

TransferJob::~TransferJob()
{
    // Nothing may call back into a job being destroyed.
    m_hasher->cancel();
    m_serverSocket->disconnect(this);
    m_clientSocket->disconnect(this);
    if (m_connection) {
        m_connection->disconnect(this);
        m_connection->abort();
    }
    m_serverSocket->close();
    m_clientSocket->abort();
    m_receiver.disconnect();
    m_sender.stop();
}

void TransferJob::makeClientSocket()
{
    m_clientSocket = new QTcpSocket(this);
    // Never more than one status waiting on our side.
    m_clientSocket->setReadBufferSize(DataPacket::MaxPacketSize);
    connect(m_clientSocket, &QTcpSocket::connected, this, &TransferJob::ClientSocketConnect);
    connect(m_clientSocket, &QTcpSocket::disconnected, this, &TransferJob::ClientSocketDisconnect);
    connect(m_clientSocket, &QTcpSocket::readyRead, this, &TransferJob::ClientSocketRead);
    connect(m_clientSocket, &QTcpSocket::errorOccurred, this, &TransferJob::ClientSocketError);
    // What the socket held went out: room for more blocks.
    connect(m_clientSocket, &QTcpSocket::bytesWritten, this, &TransferJob::pumpSender);
}

void TransferJob::setFichierName(const QString &v)
{
    m_fichierName = v;
    m_receiver.setExpectedName(v);
    m_receiver.setPartialName(partialFileName(m_idTel, m_fichierName));
}

void TransferJob::setFichierPoids(const QString &v)
{
    m_fichierPoids = v;
    qint64 value = 0;
    // Said once, when the size arrives, rather than on every refresh of the
    // progress caption during the transfer. 64-bit: files of 2 GiB and more
    // move between Voxlane peers.
    if (!TextConvert::tryStrToInt64(v, value))
        ErrorReport::report(QStringLiteral("'%1' is not a valid integer value").arg(v));
    m_fichierPoidsValue = value;
}

void TransferJob::setPacketTimeout(int ms)
{
    m_packetTimer->setInterval(ms);
}

void TransferJob::setStallTimeout(int ms)
{
    m_stallMs = ms;
    m_keepAliveTimer->setInterval(qMax(1, ms / KeepAlivesPerStall));
}

void TransferJob::startHashing(const QString &path, qint64 upTo, PrefixHasher::Done done)
{
    m_hasher->start(path, upTo, std::move(done));
    m_keepAliveTimer->start();
}

// While this side reads its file back, the other side hears from it.
void TransferJob::KeepAliveTimerTimer()
{
    if (!m_hasher->isRunning()) {
        m_keepAliveTimer->stop();
        return;
    }
    if (m_clientOpen && m_sender.isHashing() && m_clientSocket->state() == QAbstractSocket::ConnectedState) {
        sendUp(m_sender.keepAlive());
    } else if (m_connection && m_receiver.hashRequest()) {
        sendReplies(m_receiver.keepAlive());
    }
}

void TransferJob::setSecurity(std::shared_ptr<TransferSecurity> security)
{
    if (security && (!security->identity || !security->keys))
        security.reset();
    m_security = std::move(security);
    m_sender.setEncryptionOffered(m_security != nullptr);
    m_receiver.setEncryptionAllowed(m_security != nullptr);
}

QString TransferJob::encryptionText() const
{
    if (m_encrypted)
        return encryptedText();
    return m_plainPeer ? plainText() : QString();
}

bool TransferJob::acceptPeerKey()
{
    if (!m_keyChanged || !m_security)
        return false;
    QString error;
    const bool done = m_presentedKey.isEmpty() ? m_security->keys->forget(m_fichierProprio, &error)
                                               : m_security->keys->accept(m_fichierProprio, m_presentedKey, &error);
    if (!done && !error.isEmpty()) {
        emit OnLog(this, QStringLiteral("Tel%1 : nouvelle clé de %2 non enregistrée (%3)")
                             .arg(m_idTel, m_fichierProprio, error));
        return false;
    }
    m_keyChanged = false;
    // The upload stopped for the key alone: it may try again.
    m_retryUseless = false;
    emit stateChanged();
    return true;
}

// The connection switches to TLS now: the receiver answered the header
// FastAcceptedEncrypted, and the next bytes either way are the handshake.
bool TransferJob::startTunnel(DataTunnel::Role role, QTcpSocket &socket)
{
    m_tunnel = std::make_unique<DataTunnel>();
    if (!m_security || !m_tunnel->start(role, *m_security->identity)) {
        emit OnLog(this, QStringLiteral("Tel%1 : connexion chiffrée impossible (%2)")
                             .arg(m_idTel, m_tunnel->errorText()));
        endConnection();
        return false;
    }
    // TLS records are larger than any status: the sender's socket, which
    // holds one status at a time in the plain modes, takes a few.
    if (socket.readBufferSize() < kFastReadBuffer)
        socket.setReadBufferSize(kFastReadBuffer);
    const QByteArray hello = m_tunnel->takeOutgoing();
    if (!hello.isEmpty())
        writeNow(socket, hello);
    return true;
}

// What the socket holds goes through the tunnel; at most enough for its
// plain bytes to reach limit, so that a receiver whose writes are behind
// leaves the rest on the connection (and the sender waits). False when the
// connection was ended: a stream that is not ours, or another key.
bool TransferJob::pullTunnel(QTcpSocket &socket, qint64 limit)
{
    const bool wasOpen = m_tunnel->isOpen();
    const qint64 room = limit - m_tunnel->input().bytesAvailable();
    const bool ok = room <= 0 || m_tunnel->feed(socket.read(room));
    const QByteArray out = m_tunnel->takeOutgoing();
    if (!out.isEmpty())
        writeNow(socket, out);
    if (!ok) {
        // Nothing of what came after the damage is taken: the connection
        // ends, and the transfer resumes from what was verified.
        emit OnLog(this, QStringLiteral("Tel%1 : connexion chiffrée rompue (%2)")
                             .arg(m_idTel, m_tunnel->errorText()));
        endConnection();
        return false;
    }
    if (!wasOpen && m_tunnel->isOpen())
        return onTunnelOpened();
    return true;
}

// The handshake is over: the key the other side presented is judged
// before a single block moves.
bool TransferJob::onTunnelOpened()
{
    m_encrypted = true;
    m_plainPeer = false;
    m_presentedKey = m_tunnel->peerKey();
    m_comparisonCode = m_tunnel->comparisonCode();
    // The info bar tells it once, not at every attempt of the sender.
    const bool toldAlready = m_keyChanged;
    m_keyChanged = !m_fichierProprio.isEmpty()
        && m_security->keys->check(m_fichierProprio, m_presentedKey) == PeerKeys::Verdict::Changed;
    emit stateChanged();
    if (m_keyChanged) {
        stopForPeerKey(toldAlready);
        return false;
    }
    if (m_download)
        sendReplies(m_receiver.tunnelOpened());
    return true;
}

// The connection runs in clear, with a member whose transfers ran in TLS:
// someone on the path may have taken the offer out of the header. Ended
// before any block, until the user says the member's client changed.
bool TransferJob::refusesPlain()
{
    if (!m_security || m_fichierProprio.isEmpty() || m_security->keys->pinned(m_fichierProprio).isEmpty())
        return false;
    const bool toldAlready = m_keyChanged;
    m_keyChanged = true;
    m_presentedKey.clear();
    m_comparisonCode.clear();
    emit stateChanged();
    stopForPeerKey(toldAlready);
    return true;
}

// Either stop for the other member's key (none presented: the connection
// runs in clear): logged, told to the info bar once per stop, and the
// connection ended before any block. An upload does not try again by
// itself: it would meet the same key.
void TransferJob::stopForPeerKey(bool toldAlready)
{
    const bool keyChanged = !m_presentedKey.isEmpty();
    emit OnLog(this,
        (keyChanged ? QStringLiteral("Tel%1 : la clé de %2 a changé, transfert arrêté")
                    : QStringLiteral("Tel%1 : connexion avec %2 non chiffrée, transfert arrêté"))
            .arg(m_idTel, m_fichierProprio));
    if (!toldAlready)
        emit peerKeyRefused(keyStopInfoText(m_fichierProprio, keyChanged));
    if (!m_download)
        m_retryUseless = true;
    endConnection();
}

QString TransferJob::keyStopText() const
{
    return m_presentedKey.isEmpty() ? plainRefusedText() : keyChangedText();
}

// A transfer with this member succeeded: its key is the one to expect.
void TransferJob::rememberPeerKey()
{
    if (!m_encrypted || !m_security || m_presentedKey.isEmpty() || m_fichierProprio.isEmpty())
        return;
    QString error;
    if (m_security->keys->rememberFirst(m_fichierProprio, m_presentedKey, &error) || error.isEmpty())
        return;
    emit OnLog(this, QStringLiteral("Tel%1 : clé de %2 non enregistrée (%3)").arg(m_idTel, m_fichierProprio, error));
}

void TransferJob::endConnection()
{
    if (m_download)
        endDownloadConnection();
    else
        setClientActive(false);
}

void TransferJob::sendUp(const QByteArray &bytes)
{
    writeNow(*m_clientSocket, m_tunnel ? m_tunnel->sealed(bytes) : bytes);
}

QIODevice &TransferJob::downloadInput()
{
    if (m_tunnel)
        return m_tunnel->input();
    return *m_connection;
}

// Bytes wait to be taken: plain ones, or encrypted ones on the socket.
bool TransferJob::downloadInputWaiting()
{
    return m_connection
        && (m_connection->bytesAvailable() > 0 || (m_tunnel && m_tunnel->input().bytesAvailable() > 0));
}

void TransferJob::setFastModeByDefault(bool enabled)
{
    fastModeByDefault = enabled;
}

void TransferJob::setFastMode(bool enabled)
{
    m_sender.setFastOffered(enabled);
    m_receiver.setFastAllowed(enabled);
}

// A sign of life: the stall limit counts from now. Only the time is taken
// here (every packet comes through); the timer, once running, checks it
// when it fires.
void TransferJob::touchStall()
{
    m_lastActivity.start();
    if (!m_stallTimer->isActive())
        m_stallTimer->start(m_stallMs);
}

// The stall limit counts from now, whatever came before.
void TransferJob::restartStall()
{
    m_lastActivity.start();
    m_stallTimer->start(m_stallMs);
}

// Nothing came back in time: the connection is ended as if the peer had
// gone, and the transfer waits for its resumption.
void TransferJob::StallTimerTimer()
{
    const qint64 quiet = m_lastActivity.isValid() ? m_lastActivity.elapsed() : m_stallMs;
    if (quiet < m_stallMs) {
        m_stallTimer->start(int(m_stallMs - quiet));
        return;
    }
    if (m_connection) {
        endDownloadConnection();
        return;
    }
    if (m_clientOpen)
        setClientActive(false);
}

// FichierTel is exact at once; the view decides how often it shows it.
void TransferJob::setTransferProgress(qint64 position)
{
    m_transferred = position;
    m_rate.sample(now(), position);
    emit progressChanged(position);
}

void TransferJob::reportSocketError(QAbstractSocket::SocketError error)
{
    emit socketError(SocketErrors::SocketErrorText(SocketErrors::winsockCode(error)));
}

// ---- download side --------------------------------------------------------

void TransferJob::setServerActive(bool active)
{
    m_download = true;
    if (!active) {
        m_serverSocket->close();
        endDownloadConnection();
        return;
    }
    // A cancelled transfer takes nothing from anyone any more.
    if (m_serverSocket->isListening() || isCancelled())
        return;
    const QHostAddress address
        = m_bindAddress.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(m_bindAddress);
    // A finished download takes nothing more from anyone; it only answers
    // a sender that never got its verdict, from the finished file. Nobody
    // waits on that: a port taken now is not worth an error box.
    if (m_status == u"0" || m_downloadNotified) {
        if (m_receiver.isFastAllowed() && QFileInfo(finishedFile()).isFile())
            m_serverSocket->listen(address, quint16(m_port));
        return;
    }
    if (!m_serverSocket->listen(address, quint16(m_port)))
        throw VoxlaneError(
            SocketErrors::SocketErrorText(SocketErrors::winsockCode(m_serverSocket->serverError())));
}

bool TransferJob::acceptsPeer(const QTcpSocket &socket) const
{
    const auto is = [&socket](const QString &text) {
        const QHostAddress address(text);
        return !address.isNull()
            && address.isEqual(socket.peerAddress(), QHostAddress::ConvertV4MappedToIPv4);
    };
    return is(m_peerAddress) || (ResolvePeer && is(ResolvePeer(m_fichierProprio)));
}

QString TransferJob::finishedFile() const
{
    return m_finishedFile.isEmpty() ? m_fichierPath : m_finishedFile;
}

// The connection just taken is answered from the finished file.
bool TransferJob::serveFinished()
{
    qint64 size = 0;
    return TextConvert::tryStrToInt64(m_fichierPoids, size) && m_receiver.serveFinished(finishedFile(), size);
}

void TransferJob::ServerSocketClientConnect()
{
    while (QTcpSocket *socket = m_serverSocket->nextPendingConnection()) {
        // Only the host the control channel agreed with may send this file,
        // and a connection that is transferring is never taken over: the
        // newcomer is closed unanswered. A connection that has not had its
        // header accepted yet gives way to a new one (the sender coming back
        // after a failure we have not noticed yet), and so does one whose
        // transfer is over: a sender coming back has lost it.
        const bool finished = m_status == u"0" || m_downloadNotified;
        if (!acceptsPeer(*socket) || (!finished && m_connection && m_receiver.isFileOpen())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        endDownloadConnection();
        if (finished && !serveFinished()) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_connection = socket;
        restartStall();
        socket->setReadBufferSize(DataPacket::MaxPacketSize + 1);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, &TransferJob::ServerSocketClientRead);
        connect(socket, &QTcpSocket::disconnected, this, &TransferJob::ServerSocketPeerClosed);
        connect(socket, &QTcpSocket::errorOccurred, this, &TransferJob::ServerSocketClientError);
        // A finished panel shows its "Terminé" whatever comes.
        if (!finished)
            emit connectionOpened();
        if (socket->bytesAvailable() > 0)
            ServerSocketClientRead();
    }
}

void TransferJob::ServerSocketClientRead()
{
    // While the file is read back, what comes waits on the connection.
    if (!m_connection || m_hasher->isRunning())
        return;
    touchStall();
    QTcpSocket *connection = m_connection;
    QByteArray replies;
    if (m_tunnel) {
        // Taken a bounded amount at a time: what the tunnel decrypted and
        // the receiver did not take yet stays within one socket buffer.
        for (;;) {
            if (!pullTunnel(*connection, kFastReadBuffer))
                return;
            if (!m_tunnel->isOpen())
                return; // the handshake goes on
            replies += m_receiver.receive(m_tunnel->input());
            if (connection->bytesAvailable() == 0 || m_receiver.isWriteQueueFull() || m_receiver.hashRequest()
                || m_receiver.peerCancelled() || m_receiver.shouldGiveUp()
                || m_tunnel->input().bytesAvailable() >= kFastReadBuffer)
                break;
        }
    } else {
        replies = m_receiver.receive(*connection, [connection] { return unreadBytes(*connection); });
    }
    // A fast connection's packets are larger than a described one's: the
    // socket must be able to hold one whole, and holds several, so that
    // the next ones come in while these are handled.
    if (m_receiver.isFast() && m_connection->readBufferSize() < kFastReadBuffer)
        m_connection->setReadBufferSize(kFastReadBuffer);
    if (!deliverReceiverReplies(replies))
        return;
    // The FastAcceptedEncrypted just went out in clear: the sender's
    // handshake comes next.
    if (m_receiver.awaitsTunnel() && !m_tunnel) {
        if (!startTunnel(DataTunnel::Role::Server, *m_connection))
            return;
        if (m_connection->bytesAvailable() > 0)
            QMetaObject::invokeMethod(this, [this] { ServerSocketClientRead(); }, Qt::QueuedConnection);
        return;
    }
    if (startReceiverHash())
        return;
    // Bytes left over are the start of a packet: they have PacketTimeoutMs
    // to become whole, counted from the last packet answered. A fast block
    // may take longer than that on a slow link; the stall limit covers it.
    if (!downloadInputWaiting() || m_receiver.isFast())
        m_packetTimer->stop();
    else if (!m_packetTimer->isActive() || m_receiver.packetsAnswered() != m_packetsSeen)
        m_packetTimer->start();
    m_packetsSeen = m_receiver.packetsAnswered();
    finishDrain();
}

// The end packet waits for the file to be read back: on a worker.
bool TransferJob::startReceiverHash()
{
    const auto request = m_receiver.hashRequest();
    if (!request)
        return false;
    // The sender waits for the verdict and has keep-alives meanwhile;
    // this side is the one that is slow, so nothing counts as a stall.
    m_stallTimer->stop();
    m_packetTimer->stop();
    startHashing(
        request->path, request->upTo, [this](PrefixHasher::Hash hash) { onReceiverHashed(std::move(hash)); });
    return true;
}

// The writing thread wrote more: its acks go out, an end packet that
// waited for the writes gets its answer, and blocks left on the connection
// while the writes were behind are taken now.
void TransferJob::onReceiverWritten()
{
    if (!m_connection || m_hasher->isRunning())
        return;
    touchStall();
    if (!deliverReceiverReplies(m_receiver.onWritten()))
        return;
    if (startReceiverHash())
        return;
    if (downloadInputWaiting() && !m_receiver.isWriteQueueFull())
        ServerSocketClientRead();
    else
        finishDrain();
}

// The job follows first, as completion comes before its reply: a
// connection that breaks while the reply is written then finds the
// transfer complete and moves the file. False when the connection is over.
bool TransferJob::deliverReceiverReplies(const QByteArray &replies)
{
    followReceiver();
    sendReplies(replies);
    if (!m_connection)
        return false;
    if (m_receiver.peerCancelled()) {
        onPeerCancelled();
        return false;
    }
    if (m_receiver.noSpace()) {
        // Nothing more can be written until space is freed: the sender
        // comes back later and the transfer goes on from what is held.
        m_noSpace = true;
        m_connection->flush();
        endDownloadConnection();
        return false;
    }
    if (m_receiver.shouldGiveUp()) {
        giveUpDownloadConnection();
        return false;
    }
    return true;
}

void TransferJob::onReceiverHashed(PrefixHasher::Hash hash)
{
    m_keepAliveTimer->stop();
    if (!m_connection)
        return;
    if (!deliverReceiverReplies(m_receiver.onHashed(std::move(hash))))
        return;
    restartStall();
    if (downloadInputWaiting())
        ServerSocketClientRead();
    else
        finishDrain();
}

void TransferJob::PacketTimerTimer()
{
    if (!m_connection)
        return;
    const QByteArray reply = m_receiver.expire(downloadInput());
    m_packetsSeen = m_receiver.packetsAnswered();
    followReceiver();
    sendReplies(reply);
    if (m_connection && m_receiver.shouldGiveUp())
        giveUpDownloadConnection();
}

// A peer whose packets keep being refused gets nowhere: resending a block
// the file cannot take would go on for ever.
void TransferJob::giveUpDownloadConnection()
{
    m_connection->flush();
    endDownloadConnection();
    if (m_status != u"0")
        emit stopped(QStringLiteral("Déconnecté"));
}

void TransferJob::sendReplies(const QByteArray &replies)
{
    if (replies.isEmpty() || !m_connection || m_peerClosed)
        return;
    writeNow(*m_connection, m_tunnel ? m_tunnel->sealed(replies) : replies);
}

// Brings the job in line with the receiver after packets were handled.
void TransferJob::followReceiver()
{
    if (m_receiver.headersAccepted() != m_headersSeen && m_receiver.isFileOpen()) {
        m_headersSeen = m_receiver.headersAccepted();
        m_noSpace = false;
        if (!m_receiver.isEncrypted()) {
            m_plainPeer = true;
            m_encrypted = false;
            m_comparisonCode.clear();
            emit stateChanged();
            // The header's answer has not gone out yet: the sender gets none.
            // A side with fast mode turned off (tests of whole clients)
            // serves every header in clear, as before.
            if (m_receiver.isFastAllowed() && refusesPlain())
                return;
        }
        setTransferProgress(m_receiver.held());
        emit maximumChanged(m_receiver.fileSize());
    } else if (m_receiver.isFileOpen() && m_receiver.held() != m_transferred) {
        setTransferProgress(m_receiver.held());
    }
    if (m_receiver.isComplete() && !m_downloadNotified) {
        m_downloadNotified = true;
        rememberPeerKey();
        // The sender's connection stays until it closes it, and any header
        // on it is refused; in fast mode the port stays open for the sender
        // to come back should the verdict not reach it.
        if (!m_receiver.isFastAllowed())
            m_serverSocket->close();
        placeDownload();
    }
    if (m_receiver.verificationFailed() && !m_verifyFailed) {
        m_verifyFailed = true;
        emit stopped(verificationFailedText());
    }
}

void TransferJob::endDownloadConnection()
{
    if (!m_connection)
        return;
    QTcpSocket *socket = m_connection;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    ServerSocketClientDisconnect();
}

// The sender closed. What it sent last may still wait in the tunnel behind
// blocks that wait for the disk (a sender's cancel comes last, then it
// closes): the tunnel takes from the socket what the receiver can take, so
// the end of the stream can show before the receiver has read it all.
void TransferJob::ServerSocketPeerClosed()
{
    if (m_tunnel && m_tunnel->isOpen() && m_connection && downloadInputWaiting() && !m_hasher->isRunning()) {
        m_peerClosed = true;
        ServerSocketClientRead();
        return;
    }
    ServerSocketClientDisconnect();
}

// After the sender closed: once nothing waits for the writes any more,
// whatever is left can never become a packet.
void TransferJob::finishDrain()
{
    // The writing thread may have made room since receive() stopped: the
    // receiver's own word says whether a block is still to be taken.
    if (m_peerClosed && m_connection && !m_receiver.stoppedForWrites())
        ServerSocketClientDisconnect();
}

void TransferJob::ServerSocketClientDisconnect()
{
    m_peerClosed = false;
    if (m_connection) {
        m_connection->disconnect(this);
        m_connection->deleteLater();
        m_connection = nullptr;
    }
    m_tunnel.reset();
    m_hasher->cancel();
    m_keepAliveTimer->stop();
    m_packetTimer->stop();
    m_stallTimer->stop();
    if (m_receiver.isServing()) {
        // Answering for the finished file changed nothing to show.
        m_receiver.disconnect();
        return;
    }
    if (!m_receiver.disconnect()) {
        // No file was opened: nothing to say, but the progress shown when
        // the connection came in must not stay up.
        emit stopped(QString());
        return;
    }
    // The writes under way when the connection ended are in the file.
    if (m_receiver.held() != m_transferred && m_status != u"0" && !m_downloadNotified)
        setTransferProgress(m_receiver.held());
    emit stopped(downloadStopCaption());
}

// What the status text says once a download's connection is over; empty:
// what it says already stays (the completion, the verdict, a failed move).
QString TransferJob::downloadStopCaption() const
{
    if (isCancelled())
        return cancelledText(m_fichierProprio);
    if (m_status == u"0" || m_downloadNotified || m_verifyFailed)
        return QString();
    if (m_noSpace)
        return noSpaceText();
    if (m_keyChanged)
        return keyStopText();
    return QStringLiteral("Déconnecté");
}

QString TransferJob::uploadStopCaption() const
{
    if (isCancelled())
        return cancelledText(m_fichierProprio);
    if (m_verifyFailed)
        return verificationFailedText();
    if (m_keyChanged)
        return keyStopText();
    return QStringLiteral("Déconnecté");
}

// The completed download goes to its destination before anyone is told it
// completed: "Terminé" always means the file is where the user asked.
void TransferJob::placeDownload()
{
    const QString received = m_finishedFile.isEmpty() ? m_receiver.filePath() : m_finishedFile;
    QString error;
    if (DataReceiver::moveFinished(received, TempPath(), m_fichierPath, m_replaceConfirmed, &error)) {
        // A sender coming back is answered from wherever the file is.
        m_finishedFile = m_fichierPath;
        m_placeFailed = false;
        m_status = QStringLiteral("0");
        // A download shows "Terminé" when its sender leaves; after the
        // user's "Reprendre" there is no sender any more.
        emit completed(!m_connection);
        emit OnTelTermine(this);
    } else {
        m_finishedFile = received;
        m_placeFailed = true;
        emit OnLog(this,
            QStringLiteral("Tel%1 : le fichier reçu reste dans %2 (%3)")
                .arg(m_idTel, QDir::toNativeSeparators(received), error));
        emit stopped(placeFailedText(error));
    }
    emit stateChanged();
}

// The sender's user cancelled: the partial file goes, and so does any
// chance of resuming.
void TransferJob::onPeerCancelled()
{
    m_status = CancelledStatus;
    m_serverSocket->close();
    endDownloadConnection();
    if (!m_downloadNotified)
        removePartialFile();
    emit cancelledByPeer();
    emit stateChanged();
}

void TransferJob::removePartialFile()
{
    const QString path = partialFilePath();
    // Another download of a transfer without id may be writing it.
    if (!path.isEmpty() && !TempFileClaims::isClaimed(path))
        QFile::remove(path);
}

void TransferJob::ServerSocketClientError(QAbstractSocket::SocketError error)
{
    // The peer closing, in order or not, is a disconnection, handled there.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    reportSocketError(error);
    setClientActive(false);
}

// ---- upload side ----------------------------------------------------------

void TransferJob::setClientActive(bool active)
{
    if (active) {
        if (m_clientOpen || m_status == u"0" || isCancelled())
            return;
        m_clientOpen = true;
        m_verifyFailed = false;
        // The download takes data only from the address the negotiation
        // named, which is the one this client listens on: leave from there.
        if (!m_bindAddress.isEmpty())
            m_clientSocket->bind(QHostAddress(m_bindAddress), 0);
        m_clientSocket->connectToHost(m_clientAddress, quint16(m_port));
        return;
    }
    if (!m_clientOpen)
        return;
    m_clientSocket->abort();
    // A connection still being made ends without a disconnection event.
    if (m_clientOpen)
        ClientSocketDisconnect();
}

void TransferJob::ClientSocketConnect()
{
    m_headerJudged = false;
    m_clientSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    emit connectionOpened();
    QString error;
    m_sender.start(m_fichierPath, m_transferred, &error);
    if (!m_sender.isFileOpen()) {
        // A local failure, not the peer's: it goes to the general error
        // report, and the connection ends instead of hanging without a header.
        // Trying again by itself would only say it again.
        m_retryUseless = true;
        ErrorReport::report(error);
        setClientActive(false);
        return;
    }
    setTransferProgress(m_sender.sent());
    emit maximumChanged(m_sender.fileSize());
    m_headerTimer->start();
}

void TransferJob::HeaderTimerTimer()
{
    m_headerTimer->stop();
    if (m_clientSocket->state() != QAbstractSocket::ConnectedState || !m_sender.isFileOpen())
        return;
    writeNow(*m_clientSocket, m_sender.takeHeader());
    restartStall();
}

void TransferJob::ClientSocketRead()
{
    // Every reply counts as a sign of life, whether or not it moves the
    // transfer on.
    if (m_clientSocket->bytesAvailable() > 0)
        touchStall();
    if (m_tunnel) {
        if (!pullTunnel(*m_clientSocket, kFastReadBuffer) || !m_tunnel->isOpen())
            return;
        while (m_tunnel && applySenderStep(m_sender.receive(m_tunnel->input()))) { }
        return;
    }
    while (applySenderStep(m_sender.receive(*m_clientSocket))) {
        // The receiver took the encrypted mode: what follows is TLS.
        if (m_tunnel)
            return;
    }
}

// More blocks while the window and the socket have room: the reading
// thread has some ready, or the socket sent what it held.
void TransferJob::pumpSender()
{
    if (!m_clientOpen || !m_sender.isFast())
        return;
    while (applySenderStep(m_sender.pump())) { }
}

// Carries out what the sender asked for; true when it may ask for more.
bool TransferJob::applySenderStep(const DataSender::Step &step)
{
    // Answered in clear by a member whose transfers ran in TLS: nothing
    // goes, not even the first block that comes with the answer.
    if (!m_headerJudged && m_sender.headerAnswered() && !m_sender.isEncrypted()
        && step.action != DataSender::Action::Close) {
        m_headerJudged = true;
        m_plainPeer = true;
        m_encrypted = false;
        m_comparisonCode.clear();
        emit stateChanged();
        // Only when the header carried the offer: a side with fast mode
        // turned off (tests of whole clients) offers nothing to take out.
        if (m_sender.isFastOffered() && m_sender.isEncryptionOffered() && refusesPlain())
            return false;
    }
    switch (step.action) {
    case DataSender::Action::None:
        // A fast ack may move the count without sending anything.
        if (m_sender.sent() != m_transferred)
            setTransferProgress(m_sender.sent());
        return false;
    case DataSender::Action::Hash:
        if (m_sender.sent() != m_transferred)
            setTransferProgress(m_sender.sent());
        startHashing(m_fichierPath, step.hashUpTo,
            [this](PrefixHasher::Hash hash) { onSenderHashed(std::move(hash)); });
        // Acks of the keep-alives are still taken meanwhile.
        return true;
    case DataSender::Action::Send:
        // Counted as it goes out, as the receiver will count it.
        if (m_sender.sent() != m_transferred)
            setTransferProgress(m_sender.sent());
        sendUp(step.bytes);
        return true;
    case DataSender::Action::Secure:
        startTunnel(DataTunnel::Role::Client, *m_clientSocket);
        return false;
    case DataSender::Action::Complete:
        setTransferProgress(m_sender.sent());
        completeUpload();
        return false;
    case DataSender::Action::Close:
        switch (m_sender.failure()) {
        case DataSender::Failure::HashMismatch:
            m_verifyFailed = true;
            break;
        case DataSender::Failure::CancelledByPeer:
            m_status = CancelledStatus;
            setClientActive(false);
            emit cancelledByPeer();
            emit stateChanged();
            return false;
        case DataSender::Failure::FileUnreadable:
            m_retryUseless = true;
            break;
        case DataSender::Failure::SteppedBackRefused:
            m_retryUseless = true;
            emit OnLog(this,
                QStringLiteral(
                    "Tel%1 : le destinataire ne détient plus les %2 octets confirmés, envoi arrêté")
                    .arg(m_idTel)
                    .arg(m_sender.acknowledged()));
            break;
        case DataSender::Failure::TooLargeForPeer:
            m_retryUseless = true;
            emit OnLog(this,
                QStringLiteral("Tel%1 : le destinataire ne peut pas recevoir un fichier de 2 Go ou "
                               "plus, envoi arrêté")
                    .arg(m_idTel));
            break;
        default:
            break;
        }
        setClientActive(false);
        return false;
    }
    return false;
}

void TransferJob::onSenderHashed(PrefixHasher::Hash hash)
{
    m_keepAliveTimer->stop();
    if (!m_clientOpen)
        return;
    if (applySenderStep(m_sender.onPrefixHashed(std::move(hash))))
        ClientSocketRead();
}

void TransferJob::completeUpload()
{
    // Completed before the connection closes, so that its disconnection is
    // not taken for a failure.
    m_status = QStringLiteral("0");
    rememberPeerKey();
    m_clientSocket->disconnectFromHost();
    if (m_clientOpen && m_clientSocket->state() == QAbstractSocket::UnconnectedState)
        ClientSocketDisconnect();
    emit completed(true);
    emit OnTelTermine(this);
}

void TransferJob::ClientSocketDisconnect()
{
    m_clientOpen = false;
    m_tunnel.reset();
    // Back to one status at a time for the next connection.
    m_clientSocket->setReadBufferSize(DataPacket::MaxPacketSize);
    m_hasher->cancel();
    m_keepAliveTimer->stop();
    m_headerTimer->stop();
    m_stallTimer->stop();
    m_sender.stop();
    if (m_status != u"0")
        emit stopped(uploadStopCaption());
}

void TransferJob::ClientSocketError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    reportSocketError(error);
    setClientActive(false);
}

// ---- what the user and the owner ask -----------------------------------------

void TransferJob::pauseByUser()
{
    m_userPaused = true;
    if (m_download)
        setServerActive(false);
    else
        setClientActive(false);
    emit stateChanged();
}

void TransferJob::resumeByUser()
{
    if (m_download) {
        // A port taken meanwhile throws here: the download stays paused.
        if (m_placeFailed)
            placeDownload();
        else
            setServerActive(true);
        m_userPaused = false;
    } else {
        m_userPaused = false;
        // The user asks again: whatever stopped the last attempt is worth
        // another try.
        m_retryUseless = false;
        if (ResolvePeer) {
            const QString address = ResolvePeer(m_fichierProprio);
            if (!address.isEmpty())
                m_clientAddress = address;
        }
        setClientActive(true);
    }
    emit stateChanged();
}

void TransferJob::cancelByUser()
{
    if (isCancelled())
        return;
    if (m_download) {
        m_status = CancelledStatus;
        // A fast connection tells the sender; what it still sends is read
        // and dropped until it closes. A described one just ends.
        if (m_connection && m_receiver.isFast()) {
            QTcpSocket *socket = m_connection;
            socket->disconnect(this);
            m_connection = nullptr;
            SocketFarewell::send(
                socket, m_tunnel ? m_tunnel->sealed(m_receiver.cancelReply()) : m_receiver.cancelReply());
            m_tunnel.reset();
        }
        endDownloadConnection();
        m_serverSocket->close();
        m_hasher->cancel();
        m_keepAliveTimer->stop();
        m_packetTimer->stop();
        m_stallTimer->stop();
        m_receiver.disconnect();
        if (!m_downloadNotified)
            removePartialFile();
        emit stateChanged();
        return;
    }
    if (m_clientOpen && m_sender.isFast() && m_clientSocket->state() == QAbstractSocket::ConnectedState) {
        // The cancel follows the blocks already on their way; the socket
        // leaves the job, which makes a fresh one for its own end.
        QTcpSocket *socket = m_clientSocket;
        const QByteArray farewell
            = m_tunnel ? m_tunnel->sealed(DataPacket::fastCancel()) : DataPacket::fastCancel();
        m_tunnel.reset();
        socket->disconnect(this);
        socket->setParent(nullptr);
        makeClientSocket();
        m_clientOpen = false;
        m_hasher->cancel();
        m_keepAliveTimer->stop();
        m_headerTimer->stop();
        m_stallTimer->stop();
        m_sender.stop();
        SocketFarewell::send(socket, farewell);
    }
    m_status = CancelledStatus;
    setClientActive(false);
    emit stateChanged();
}

void TransferJob::suspend()
{
    if (m_suspended)
        return;
    m_suspended = true;
    m_resumeListening = m_serverSocket->isListening();
    m_resumeConnecting = m_clientOpen;
    if (m_resumeListening)
        setServerActive(false);
    if (m_resumeConnecting)
        setClientActive(false);
    emit stateChanged();
}

void TransferJob::resumeSuspended()
{
    if (!m_suspended)
        return;
    m_suspended = false;
    if (m_resumeListening)
        ErrorReport::guard([this] { setServerActive(true); });
    if (m_resumeConnecting)
        setClientActive(true);
    emit stateChanged();
}

bool TransferJob::isRunning() const
{
    return m_download ? m_connection != nullptr : m_clientOpen;
}

bool TransferJob::wantsRetry() const
{
    return !m_download && !m_clientOpen && m_status != u"0" && !isCancelled() && !m_userPaused && !m_suspended
        && !m_verifyFailed && !m_retryUseless;
}

void TransferJob::retry(const QString &address)
{
    if (!wantsRetry())
        return;
    m_clientAddress = address;
    setClientActive(true);
}

bool TransferJob::waitsForPeer() const
{
    if (m_fichierProprio.isEmpty() || m_status == u"0" || isCancelled() || m_userPaused || m_suspended
        || m_verifyFailed || m_placeFailed
        || m_retryUseless || isRunning())
        return false;
    return m_download ? m_serverSocket->isListening() : true;
}
