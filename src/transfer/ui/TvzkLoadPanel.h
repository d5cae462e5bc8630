#pragma once

#include "transfer/DataReceiver.h"
#include "transfer/DataSender.h"

#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

class LoadPanelChildren;

// One transfer, incoming or outgoing: the panel of the download or upload
// list. It shows the file, the peer, an icon, the peer's avatar, a progress
// bar with its "<done> sur <total>" caption and a status text, keeps the
// transfer's saved properties, and owns the data connection:
//
//   download: Port, TempPath (partial files), FichierName (the only name a
//             header may carry), FichierPath (where the finished file goes),
//             PeerAddress (the only host whose data connection is taken:
//             the one the control channel agreed with); then
//             setServerActive(true) listens on BindAddress:Port.
//   upload:   Port, FichierPath (the file sent), FichierTel; then
//             setClientActive(true) connects to ClientAddress:Port.
//
// BindAddress is the address the client listens on (the one given by
// VOXLANE_LOCAL_IP, or empty for every interface); the caller passes it.
// Making a socket inactive (pause) ends the connection; the transfer resumes
// from FichierTel when it is made active again. FichierTel and Status are
// kept current for saving: a download counts the bytes its partial file
// really holds, an upload the bytes it has sent. While a connection has an
// accepted header, any other connection is closed at once. OnTelTermine is
// emitted once when the transfer completes; a completed download stops
// listening, refuses every later header and never writes again; a slot that wants the panel gone uses
// deleteLater(), since the signal comes from inside the panel's socket handling. Destroying the panel closes
// its sockets; a partial download stays in TempPath for later.
//
// All socket work runs from the event loop of the user-interface thread;
// every panel has its own file and packet buffer, so any number of
// downloads and uploads run at once. Two downloads never write the same
// temp file: the second one's header is refused.
class TvzkLoadPanel : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QTcpSocket *ClientSocket READ ClientSocket CONSTANT)
    Q_PROPERTY(QTcpServer *ServerSocket READ ServerSocket CONSTANT)
    Q_PROPERTY(QProgressBar *ProgressBar READ ProgressBar CONSTANT)
    Q_PROPERTY(QLabel *LabelInfo READ LabelInfo CONSTANT)
    Q_PROPERTY(QMenu *PopupMenu READ PopupMenu WRITE setPopupMenu)
    Q_PROPERTY(QString About READ About WRITE setAbout)
    Q_PROPERTY(qint32 Port READ Port WRITE setPort)
    Q_PROPERTY(QString FichierName READ FichierName WRITE setFichierName)
    Q_PROPERTY(QString FichierProprio READ FichierProprio WRITE setFichierProprio)
    Q_PROPERTY(QString FichierPath READ FichierPath WRITE setFichierPath)
    Q_PROPERTY(QString FichierPoids READ FichierPoids WRITE setFichierPoids)
    Q_PROPERTY(QString FichierTel READ FichierTel WRITE setFichierTel)
    Q_PROPERTY(QString IDTel READ IDTel WRITE setIDTel)
    Q_PROPERTY(QString Status READ Status WRITE setStatus)
    Q_PROPERTY(QString CaptionLabelInfo READ CaptionLabelInfo WRITE setCaptionLabelInfo)
    Q_PROPERTY(QString CaptionLabelLoad READ CaptionLabelLoad WRITE setCaptionLabelLoad)
    Q_PROPERTY(QString CaptionLabelIcone READ CaptionLabelIcone WRITE setCaptionLabelIcone)
    Q_PROPERTY(QString CaptionLabelProgress READ CaptionLabelProgress WRITE setCaptionLabelProgress)
    Q_PROPERTY(QString CaptionButton READ CaptionButton WRITE setCaptionButton)
    Q_PROPERTY(quint32 ProgressPosition READ ProgressPosition WRITE setProgressPosition)
    Q_PROPERTY(quint32 ProgressMin READ ProgressMin WRITE setProgressMin)
    Q_PROPERTY(quint32 ProgressMax READ ProgressMax WRITE setProgressMax)
    Q_PROPERTY(quint32 ProgressStep READ ProgressStep WRITE setProgressStep)
    Q_PROPERTY(QLabel *PictureFond READ PictureFond WRITE setPictureFond)
    Q_PROPERTY(QLabel *PictureLoad READ PictureLoad WRITE setPictureLoad)
    Q_PROPERTY(QLabel *PictureIco READ PictureIco WRITE setPictureIco)
    // Run-time settings of this client, not saved with the transfer.
    Q_PROPERTY(QString TempPath READ TempPath WRITE setTempPath)
    Q_PROPERTY(QString BindAddress READ BindAddress WRITE setBindAddress)
    Q_PROPERTY(QString ClientAddress READ ClientAddress WRITE setClientAddress)
    Q_PROPERTY(QString PeerAddress READ PeerAddress WRITE setPeerAddress)

public:
    // How long bytes may stay an incomplete packet on a download before they
    // are answered as a packet too short and dropped.
    static constexpr int PacketTimeoutMs = 5000;
    void setPacketTimeout(int ms);

    explicit TvzkLoadPanel(QWidget *parent = nullptr);
    ~TvzkLoadPanel() override;

    QTcpSocket *ClientSocket() const { return m_clientSocket; }
    QTcpServer *ServerSocket() const { return m_serverSocket; }
    QProgressBar *ProgressBar() const { return m_progressBar; }
    QLabel *LabelInfo() const { return m_labelInfo; }
    QMenu *PopupMenu() const { return m_popupMenu; }
    void setPopupMenu(QMenu *menu) { m_popupMenu = menu; }
    QString About() const;
    void setAbout(const QString &) { }
    qint32 Port() const { return m_port; }
    void setPort(qint32 port) { m_port = port; }
    QString FichierName() const { return m_fichierName; }
    void setFichierName(const QString &v)
    {
        m_fichierName = v;
        m_receiver.setExpectedName(v);
    }
    QString FichierProprio() const { return m_fichierProprio; }
    void setFichierProprio(const QString &v) { m_fichierProprio = v; }
    QString FichierPath() const { return m_fichierPath; }
    void setFichierPath(const QString &v) { m_fichierPath = v; }
    QString FichierPoids() const { return m_fichierPoids; }
    // A size that is not a decimal integer goes to the general error report
    // here, once; the progress caption then counts it as 0.
    void setFichierPoids(const QString &v);
    QString FichierTel() const { return m_fichierTel; }
    void setFichierTel(const QString &v) { m_fichierTel = v; }
    QString IDTel() const { return m_idTel; }
    void setIDTel(const QString &v) { m_idTel = v; }
    QString Status() const { return m_status; }
    void setStatus(const QString &v) { m_status = v; }
    QString CaptionLabelInfo() const { return m_captionLabelInfo; }
    void setCaptionLabelInfo(const QString &v);
    QString CaptionLabelLoad() const { return m_captionLabelLoad; }
    void setCaptionLabelLoad(const QString &v);
    QString CaptionLabelIcone() const { return m_captionLabelIcone; }
    void setCaptionLabelIcone(const QString &v);
    QString CaptionLabelProgress() const { return m_captionLabelProgress; }
    void setCaptionLabelProgress(const QString &v);
    QString CaptionButton() const { return m_captionButton; }
    void setCaptionButton(const QString &v);
    quint32 ProgressPosition() const { return m_progressPosition; }
    void setProgressPosition(quint32 v);
    quint32 ProgressMin() const { return m_progressMin; }
    void setProgressMin(quint32 v);
    quint32 ProgressMax() const { return m_progressMax; }
    void setProgressMax(quint32 v);
    quint32 ProgressStep() const { return m_progressStep; }
    void setProgressStep(quint32 v);
    QLabel *PictureFond() const { return m_pictureFond; }
    void setPictureFond(QLabel *) { }
    QLabel *PictureLoad() const { return m_pictureLoad; }
    void setPictureLoad(QLabel *) { }
    QLabel *PictureIco() const { return m_pictureIco; }
    void setPictureIco(QLabel *) { }
    QString TempPath() const { return m_receiver.tempDir(); }
    void setTempPath(const QString &v) { m_receiver.setTempDir(v); }
    // Empty: every interface.
    QString BindAddress() const { return m_bindAddress; }
    void setBindAddress(const QString &v) { m_bindAddress = v; }
    QString ClientAddress() const { return m_clientAddress; }
    void setClientAddress(const QString &v) { m_clientAddress = v; }
    // Download side: the peer's address as the control channel agreed it.
    // Connections from any other host are closed unanswered; empty: none
    // is taken.
    QString PeerAddress() const { return m_peerAddress; }
    void setPeerAddress(const QString &v) { m_peerAddress = v; }

    // Download side: listen on BindAddress:Port, or stop listening and end
    // the connection. A completed download (Status "0") does not listen. A port that cannot be opened throws
    // VoxlaneError with the socket error text, for the general error report.
    void setServerActive(bool active);
    bool isServerActive() const { return m_serverSocket->isListening(); }
    // Upload side: connect to ClientAddress:Port, or end the connection. A
    // completed upload does not connect again.
    void setClientActive(bool active);
    bool isClientActive() const { return m_clientOpen; }

signals:
    void OnClick(QObject *sender);
    void OnTelTermine(QObject *sender);
    // One line for the control log (the main window's reWatch): a transfer
    // attempt given up for a reason the status label cannot tell.
    void OnLog(QObject *sender, const QString &line);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // Download side.
    void ServerSocketClientConnect();
    void ServerSocketClientRead();
    void ServerSocketClientDisconnect();
    void ServerSocketClientError(QAbstractSocket::SocketError error);
    void PacketTimerTimer();
    void endDownloadConnection();
    bool acceptsPeer(const QTcpSocket &socket) const;
    void giveUpDownloadConnection();
    void sendReplies(const QByteArray &replies);
    void followReceiver();
    // Upload side.
    void ClientSocketConnect();
    void HeaderTimerTimer();
    void ClientSocketRead();
    void ClientSocketDisconnect();
    void ClientSocketError(QAbstractSocket::SocketError error);
    void completeUpload();
    // Either side.
    void reportSocketError(QAbstractSocket::SocketError error);
    void showFinished();
    void showStopped(const QString &caption);
    void setTransferProgress(qint64 position);
    void flushProgress();
    void refreshProgressCaption();

    QTcpSocket *m_clientSocket = nullptr;
    QTcpServer *m_serverSocket = nullptr;
    QPointer<QTcpSocket> m_connection; // the accepted data connection
    QLabel *m_pictureFond = nullptr;
    QLabel *m_pictureIco = nullptr;
    QLabel *m_pictureLoad = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_labelInfo = nullptr;
    std::unique_ptr<LoadPanelChildren> m_children;
    QTimer *m_headerTimer = nullptr;
    QTimer *m_packetTimer = nullptr;
    QTimer *m_progressTimer = nullptr;
    QPointer<QMenu> m_popupMenu;

    qint32 m_port = 0;
    QString m_fichierName, m_fichierProprio, m_fichierPath, m_fichierPoids, m_fichierTel, m_idTel, m_status;
    QString m_captionLabelInfo, m_captionLabelLoad, m_captionLabelIcone, m_captionLabelProgress,
        m_captionButton;
    quint32 m_progressPosition = 0, m_progressMin = 0, m_progressMax = 100, m_progressStep = 10;
    QString m_bindAddress, m_clientAddress, m_peerAddress;
    qint32 m_fichierPoidsValue = 0;

    DataReceiver m_receiver;
    int m_headersSeen = 0;
    int m_packetsSeen = 0;
    bool m_downloadNotified = false; // sticky: one completion per panel
    bool m_downloadMoved = false;
    DataSender m_sender;
    bool m_clientOpen = false; // an upload attempt is under way
};
