#include "transfer/ui/TvzkLoadPanel.h"

#include "transfer/ui/LoadPanelChildren.h"

#include "base/ErrorReport.h"
#include "base/TextConvert.h"
#include "transfer/DataPacket.h"
#include "transfer/SizeText.h"
#include "transfer/SocketErrors.h"

#include <QContextMenuEvent>
#include <QHostAddress>
#include <QMouseEvent>

#include <sys/ioctl.h>

namespace {

// Progress shown on screen at most this often; the properties stay exact.
constexpr int kProgressRefreshMs = 50;

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

TvzkLoadPanel::TvzkLoadPanel(QWidget *parent)
    : QFrame(parent)
{
    resize(LoadPanelChildren::DesignWidth, LoadPanelChildren::DesignHeight);
    m_children = std::make_unique<LoadPanelChildren>(this);
    m_pictureFond = m_children->pictureFond;
    m_pictureIco = m_children->pictureIco;
    m_pictureLoad = m_children->pictureLoad;
    m_progressBar = m_children->progressBar;
    m_labelInfo = m_children->labelInfo;

    m_captionLabelLoad = QStringLiteral("Patientez");
    m_captionLabelIcone = QStringLiteral("Loading");
    m_captionButton = QStringLiteral("&Annuler");

    m_headerTimer = new QTimer(this);
    m_headerTimer->setInterval(10);
    m_headerTimer->setSingleShot(true);
    m_packetTimer = new QTimer(this);
    m_packetTimer->setInterval(PacketTimeoutMs);
    m_packetTimer->setSingleShot(true);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(kProgressRefreshMs);
    m_progressTimer->setSingleShot(true);

    m_serverSocket = new QTcpServer(this);
    m_clientSocket = new QTcpSocket(this);
    // Never more than one status waiting on our side.
    m_clientSocket->setReadBufferSize(DataPacket::MaxPacketSize);

    connect(m_serverSocket, &QTcpServer::newConnection, this, &TvzkLoadPanel::ServerSocketClientConnect);
    connect(m_clientSocket, &QTcpSocket::connected, this, &TvzkLoadPanel::ClientSocketConnect);
    connect(m_clientSocket, &QTcpSocket::disconnected, this, &TvzkLoadPanel::ClientSocketDisconnect);
    connect(m_clientSocket, &QTcpSocket::readyRead, this, &TvzkLoadPanel::ClientSocketRead);
    connect(m_clientSocket, &QTcpSocket::errorOccurred, this, &TvzkLoadPanel::ClientSocketError);
    connect(m_headerTimer, &QTimer::timeout, this, &TvzkLoadPanel::HeaderTimerTimer);
    connect(m_packetTimer, &QTimer::timeout, this, &TvzkLoadPanel::PacketTimerTimer);
    connect(m_progressTimer, &QTimer::timeout, this, &TvzkLoadPanel::flushProgress);
}

TvzkLoadPanel::~TvzkLoadPanel()
{
    // Nothing may call back into a panel being destroyed.
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

QString TvzkLoadPanel::About() const
{
    return QStringLiteral("TvzkLoadPanel 1.0 - composant de transfert Voxlane, par l'équipe Voxlane");
}

// ---- captions and progress ------------------------------------------------

void TvzkLoadPanel::setCaptionLabelInfo(const QString &v)
{
    m_labelInfo->setText(v);
    m_labelInfo->adjustSize();
    m_captionLabelInfo = v;
}

void TvzkLoadPanel::setCaptionLabelLoad(const QString &v)
{
    m_children->fileLabel->setText(v);
    m_children->fileLabel->adjustSize();
    m_captionLabelLoad = v;
}

void TvzkLoadPanel::setCaptionLabelIcone(const QString &v)
{
    m_children->ownerLabel->setText(v);
    m_children->placeOwnerLabel(width());
    m_captionLabelIcone = v;
}

void TvzkLoadPanel::setCaptionLabelProgress(const QString &v)
{
    m_children->progressLabel->setText(v);
    m_children->progressLabel->adjustSize();
    m_captionLabelProgress = v;
}

void TvzkLoadPanel::setCaptionButton(const QString &v)
{
    m_children->cancelButton->setText(v);
    m_captionButton = v;
}

void TvzkLoadPanel::setProgressPosition(quint32 v)
{
    m_progressTimer->stop();
    m_progressPosition = v;
    m_progressBar->setValue(int(qMin<quint32>(v, quint32(m_progressBar->maximum()))));
    refreshProgressCaption();
}

void TvzkLoadPanel::setProgressMin(quint32 v)
{
    m_progressMin = v;
    m_progressBar->setMinimum(int(v));
}

void TvzkLoadPanel::setProgressMax(quint32 v)
{
    m_progressMax = v;
    m_progressBar->setMaximum(int(v));
    refreshProgressCaption();
}

void TvzkLoadPanel::setProgressStep(quint32 v)
{
    // A progress bar of this toolkit has no step of its own; the value is kept.
    m_progressStep = v;
    refreshProgressCaption();
}

void TvzkLoadPanel::refreshProgressCaption()
{
    // A size that is not a number fails here, for the general error report.
    setCaptionLabelProgress(SizeText::FormatSize(qint32(m_progressPosition)) + QStringLiteral(" sur ")
        + SizeText::FormatSize(TextConvert::strToInt(m_fichierPoids)));
}

// The transfer's own progress: FichierTel is exact at once, the screen
// follows at most every kProgressRefreshMs.
void TvzkLoadPanel::setTransferProgress(qint64 position)
{
    m_progressPosition = quint32(position);
    m_fichierTel = QString::number(position);
    if (!m_progressTimer->isActive())
        m_progressTimer->start();
}

void TvzkLoadPanel::flushProgress()
{
    m_progressTimer->stop();
    m_progressBar->setValue(int(qMin<qint64>(m_progressPosition, m_progressBar->maximum())));
    ErrorReport::guard([this] { refreshProgressCaption(); });
}

void TvzkLoadPanel::showFinished()
{
    flushProgress();
    m_progressBar->hide();
    m_labelInfo->show();
    setCaptionLabelInfo(QStringLiteral("Terminé"));
    LoadPanelChildren::setTextColour(m_labelInfo, LoadPanelChildren::DoneColour);
}

void TvzkLoadPanel::showStopped(const QString &caption)
{
    flushProgress();
    m_progressBar->hide();
    m_labelInfo->show();
    if (!caption.isEmpty())
        setCaptionLabelInfo(caption);
}

void TvzkLoadPanel::reportSocketError(QAbstractSocket::SocketError error)
{
    m_progressBar->hide();
    setCaptionLabelInfo(SocketErrors::SocketErrorText(SocketErrors::winsockCode(error)));
}

// ---- layout and mouse -----------------------------------------------------

void TvzkLoadPanel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    m_children->relayout(size());
}

void TvzkLoadPanel::mouseReleaseEvent(QMouseEvent *event)
{
    QFrame::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit OnClick(this);
}

void TvzkLoadPanel::contextMenuEvent(QContextMenuEvent *event)
{
    if (m_popupMenu)
        m_popupMenu->popup(event->globalPos());
    else
        QFrame::contextMenuEvent(event);
}

// ---- download side --------------------------------------------------------

void TvzkLoadPanel::setServerActive(bool active)
{
    if (!active) {
        m_serverSocket->close();
        endDownloadConnection();
        return;
    }
    if (m_serverSocket->isListening())
        return;
    const QHostAddress address
        = m_bindAddress.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(m_bindAddress);
    if (!m_serverSocket->listen(address, quint16(m_port)))
        throw VoxlaneError(
            SocketErrors::SocketErrorText(SocketErrors::winsockCode(m_serverSocket->serverError())));
}

void TvzkLoadPanel::ServerSocketClientConnect()
{
    while (QTcpSocket *socket = m_serverSocket->nextPendingConnection()) {
        // One data connection per transfer: a new one (the sender coming
        // back after a failure we have not noticed yet) replaces the old.
        endDownloadConnection();
        m_connection = socket;
        socket->setReadBufferSize(DataPacket::MaxPacketSize + 1);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, &TvzkLoadPanel::ServerSocketClientRead);
        connect(socket, &QTcpSocket::disconnected, this, &TvzkLoadPanel::ServerSocketClientDisconnect);
        connect(socket, &QTcpSocket::errorOccurred, this, &TvzkLoadPanel::ServerSocketClientError);
        m_progressBar->show();
        m_labelInfo->hide();
        if (socket->bytesAvailable() > 0)
            ServerSocketClientRead();
    }
}

void TvzkLoadPanel::ServerSocketClientRead()
{
    if (!m_connection)
        return;
    const QByteArray replies = m_receiver.receive(*m_connection, m_fichierTel, unreadBytes(*m_connection));
    // The panel follows first, as completion comes before its reply: a
    // connection that breaks while the reply is written then finds the
    // transfer complete and moves the file.
    followReceiver();
    sendReplies(replies);
    if (!m_connection)
        return;
    // Bytes left over are the start of a packet: they have PacketTimeoutMs
    // to become whole, counted from the last packet answered.
    if (m_connection->bytesAvailable() == 0)
        m_packetTimer->stop();
    else if (!m_packetTimer->isActive() || m_receiver.packetsAnswered() != m_packetsSeen)
        m_packetTimer->start();
    m_packetsSeen = m_receiver.packetsAnswered();
}

void TvzkLoadPanel::setPacketTimeout(int ms)
{
    m_packetTimer->setInterval(ms);
}

void TvzkLoadPanel::PacketTimerTimer()
{
    if (!m_connection)
        return;
    const QByteArray reply = m_receiver.expire(*m_connection);
    m_packetsSeen = m_receiver.packetsAnswered();
    followReceiver();
    sendReplies(reply);
}

void TvzkLoadPanel::sendReplies(const QByteArray &replies)
{
    if (replies.isEmpty() || !m_connection)
        return;
    m_connection->write(replies);
    m_connection->flush();
}

// Brings the panel in line with the receiver after packets were handled.
void TvzkLoadPanel::followReceiver()
{
    if (m_receiver.headersAccepted() != m_headersSeen && m_receiver.isFileOpen()) {
        m_headersSeen = m_receiver.headersAccepted();
        m_downloadNotified = false;
        m_progressBar->setMaximum(int(m_receiver.fileSize()));
        setTransferProgress(m_receiver.held());
        flushProgress();
    } else if (m_receiver.isFileOpen() && m_receiver.held() != qint64(m_progressPosition)) {
        setTransferProgress(m_receiver.held());
    }
    if (m_receiver.isComplete() && !m_downloadNotified) {
        m_downloadNotified = true;
        m_status = QStringLiteral("0");
        flushProgress();
        m_progressBar->hide();
        setCaptionLabelInfo(QStringLiteral("Terminé"));
        LoadPanelChildren::setTextColour(m_labelInfo, LoadPanelChildren::DoneColour);
        emit OnTelTermine(this);
    }
}

void TvzkLoadPanel::endDownloadConnection()
{
    if (!m_connection)
        return;
    QTcpSocket *socket = m_connection;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    ServerSocketClientDisconnect();
}

void TvzkLoadPanel::ServerSocketClientDisconnect()
{
    if (m_connection) {
        m_connection->disconnect(this);
        m_connection->deleteLater();
        m_connection = nullptr;
    }
    m_packetTimer->stop();
    if (!m_receiver.disconnect()) {
        // No file was opened: nothing to say, but the bar shown when the
        // connection came in must not stay up.
        showStopped(QString());
        return;
    }
    if (m_status != u"0") {
        showStopped(QStringLiteral("Déconnecté"));
        return;
    }
    showStopped(QString());
    // Complete: the file leaves the temp folder. A destination that exists
    // already is left alone and the file stays where it is.
    DataReceiver::moveFinished(m_receiver.filePath(), TempPath(), m_fichierPath);
}

void TvzkLoadPanel::ServerSocketClientError(QAbstractSocket::SocketError error)
{
    // The peer closing, in order or not, is a disconnection, handled there.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    reportSocketError(error);
    setClientActive(false);
}

// ---- upload side ----------------------------------------------------------

void TvzkLoadPanel::setClientActive(bool active)
{
    if (active) {
        if (m_clientOpen)
            return;
        m_clientOpen = true;
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

void TvzkLoadPanel::ClientSocketConnect()
{
    m_clientSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_progressBar->show();
    m_labelInfo->hide();
    qint64 resume = 0;
    QString error;
    if (!m_fichierTel.isEmpty() && !TextConvert::tryStrToInt64(m_fichierTel, resume))
        error = QStringLiteral("'%1' is not a valid integer value").arg(m_fichierTel);
    else
        m_sender.start(m_fichierPath, resume, &error);
    if (!m_sender.isFileOpen()) {
        // A local failure, not the peer's: it goes to the general error
        // report, and the connection ends instead of hanging without a header.
        ErrorReport::report(error);
        setClientActive(false);
        return;
    }
    m_progressBar->setMaximum(int(m_sender.fileSize()));
    setTransferProgress(m_sender.acknowledged());
    flushProgress();
    m_headerTimer->start();
}

void TvzkLoadPanel::HeaderTimerTimer()
{
    m_headerTimer->stop();
    if (m_clientSocket->state() != QAbstractSocket::ConnectedState || !m_sender.isFileOpen())
        return;
    m_clientSocket->write(m_sender.takeHeader());
    m_clientSocket->flush();
}

void TvzkLoadPanel::ClientSocketRead()
{
    for (;;) {
        const DataSender::Step step = m_sender.receive(*m_clientSocket);
        if (m_sender.acknowledged() != qint64(m_progressPosition))
            setTransferProgress(m_sender.acknowledged());
        switch (step.action) {
        case DataSender::Action::None:
            return;
        case DataSender::Action::Send:
            m_clientSocket->write(step.bytes);
            m_clientSocket->flush();
            continue;
        case DataSender::Action::Complete:
            completeUpload();
            return;
        case DataSender::Action::Close:
            setClientActive(false);
            return;
        }
    }
}

void TvzkLoadPanel::completeUpload()
{
    // Completed before the connection closes, so that its disconnection is
    // not taken for a failure.
    m_status = QStringLiteral("0");
    m_clientSocket->disconnectFromHost();
    if (m_clientOpen && m_clientSocket->state() == QAbstractSocket::UnconnectedState)
        ClientSocketDisconnect();
    showFinished();
    emit OnTelTermine(this);
}

void TvzkLoadPanel::ClientSocketDisconnect()
{
    m_clientOpen = false;
    m_headerTimer->stop();
    m_sender.stop();
    if (m_status != u"0")
        showStopped(QStringLiteral("Déconnecté"));
}

void TvzkLoadPanel::ClientSocketError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    reportSocketError(error);
    setClientActive(false);
}
