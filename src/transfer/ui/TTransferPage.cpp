#include "transfer/ui/TTransferPage.h"

#include "base/DialogService.h"
#include "base/DrawingHelpers.h"
#include "base/ErrorReport.h"
#include "base/SettingsStore.h"
#include "components/FileTypeIcons.h"
#include "components/ui/PageLook.h"
#include "components/ui/TRbButton.h"
#include "contacts/ui/AvatarLabel.h"
#include "media/MediaRules.h"
#include "media/ui/TMediaPlayer.h"
#include "service/ServiceSession.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferListRules.h"
#include "transfer/TransferProperties.h"
#include "transfer/ui/TfrmPropriete.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>
#include <QWheelEvent>

namespace {

TransferHighlight::Button buttonOf(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return TransferHighlight::Button::Left;
    case Qt::RightButton:
        return TransferHighlight::Button::Right;
    default:
        return TransferHighlight::Button::Other;
    }
}

// "Pau&se" while the transfer goes on or tries to: a download listening
// (not one whose file waits to be put in place: "Reprendre" tries that
// again), an upload connected or trying again by itself.
bool dataSocketActive(const TransferJob &job, bool download)
{
    if (download)
        return job.isServerActive() && !job.placementFailed();
    return !job.isPausedByUser() && (job.isClientActive() || job.wantsRetry());
}

} // namespace

TTransferPage::TTransferPage(TransferManager::List list, TransferManager &transfers, ServiceSession &session,
    AvatarCache &avatars, SettingsStore &settings, DialogService &dialogs, const FileTypeIcons &icons,
    QWidget *parent)
    : QWidget(parent)
    , m_list(list)
    , m_transfers(transfers)
    , m_session(session)
    , m_avatars(avatars)
    , m_settings(settings)
    , m_dialogs(dialogs)
    , m_icons(icons)
{
    const bool downloads = list == TransferManager::List::Downloads;
    setObjectName(downloads ? QStringLiteral("TabSheet2") : QStringLiteral("TabSheet3"));
    PageLook::heading(downloads ? QStringLiteral("Téléchargements en cours") : QStringLiteral("Envois en cours"),
        downloads ? QStringLiteral("lblHeading2") : QStringLiteral("lblHeading3"), this);

    m_box = new QScrollArea(this);
    m_box->setObjectName(downloads ? QStringLiteral("SBDown") : QStringLiteral("SBUp"));
    m_box->setWidgetResizable(false);
    m_box->setFrameShape(QFrame::NoFrame);
    m_box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget;
    content->resize(500, 1);
    m_box->setWidget(content);
    m_box->setGeometry(8, 44, 520, 400);

    buildMenu();

    m_cleanButton = new TRbButton(this);
    m_cleanButton->setObjectName(downloads ? QStringLiteral("btnNettoyer") : QStringLiteral("btnNettoyer2"));
    m_cleanButton->setCaption(QStringLiteral("Nettoyer"));
    m_cleanButton->UseFormColors();
    m_cleanButton->setGeometry(428, 450, 100, 26);
    m_cleanButton->setEnabled(false);
    connect(m_cleanButton, &TRbButton::OnClick, this, [this] { ErrorReport::guard([this] { btnNettoyerClick(); }); });

    m_box->setFocusPolicy(Qt::StrongFocus);
    m_box->viewport()->installEventFilter(this);
    m_box->installEventFilter(this);

    connect(&m_transfers, &TransferManager::jobAdded, this, &TTransferPage::jobAdded);
    connect(&m_transfers, &TransferManager::jobStarted, this, &TTransferPage::jobStarted);
    connect(&m_transfers, &TransferManager::jobRemoved, this, &TTransferPage::jobRemoved);
    // "Nettoyer" follows the list at once, not only when its page shows.
    connect(&m_transfers, &TransferManager::ListChanged, this, &TTransferPage::updateCleanButton);
}

TTransferPage::~TTransferPage()
{
    // The children go after this: their events must not reach the page.
    if (m_box) {
        m_box->viewport()->removeEventFilter(this);
        m_box->removeEventFilter(this);
    }
    qDeleteAll(std::exchange(m_panels, {}));
}

void TTransferPage::buildMenu()
{
    m_popupMenu = new QMenu(this);
    m_popupMenu->setObjectName(QStringLiteral("PopupMenu1"));
    // The pictures of the main image list: 7 open, 8 play, 5 cancel,
    // 4 properties; the desktop style's own stand for them.
    QStyle *style = QApplication::style();
    m_open = m_popupMenu->addAction(style->standardIcon(QStyle::SP_DialogOpenButton), QStringLiteral("Ouvrir"));
    m_openFolder = m_popupMenu->addAction(QStringLiteral("Ouvrir le dossier contenant"));
    m_popupMenu->setDefaultAction(m_openFolder);
    m_play = m_popupMenu->addAction(style->standardIcon(QStyle::SP_MediaPlay), QStringLiteral("Lecture"));
    m_popupMenu->addSeparator();
    m_pause = m_popupMenu->addAction(TransferListRules::PauseCaption);
    m_cancel
        = m_popupMenu->addAction(style->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Annuler"));
    m_popupMenu->addSeparator();
    m_propertiesAction
        = m_popupMenu->addAction(style->standardIcon(QStyle::SP_FileDialogInfoView), QStringLiteral("Propriétés"));
    const std::pair<QAction *, const char *> names[] = { { m_open, "Ouvrir1" },
        { m_openFolder, "Ouvrirledossiercontenant1" }, { m_play, "Lecture1" }, { m_pause, "Pause1" },
        { m_cancel, "Annuler1" }, { m_propertiesAction, "Proprits1" } };
    for (const auto &[action, name] : names)
        action->setObjectName(QLatin1String(name));
    // The commands may meet a removed transfer or a port in use: reported,
    // never thrown into the event loop.
    auto guarded = [this](void (TTransferPage::*fn)()) {
        return [this, fn] { ErrorReport::guard([&] { (this->*fn)(); }); };
    };
    connect(m_popupMenu, &QMenu::aboutToShow, this, guarded(&TTransferPage::PopupMenu1Popup));
    connect(m_open, &QAction::triggered, this, guarded(&TTransferPage::Ouvrir1Click));
    connect(m_openFolder, &QAction::triggered, this, guarded(&TTransferPage::Ouvrirledossiercontenant1Click));
    connect(m_play, &QAction::triggered, this, guarded(&TTransferPage::Lecture1Click));
    connect(m_pause, &QAction::triggered, this, guarded(&TTransferPage::Pause1Click));
    connect(m_cancel, &QAction::triggered, this, guarded(&TTransferPage::Annuler1Click));
    connect(m_propertiesAction, &QAction::triggered, this, guarded(&TTransferPage::Proprits1Click));
}

// ---- the panels -------------------------------------------------------------

QPixmap TTransferPage::StockPicture(int index)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (index == 1) {
        // A program: a window with a title bar.
        p.setPen(QPen(QColor(0, 0, 128), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3.5, 6.5, 25, 20));
        p.fillRect(QRectF(4, 7, 24, 5), QColor(0, 0, 128));
    } else {
        // A sheet with a folded corner.
        QPolygonF sheet;
        sheet << QPointF(7.5, 2.5) << QPointF(20.5, 2.5) << QPointF(26.5, 8.5) << QPointF(26.5, 29.5)
              << QPointF(7.5, 29.5);
        p.setPen(QPen(QColor(96, 96, 96), 1));
        p.setBrush(Qt::white);
        p.drawPolygon(sheet);
        p.drawLine(QPointF(20.5, 2.5), QPointF(20.5, 8.5));
        p.drawLine(QPointF(20.5, 8.5), QPointF(26.5, 8.5));
    }
    return pixmap;
}

QPixmap TTransferPage::PictureFor(const QString &extension) const
{
    const QImage registered = m_icons.forExtension(extension);
    if (!registered.isNull())
        return QPixmap::fromImage(registered);
    return StockPicture(extension == QStringLiteral(".exe") ? 1 : 0);
}

// The panel of a new job, at the end of the stack. Nothing here lets
// events run: the job is not started yet.
void TTransferPage::jobAdded(TransferJob *job, bool peerOnline)
{
    if (m_transfers.listOf(job) != m_list)
        return;
    const bool download = m_list == TransferManager::List::Downloads;
    if (!m_box)
        return;
    QWidget *content = m_box->widget();
    auto *panel = new TvzkLoadPanel(*job, content);
    panel->hide();
    panel->setCaptionLabelIcone(job->FichierProprio());
    panel->setCaptionLabelLoad(download ? job->FichierName() : job->FichierPath());

    // Stack position: the content widget scrolls, so a panel placed at
    // i * 78 in it stands at i * 78 minus the scroll position on screen.
    const int top = int(m_panels.size()) * kStackStep;
    const int width = m_box->viewport()->width() - 10;
    if (content->height() < top + kStackStep)
        content->resize(m_box->viewport()->width(), top + kStackStep);
    panel->setGeometry(8, top, width, panel->height());
    panel->PictureFond()->resize(panel->PictureFond()->width(), 50);

    panel->setObjectName(QStringLiteral("Tel") + job->IDTel());
    panel->setProperty("Tag", 0);
    // The context menu opens only through the mouse-up handler below,
    // never by the panel itself.
    panel->installEventFilter(this);
    m_panels.append(panel);
    // A panel may go with its box, before the page (a closing window).
    connect(panel, &QObject::destroyed, this, [this, panel] { m_panels.removeAll(panel); });

    const bool done = job->Status() == QStringLiteral("0");
    const bool cancelled = job->isCancelled();
    // What it holds is shown before any connection: a restored transfer
    // says how far it went.
    panel->setInitialProgress(done ? job->FichierPoidsValue() : job->FichierTel());

    QImage fond(qMax(1, panel->PictureFond()->width()), 50, QImage::Format_RGB32);
    DrawingHelpers::Degrade(fond, true, kFondFrom, kFondTo);
    panel->PictureFond()->setPixmap(QPixmap::fromImage(fond));
    panel->PictureIco()->setPixmap(
        PictureFor(TransferManager::ExtractFileExt(download ? job->FichierName() : job->FichierPath())));

    if (done)
        panel->showStatus(QStringLiteral("Terminé"), true);
    else if (cancelled)
        panel->showStatus(TransferJob::cancelledText(job->FichierProprio()));
    else if (!peerOnline)
        panel->showStatus(download ? QStringLiteral("Source non trouvée") : QStringLiteral("Destinataire non connecté"));
    else
        panel->showStatus(TransferJob::waitingText(job->FichierProprio()));
    panel->show();
}

// Fetching the avatar lets events run; the panel may go meanwhile.
void TTransferPage::jobStarted(TransferJob *job)
{
    const QPointer<TvzkLoadPanel> panel(panelOf(job));
    if (panel && m_session.isConnected())
        AvatarLabel::show(m_avatars, job->FichierProprio(), panel->PictureLoad(), false);
}

void TTransferPage::jobRemoved(TransferJob *job)
{
    TvzkLoadPanel *panel = panelOf(job);
    if (!panel)
        return;
    const qsizetype p = m_panels.indexOf(panel);
    m_panels.removeAt(p);
    m_highlight.forget(panel->objectName());
    delete panel;
    // The panels below close up: their content top is i * 78.
    for (qsizetype i = p; i < m_panels.size(); ++i)
        m_panels.at(i)->move(TransferListRules::PanelLeft, TransferListRules::panelTop(int(i), 0));
}

TvzkLoadPanel *TTransferPage::panelOf(const TransferJob *job) const
{
    for (TvzkLoadPanel *panel : m_panels) {
        if (panel->job() == job)
            return panel;
    }
    return nullptr;
}

TvzkLoadPanel *TTransferPage::panelNamed(const QString &name) const
{
    for (TvzkLoadPanel *panel : m_panels) {
        if (panel->objectName() == name)
            return panel;
    }
    return nullptr;
}

QStringList TTransferPage::names() const
{
    QStringList names;
    for (const TvzkLoadPanel *panel : m_panels)
        names << panel->objectName();
    return names;
}

void TTransferPage::updateCleanButton()
{
    m_cleanButton->setEnabled(!m_transfers.jobs(m_list).isEmpty());
}

void TTransferPage::clearSelection()
{
    // A panel re-created under the name of one highlighted in the last
    // session would take the first click as "un-highlight".
    m_highlight.clear();
}

// ---- what the member does -------------------------------------------------

bool TTransferPage::isCurrentPage() const
{
    // The page stack hides every page but the one on show.
    return isVisibleTo(window());
}

bool TTransferPage::eventFilter(QObject *watched, QEvent *event)
{
    if (auto *panel = qobject_cast<TvzkLoadPanel *>(watched)) {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            // Only the uncovered part of the background answers: not the
            // labels, pictures and bar lying on it.
            if (panel->childAt(mouse->position().toPoint()) == panel->PictureFond()) {
                const QPoint global = mouse->globalPosition().toPoint();
                ErrorReport::guard([&] { vzkLoadPanelClick(panel, mouse->button(), global); });
            }
        } else if (event->type() == QEvent::ContextMenu) {
            return true; // the menu opens from the mouse-up only
        }
        return false;
    }
    if (!m_box)
        return false;
    const bool onViewport = watched == m_box->viewport();
    if (!onViewport && watched != m_box)
        return false;
    if (event->type() == QEvent::Wheel) {
        SBDownMouseWheel(static_cast<QWheelEvent *>(event)->angleDelta().y());
        return true;
    }
    if (event->type() == QEvent::MouseButtonPress && onViewport)
        SBDownClick();
    return false;
}

void TTransferPage::paint(TvzkLoadPanel *panel, bool highlighted)
{
    QLabel *fond = panel->PictureFond();
    fond->setPixmap(
        QPixmap::fromImage(TransferListRules::background(QSize(qMax(1, fond->width()), 50), highlighted)));
    panel->setProperty("Tag", highlighted ? 1 : 0);
}

void TTransferPage::vzkLoadPanelClick(TvzkLoadPanel *panel, Qt::MouseButton button, const QPoint &global)
{
    if (!panel || !m_panels.contains(panel))
        return;
    const TransferHighlight::Click click = m_highlight.mouseUp(names(), panel->objectName(), buttonOf(button));
    for (const QString &name : click.repaintNormal) {
        if (TvzkLoadPanel *other = panelNamed(name))
            paint(other, false);
    }
    if (!click.repaintHighlighted.isEmpty())
        paint(panel, true);
    if (isCurrentPage())
        m_box->setFocus();
    if (click.openMenu && !m_highlight.selection().isEmpty())
        m_popupMenu->popup(global);
}

void TTransferPage::SBDownClick()
{
    m_box->setFocus();
}

void TTransferPage::SBDownMouseWheel(int wheelDelta)
{
    QScrollBar *bar = m_box->verticalScrollBar();
    bar->setValue(bar->value() + TransferListRules::wheelScroll(wheelDelta));
}

TvzkLoadPanel *TTransferPage::selectedPanel() const
{
    if (!isCurrentPage())
        return nullptr;
    // The selection outlives a removed panel; only a panel still listed is
    // acted on.
    const QString name = m_highlight.selection();
    return name.isEmpty() ? nullptr : panelNamed(name);
}

TransferJob *TTransferPage::selectedJob() const
{
    const QString name = m_highlight.selection();
    const TvzkLoadPanel *panel = name.isEmpty() ? nullptr : panelNamed(name);
    return panel ? panel->job() : nullptr;
}

void TTransferPage::PopupMenu1Popup()
{
    TvzkLoadPanel *panel = selectedPanel();
    for (QAction *a : { m_open, m_openFolder, m_cancel, m_propertiesAction })
        a->setEnabled(panel != nullptr);
    if (!panel) {
        m_play->setEnabled(false);
        m_pause->setEnabled(false);
        return;
    }
    const TransferJob &job = *panel->job();
    const TransferListRules::MenuState state = TransferListRules::popupMenuState(
        dataSocketActive(job, m_list == TransferManager::List::Downloads), job.Status(), job.FichierName());
    m_pause->setText(state.pauseCaption);
    // A transfer the other member cancelled never goes on.
    m_pause->setEnabled(state.pauseEnabled && !job.isCancelled());
    // The described names, and anything else the player's back end takes.
    m_play->setEnabled(state.lectureEnabled
        || MediaRules::canPlay(job.FichierName(), TMediaPlayer::playableMimeTypes(), job.FichierPath()));
}

void TTransferPage::Ouvrir1Click()
{
    TvzkLoadPanel *panel = selectedPanel();
    // An unfinished download has no file there yet: nothing to open, and
    // nothing to say. A file that is there and that nothing can open is
    // said in the info bar (openFailed).
    if (!panel || !QFileInfo::exists(panel->FichierPath()))
        return;
    if (!m_dialogs.openUrl(QUrl::fromLocalFile(panel->FichierPath()).toString()))
        emit openFailed(panel->FichierPath());
}

void TTransferPage::Ouvrirledossiercontenant1Click()
{
    if (TvzkLoadPanel *panel = selectedPanel())
        m_dialogs.openUrl(QUrl::fromLocalFile(TransferListRules::ExtractFilePath(panel->FichierPath())).toString());
}

void TTransferPage::Lecture1Click()
{
    const TvzkLoadPanel *panel = selectedPanel();
    if (!panel)
        return;
    const int page
        = m_list == TransferManager::List::Downloads ? MediaRules::kDownloadsPage : MediaRules::kUploadsPage;
    // A download still arriving plays from its own partial file.
    const QString partialName = QFileInfo(panel->job()->partialFilePath()).fileName();
    const QString path = MediaRules::FileToPlay(
        page, panel->Status(), panel->FichierPath(), m_settings.tempFolder(), partialName);
    if (!path.isEmpty())
        emit playRequested(path);
}

void TTransferPage::Pause1Click()
{
    TvzkLoadPanel *panel = selectedPanel();
    if (!panel)
        return;
    // The job keeps the user's pause: a paused upload is not tried again
    // by itself, and the panel's progress caption reads "Pause".
    if (m_pause->text() == TransferListRules::PauseCaption)
        panel->job()->pauseByUser();
    else
        panel->job()->resumeByUser(); // a download's port may be taken now: throws
}

void TTransferPage::Annuler1Click()
{
    const TvzkLoadPanel *panel = selectedPanel();
    if (!panel)
        return;
    const QPointer<TransferJob> job(panel->job());
    if (!m_dialogs.askYesNo(TransferListRules::CancelQuestion, QStringLiteral("Confirmation")))
        return;
    // The question let events through: the transfer may be gone already.
    // The other side is told when it can be, and a partial download goes:
    // a cancelled transfer is over on both sides.
    if (job && m_transfers.contains(job))
        m_transfers.Cancel(job);
}

void TTransferPage::Proprits1Click()
{
    TvzkLoadPanel *panel = selectedPanel();
    if (!panel || !m_properties)
        return;
    const bool download = m_list == TransferManager::List::Downloads;
    const QString ip = download ? QString() : panel->ClientAddress();
    // Throws for a size that is not a number: the window is not opened.
    TransferProperties properties = TransferProperties::of(panel->job()->record(), download, ip);
    properties.vitesse = TransferProperties::speedOf(panel->job());
    TransferProperties::addSecurity(properties, panel->job());
    m_properties->setKeyAcceptance([job = QPointer<TransferJob>(panel->job())] { return job && job->acceptPeerKey(); });
    const QPixmap icon = panel->PictureIco()->pixmap();
    m_properties->setSpeedSource(
        [job = QPointer<TransferJob>(panel->job())] { return TransferProperties::speedOf(job); });
    m_properties->showProperties(properties, icon, QImage());
    if (m_session.isConnected())
        AvatarLabel::show(m_avatars, panel->FichierProprio(), m_properties->imgAvatar, false);
}

void TTransferPage::btnNettoyerClick()
{
    m_transfers.RemoveFinished(m_list);
    updateCleanButton();
}

void TTransferPage::TabSheet2Show()
{
    updateCleanButton();
}
