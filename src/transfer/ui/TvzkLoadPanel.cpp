#include "transfer/ui/TvzkLoadPanel.h"

#include "transfer/ui/LoadPanelChildren.h"

#include "base/ErrorReport.h"
#include "base/TextConvert.h"
#include "transfer/DataPacket.h"
#include "transfer/SizeText.h"
#include "transfer/TransferListRules.h"

#include <QContextMenuEvent>
#include <QMouseEvent>

#include <limits>

namespace {

// Progress shown on screen at most this often; the properties stay exact.
constexpr int kProgressRefreshMs = 50;
constexpr int kRateRefreshMs = 1000;

} // namespace

TvzkLoadPanel::TvzkLoadPanel(TransferJob &job, QWidget *parent)
    : QFrame(parent)
    , m_job(job)
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

    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(kProgressRefreshMs);
    m_progressTimer->setSingleShot(true);
    connect(m_progressTimer, &QTimer::timeout, this, &TvzkLoadPanel::flushProgress);
    m_rateTimer = new QTimer(this);
    m_rateTimer->setInterval(kRateRefreshMs);
    connect(m_rateTimer, &QTimer::timeout, this, &TvzkLoadPanel::refreshRate);

    connect(&m_job, &TransferJob::connectionOpened, this, &TvzkLoadPanel::jobConnectionOpened);
    connect(&m_job, &TransferJob::maximumChanged, this, &TvzkLoadPanel::jobMaximumChanged);
    connect(&m_job, &TransferJob::progressChanged, this, &TvzkLoadPanel::jobProgressChanged);
    connect(&m_job, &TransferJob::stopped, this, &TvzkLoadPanel::jobStopped);
    connect(&m_job, &TransferJob::socketError, this, &TvzkLoadPanel::jobSocketError);
    connect(&m_job, &TransferJob::completed, this, &TvzkLoadPanel::jobCompleted);
    connect(&m_job, &TransferJob::stateChanged, this, &TvzkLoadPanel::jobStateChanged);
    connect(&m_job, &TransferJob::cancelledByPeer, this, &TvzkLoadPanel::jobCancelledByPeer);
    connect(&m_job, &TransferJob::OnTelTermine, this, [this] { emit OnTelTermine(this); });
    connect(
        &m_job, &TransferJob::OnLog, this, [this](QObject *, const QString &line) { emit OnLog(this, line); });
}

TvzkLoadPanel::~TvzkLoadPanel()
{
    // The job stays (its owner removes it after its view): nothing it does
    // later may reach a half-destroyed view.
    m_job.disconnect(this);
}

QString TvzkLoadPanel::About() const
{
    return QStringLiteral("TvzkLoadPanel 1.0 - composant de transfert Voxlane, par l'équipe Voxlane");
}

QLabel *TvzkLoadPanel::RateLabel() const
{
    return m_children->rateLabel;
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
    m_captionLabelLoad = v;
    fitFileLabel();
}

// The file's name keeps clear of the speed line: shortened in the middle
// while the line shows, whole otherwise.
void TvzkLoadPanel::fitFileLabel()
{
    QLabel *file = m_children->fileLabel;
    const QLabel *rate = m_children->rateLabel;
    const int room = rate->isHidden() ? QWIDGETSIZE_MAX : rate->x() - 8 - file->x();
    file->setText(
        room == QWIDGETSIZE_MAX ? m_captionLabelLoad : file->fontMetrics().elidedText(m_captionLabelLoad, Qt::ElideMiddle, room));
    file->adjustSize();
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

void TvzkLoadPanel::setBarRange(qint64 minimum, qint64 maximum)
{
    m_barMinimum = qMax<qint64>(0, minimum);
    m_barMaximum = qMax<qint64>(0, maximum);
    m_barShift = 0;
    while ((qMax(m_barMinimum, m_barMaximum) >> m_barShift) > std::numeric_limits<int>::max())
        ++m_barShift;
    m_progressBar->setRange(int(m_barMinimum >> m_barShift), int(m_barMaximum >> m_barShift));
}

// The bar does not go beyond its maximum.
void TvzkLoadPanel::setBarValue(qint64 value)
{
    m_progressBar->setValue(int(qBound(m_barMinimum, value, qMax(m_barMinimum, m_barMaximum)) >> m_barShift));
}

void TvzkLoadPanel::setProgressPosition(qint64 v)
{
    m_progressTimer->stop();
    m_progressPosition = v;
    setBarValue(v);
    refreshProgressCaption();
    refreshRate();
}

void TvzkLoadPanel::setProgressMin(qint64 v)
{
    m_progressMin = v;
    setBarRange(v, m_barMaximum);
}

void TvzkLoadPanel::setProgressMax(qint64 v)
{
    m_progressMax = v;
    setBarRange(m_barMinimum, v);
    refreshProgressCaption();
}

void TvzkLoadPanel::setProgressStep(qint64 v)
{
    // A progress bar of this toolkit has no step of its own; the value is kept.
    m_progressStep = v;
    refreshProgressCaption();
}

// The counts; "Pause" while the user's pause holds; and, while nothing can
// move until the other member acts, who it waits for (unless the status
// text says so already).
void TvzkLoadPanel::refreshProgressCaption()
{
    if (m_job.isPausedByUser()) {
        setCaptionLabelProgress(TransferListRules::PausedProgressCaption);
        return;
    }
    QString caption = SizeText::FormatSize(m_progressPosition) + QStringLiteral(" sur ")
        + SizeText::FormatSize(m_job.FichierPoidsValue());
    const QString waiting = TransferJob::waitingText(m_job.FichierProprio());
    if (!m_running && m_job.waitsForPeer() && m_captionLabelInfo != waiting)
        caption += QStringLiteral(" - en attente de ") + m_job.FichierProprio();
    setCaptionLabelProgress(caption);
}

void TvzkLoadPanel::setInitialProgress(qint64 position)
{
    m_progressTimer->stop();
    m_progressPosition = qMax<qint64>(0, position);
    setBarRange(0, m_job.FichierPoidsValue());
    setBarValue(m_progressPosition);
    refreshProgressCaption();
}

void TvzkLoadPanel::showStatus(const QString &text, bool done)
{
    m_running = false;
    m_progressBar->hide();
    m_labelInfo->show();
    setCaptionLabelInfo(text);
    LoadPanelChildren::setTextColour(m_labelInfo, done ? LoadPanelChildren::DoneColour : LoadPanelChildren::ErrorColour);
    refreshProgressCaption();
    refreshRate();
}

void TvzkLoadPanel::flushProgress()
{
    m_progressTimer->stop();
    setBarValue(m_progressPosition);
    refreshProgressCaption();
    refreshRate();
}

void TvzkLoadPanel::refreshRate()
{
    QLabel *label = m_children->rateLabel;
    if (!m_running || !m_job.isRunning()) {
        m_rateTimer->stop();
        if (!label->isHidden()) {
            label->hide();
            fitFileLabel();
        }
        return;
    }
    if (!m_rateTimer->isActive())
        m_rateTimer->start();
    const QString caption = TransferRate::caption(m_job.rate(), m_job.secondsLeft());
    const bool moved = label->isHidden() || label->text() != caption;
    if (label->text() != caption) {
        label->setText(caption);
        m_children->placeRateLabel(width());
    }
    label->show();
    if (moved)
        fitFileLabel();
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

// ---- what the job reports ---------------------------------------------------

void TvzkLoadPanel::jobConnectionOpened()
{
    m_running = true;
    m_progressBar->show();
    m_labelInfo->hide();
    flushProgress();
}

void TvzkLoadPanel::jobMaximumChanged(qint64 maximum)
{
    setBarRange(m_barMinimum, maximum);
    flushProgress();
}

void TvzkLoadPanel::jobProgressChanged(qint64 position)
{
    m_progressPosition = position;
    if (!m_progressTimer->isActive())
        m_progressTimer->start();
}

void TvzkLoadPanel::jobStopped(const QString &caption)
{
    m_running = false;
    m_progressBar->hide();
    m_labelInfo->show();
    if (!caption.isEmpty())
        setCaptionLabelInfo(caption);
    flushProgress();
}

void TvzkLoadPanel::jobSocketError(const QString &text)
{
    m_running = false;
    m_progressBar->hide();
    setCaptionLabelInfo(text);
    refreshRate();
}

void TvzkLoadPanel::jobStateChanged()
{
    flushProgress();
}

void TvzkLoadPanel::jobCancelledByPeer()
{
    showStatus(TransferJob::cancelledText(m_job.FichierProprio()));
}

void TvzkLoadPanel::jobCompleted(bool showLabel)
{
    m_running = false;
    flushProgress();
    m_progressBar->hide();
    if (showLabel)
        m_labelInfo->show();
    setCaptionLabelInfo(QStringLiteral("Terminé"));
    LoadPanelChildren::setTextColour(m_labelInfo, LoadPanelChildren::DoneColour);
}
