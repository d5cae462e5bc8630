#pragma once

#include "transfer/TransferJob.h"

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

// One transfer, incoming or outgoing, as the download or upload list shows
// it: the file, the peer, an icon, the peer's avatar, a progress bar with its
// "<done> sur <total>" caption and a status text. The transfer itself (its
// data connection, its file and its saved properties) is the panel's
// TransferJob, job(); the published properties that belong to the transfer
// read and write the job, so callers set up a panel as they always did:
//
//   download: Port, TempPath, FichierName, FichierPath, PeerAddress, then
//             setServerActive(true);
//   upload:   Port, FichierPath, FichierTel, ClientAddress, then
//             setClientActive(true).
//
// See TransferJob for what each does. OnTelTermine is emitted once when the
// transfer completes, with the panel as sender; a slot that wants the panel
// gone uses deleteLater(), since the signal comes from inside the socket
// handling. Destroying the panel destroys its job, which closes its sockets.
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
    Q_PROPERTY(qint64 ProgressPosition READ ProgressPosition WRITE setProgressPosition)
    Q_PROPERTY(qint64 ProgressMin READ ProgressMin WRITE setProgressMin)
    Q_PROPERTY(qint64 ProgressMax READ ProgressMax WRITE setProgressMax)
    Q_PROPERTY(qint64 ProgressStep READ ProgressStep WRITE setProgressStep)
    Q_PROPERTY(QLabel *PictureFond READ PictureFond WRITE setPictureFond)
    Q_PROPERTY(QLabel *PictureLoad READ PictureLoad WRITE setPictureLoad)
    Q_PROPERTY(QLabel *PictureIco READ PictureIco WRITE setPictureIco)
    // Run-time settings of this client, not saved with the transfer.
    Q_PROPERTY(QString TempPath READ TempPath WRITE setTempPath)
    Q_PROPERTY(QString BindAddress READ BindAddress WRITE setBindAddress)
    Q_PROPERTY(QString ClientAddress READ ClientAddress WRITE setClientAddress)
    Q_PROPERTY(QString PeerAddress READ PeerAddress WRITE setPeerAddress)

public:
    static constexpr int PacketTimeoutMs = TransferJob::PacketTimeoutMs;
    void setPacketTimeout(int ms) { m_job->setPacketTimeout(ms); }

    explicit TvzkLoadPanel(QWidget *parent = nullptr);
    ~TvzkLoadPanel() override;

    TransferJob *job() const { return m_job; }

    // The counts a panel is made with (a restored transfer): the bar and
    // its "<done> sur <total>" caption show them before any connection.
    void setInitialProgress(qint64 position);
    // The status text in red (a transfer that is not running) or in the
    // colour of finished transfers, the bar hidden.
    void showStatus(const QString &text, bool done = false);

    QTcpSocket *ClientSocket() const { return m_job->ClientSocket(); }
    QTcpServer *ServerSocket() const { return m_job->ServerSocket(); }
    QProgressBar *ProgressBar() const { return m_progressBar; }
    QLabel *LabelInfo() const { return m_labelInfo; }
    // The speed and time left of the running transfer (hidden otherwise).
    QLabel *RateLabel() const;
    QMenu *PopupMenu() const { return m_popupMenu; }
    void setPopupMenu(QMenu *menu) { m_popupMenu = menu; }
    QString About() const;
    void setAbout(const QString &) { }
    qint32 Port() const { return m_job->Port(); }
    void setPort(qint32 port) { m_job->setPort(port); }
    QString FichierName() const { return m_job->FichierName(); }
    void setFichierName(const QString &v) { m_job->setFichierName(v); }
    QString FichierProprio() const { return m_job->FichierProprio(); }
    void setFichierProprio(const QString &v) { m_job->setFichierProprio(v); }
    QString FichierPath() const { return m_job->FichierPath(); }
    void setFichierPath(const QString &v) { m_job->setFichierPath(v); }
    QString FichierPoids() const { return m_job->FichierPoids(); }
    // A size that is not a decimal integer goes to the general error report
    // here, once; the progress caption then counts it as 0.
    void setFichierPoids(const QString &v) { m_job->setFichierPoids(v); }
    QString FichierTel() const { return m_job->FichierTel(); }
    void setFichierTel(const QString &v) { m_job->setFichierTel(v); }
    QString IDTel() const { return m_job->IDTel(); }
    void setIDTel(const QString &v) { m_job->setIDTel(v); }
    QString Status() const { return m_job->Status(); }
    void setStatus(const QString &v) { m_job->setStatus(v); }
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
    qint64 ProgressPosition() const { return m_progressPosition; }
    void setProgressPosition(qint64 v);
    qint64 ProgressMin() const { return m_progressMin; }
    void setProgressMin(qint64 v);
    qint64 ProgressMax() const { return m_progressMax; }
    void setProgressMax(qint64 v);
    qint64 ProgressStep() const { return m_progressStep; }
    void setProgressStep(qint64 v);
    QLabel *PictureFond() const { return m_pictureFond; }
    void setPictureFond(QLabel *) { }
    QLabel *PictureLoad() const { return m_pictureLoad; }
    void setPictureLoad(QLabel *) { }
    QLabel *PictureIco() const { return m_pictureIco; }
    void setPictureIco(QLabel *) { }
    QString TempPath() const { return m_job->TempPath(); }
    void setTempPath(const QString &v) { m_job->setTempPath(v); }
    // Empty: every interface.
    QString BindAddress() const { return m_job->BindAddress(); }
    void setBindAddress(const QString &v) { m_job->setBindAddress(v); }
    QString ClientAddress() const { return m_job->ClientAddress(); }
    void setClientAddress(const QString &v) { m_job->setClientAddress(v); }
    // Download side: the peer's address as the control channel agreed it.
    // Connections from any other host are closed unanswered; empty: none
    // is taken.
    QString PeerAddress() const { return m_job->PeerAddress(); }
    void setPeerAddress(const QString &v) { m_job->setPeerAddress(v); }

    // Download side: listen on BindAddress:Port, or stop listening and end
    // the connection. A completed download (Status "0") does not listen. A port that cannot be opened throws
    // VoxlaneError with the socket error text, for the general error report.
    void setServerActive(bool active) { m_job->setServerActive(active); }
    bool isServerActive() const { return m_job->isServerActive(); }
    // Upload side: connect to ClientAddress:Port, or end the connection. A
    // completed upload does not connect again.
    void setClientActive(bool active) { m_job->setClientActive(active); }
    bool isClientActive() const { return m_job->isClientActive(); }

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
    // What the job reports.
    void jobConnectionOpened();
    void jobMaximumChanged(qint64 maximum);
    void jobProgressChanged(qint64 position);
    void jobStopped(const QString &caption);
    void jobSocketError(const QString &text);
    void jobCompleted(bool showLabel);
    void jobStateChanged();
    void jobCancelledByPeer();
    void flushProgress();
    void refreshProgressCaption();
    void refreshRate();
    void fitFileLabel();

    TransferJob *m_job = nullptr;
    bool m_running = false; // a data connection shows its progress
    QLabel *m_pictureFond = nullptr;
    QLabel *m_pictureIco = nullptr;
    QLabel *m_pictureLoad = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_labelInfo = nullptr;
    std::unique_ptr<LoadPanelChildren> m_children;
    QTimer *m_progressTimer = nullptr;
    // The speed falls while nothing moves: it is drawn again every second.
    QTimer *m_rateTimer = nullptr;
    QPointer<QMenu> m_popupMenu;

    QString m_captionLabelInfo, m_captionLabelLoad, m_captionLabelIcone, m_captionLabelProgress,
        m_captionButton;
    // Byte counts are 64-bit (files of 2 GiB and more); the bar counts in
    // int, so it shows them shifted right by m_barShift bits.
    qint64 m_progressPosition = 0, m_progressMin = 0, m_progressMax = 100, m_progressStep = 10;
    qint64 m_barMinimum = 0, m_barMaximum = 100;
    int m_barShift = 0;
    void setBarRange(qint64 minimum, qint64 maximum);
    void setBarValue(qint64 value);
};
