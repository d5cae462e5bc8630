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
// "<done> sur <total>" caption and a status text. It is a view: the transfer
// itself (its data connection, its file and its saved properties) is the
// TransferJob it is given, which the transfer manager owns and which must
// outlive it. The published properties that belong to the transfer read the
// job; the panel writes only its own looks. OnTelTermine is emitted once
// when the transfer completes, with the panel as sender.
class TvzkLoadPanel : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QTcpSocket *ClientSocket READ ClientSocket CONSTANT)
    Q_PROPERTY(QTcpServer *ServerSocket READ ServerSocket CONSTANT)
    Q_PROPERTY(QProgressBar *ProgressBar READ ProgressBar CONSTANT)
    Q_PROPERTY(QLabel *LabelInfo READ LabelInfo CONSTANT)
    Q_PROPERTY(QMenu *PopupMenu READ PopupMenu WRITE setPopupMenu)
    Q_PROPERTY(QString About READ About WRITE setAbout)
    Q_PROPERTY(qint32 Port READ Port)
    Q_PROPERTY(QString FichierName READ FichierName)
    Q_PROPERTY(QString FichierProprio READ FichierProprio)
    Q_PROPERTY(QString FichierPath READ FichierPath)
    Q_PROPERTY(QString FichierPoids READ FichierPoids)
    Q_PROPERTY(qint64 FichierTel READ FichierTel)
    Q_PROPERTY(QString IDTel READ IDTel)
    Q_PROPERTY(QString Status READ Status)
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
    Q_PROPERTY(QString TempPath READ TempPath)
    Q_PROPERTY(QString BindAddress READ BindAddress)
    Q_PROPERTY(QString ClientAddress READ ClientAddress)
    Q_PROPERTY(QString PeerAddress READ PeerAddress)

public:
    // Shows job, which must outlive the panel.
    explicit TvzkLoadPanel(TransferJob &job, QWidget *parent = nullptr);
    ~TvzkLoadPanel() override;

    TransferJob *job() const { return &m_job; }

    // The counts a panel is made with (a restored transfer): the bar and
    // its "<done> sur <total>" caption show them before any connection.
    void setInitialProgress(qint64 position);
    // The status text in red (a transfer that is not running) or in the
    // colour of finished transfers, the bar hidden.
    void showStatus(const QString &text, bool done = false);

    QTcpSocket *ClientSocket() const { return m_job.ClientSocket(); }
    QTcpServer *ServerSocket() const { return m_job.ServerSocket(); }
    QProgressBar *ProgressBar() const { return m_progressBar; }
    QLabel *LabelInfo() const { return m_labelInfo; }
    // The speed and time left of the running transfer (hidden otherwise).
    QLabel *RateLabel() const;
    QMenu *PopupMenu() const { return m_popupMenu; }
    void setPopupMenu(QMenu *menu) { m_popupMenu = menu; }
    QString About() const;
    void setAbout(const QString &) { }
    qint32 Port() const { return m_job.Port(); }
    QString FichierName() const { return m_job.FichierName(); }
    QString FichierProprio() const { return m_job.FichierProprio(); }
    QString FichierPath() const { return m_job.FichierPath(); }
    QString FichierPoids() const { return m_job.FichierPoids(); }
    qint64 FichierTel() const { return m_job.FichierTel(); }
    QString IDTel() const { return m_job.IDTel(); }
    QString Status() const { return m_job.Status(); }
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
    QString TempPath() const { return m_job.TempPath(); }
    QString BindAddress() const { return m_job.BindAddress(); }
    QString ClientAddress() const { return m_job.ClientAddress(); }
    QString PeerAddress() const { return m_job.PeerAddress(); }

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

    TransferJob &m_job;
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
