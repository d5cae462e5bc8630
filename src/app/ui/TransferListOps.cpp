#include "app/ui/TransferListOps.h"
#include "media/MediaRules.h"
#include "media/ui/TMediaPlayer.h"

#include "base/DialogService.h"
#include "base/ErrorReport.h"
#include "components/ui/TRbButton.h"
#include "app/ui/TfrmPrincipal.h"
#include "service/ServiceSession.h"
#include "transfer/TransferJob.h"
#include "transfer/TransferListRules.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferProperties.h"
#include "transfer/ui/LoadPanelRecord.h"
#include "transfer/ui/TfrmPropriete.h"
#include "transfer/ui/TransferPanels.h"
#include "transfer/ui/TvzkLoadPanel.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyle>
#include <QFileInfo>
#include <QUrl>
#include <QWheelEvent>

namespace {

constexpr int kDownloadsPage = 1;
constexpr int kUploadsPage = 2;

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

} // namespace

TransferListOps::TransferListOps(TfrmPrincipal &main)
    : QObject(&main)
    , m(main)
{
    QMenu *menu = m.PopupMenu1;
    // The pictures of the main image list: 7 open, 8 play, 5 cancel,
    // 4 properties; the desktop style's own stand for them.
    QStyle *style = QApplication::style();
    Ouvrir1 = menu->addAction(style->standardIcon(QStyle::SP_DialogOpenButton), QStringLiteral("Ouvrir"));
    Ouvrirledossiercontenant1 = menu->addAction(QStringLiteral("Ouvrir le dossier contenant"));
    menu->setDefaultAction(Ouvrirledossiercontenant1);
    Lecture1 = menu->addAction(style->standardIcon(QStyle::SP_MediaPlay), QStringLiteral("Lecture"));
    menu->addSeparator();
    Pause1 = menu->addAction(TransferListRules::PauseCaption);
    Annuler1 = menu->addAction(style->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Annuler"));
    menu->addSeparator();
    Proprits1
        = menu->addAction(style->standardIcon(QStyle::SP_FileDialogInfoView), QStringLiteral("Propriétés"));
    const std::pair<QAction **, const char *> names[] = { { &Ouvrir1, "Ouvrir1" },
        { &Ouvrirledossiercontenant1, "Ouvrirledossiercontenant1" }, { &Lecture1, "Lecture1" },
        { &Pause1, "Pause1" }, { &Annuler1, "Annuler1" }, { &Proprits1, "Proprits1" } };
    for (const auto &[action, name] : names)
        (*action)->setObjectName(QLatin1String(name));
    // The commands may meet a removed panel or a port in use: reported,
    // never thrown into the event loop.
    auto guarded = [this](void (TransferListOps::*fn)()) { return [this, fn] { ErrorReport::guard([&] { (this->*fn)(); }); }; };
    connect(menu, &QMenu::aboutToShow, this, guarded(&TransferListOps::PopupMenu1Popup));
    connect(Ouvrir1, &QAction::triggered, this, guarded(&TransferListOps::Ouvrir1Click));
    connect(Ouvrirledossiercontenant1, &QAction::triggered, this,
        guarded(&TransferListOps::Ouvrirledossiercontenant1Click));
    connect(Lecture1, &QAction::triggered, this, [this] { ErrorReport::guard([this] { m.Lecture1Click(); }); });
    connect(Pause1, &QAction::triggered, this, guarded(&TransferListOps::Pause1Click));
    connect(Annuler1, &QAction::triggered, this, guarded(&TransferListOps::Annuler1Click));
    connect(Proprits1, &QAction::triggered, this, guarded(&TransferListOps::Proprits1Click));

    btnNettoyer = new TRbButton(m.TabSheet2);
    btnNettoyer->setObjectName(QStringLiteral("btnNettoyer"));
    btnNettoyer2 = new TRbButton(m.TabSheet3);
    btnNettoyer2->setObjectName(QStringLiteral("btnNettoyer2"));
    for (TRbButton *button : { btnNettoyer, btnNettoyer2 }) {
        button->setCaption(QStringLiteral("Nettoyer"));
        button->UseFormColors();
        button->setGeometry(428, 450, 100, 26);
        button->setEnabled(false);
        connect(button, &TRbButton::OnClick, this,
            [this, button] { ErrorReport::guard([&] { btnNettoyerClick(button); }); });
    }
    connect(m.PageControl, &QStackedWidget::currentChanged, this, [this](int index) {
        if (index == kDownloadsPage)
            TabSheet2Show();
        else if (index == kUploadsPage)
            TabSheet3Show();
    });

    for (int list : { 1, 2 }) {
        QScrollArea *box = boxOf(list);
        box->setFocusPolicy(Qt::StrongFocus);
        box->viewport()->installEventFilter(this);
        box->installEventFilter(this);
        m_watchedBoxes[list - 1] = box;
        m_watchedViewports[list - 1] = box->viewport();
    }
    m.TransferView->PanelEvents = this;
    frmPropriete = new TfrmPropriete(&m);
    // "Nettoyer" follows the lists at once, not only when its page shows.
    connect(m.Transfers, &TransferManager::ListChanged, this, &TransferListOps::updateCleanButtons);
}

void TransferListOps::updateCleanButtons()
{
    btnNettoyer->setEnabled(!m.Transfers->DownloadList.isEmpty());
    btnNettoyer2->setEnabled(!m.Transfers->UploadList.isEmpty());
}

QStringList &TransferListOps::listOf(int list) const
{
    return list == 1 ? m.Transfers->DownloadList : m.Transfers->UploadList;
}

QScrollArea *TransferListOps::boxOf(int list) const
{
    return list == 1 ? m.SBDown : m.SBUp;
}

void TransferListOps::detach()
{
    m_detached = true;
}

bool TransferListOps::eventFilter(QObject *watched, QEvent *event)
{
    if (m_detached)
        return false;
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
    for (int list : { 1, 2 }) {
        const bool onViewport = watched == m_watchedViewports[list - 1];
        if (!onViewport && watched != m_watchedBoxes[list - 1])
            continue;
        QScrollArea *box = boxOf(list);
        if (event->type() == QEvent::Wheel) {
            scroll(box, static_cast<QWheelEvent *>(event)->angleDelta().y());
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress && onViewport) {
            list == 1 ? SBDownClick() : SBUpClick();
        }
    }
    return false;
}

void TransferListOps::paint(TvzkLoadPanel *panel, bool highlighted)
{
    QLabel *fond = panel->PictureFond();
    fond->setPixmap(
        QPixmap::fromImage(TransferListRules::background(QSize(qMax(1, fond->width()), 50), highlighted)));
    panel->setProperty("Tag", highlighted ? 1 : 0);
}

void TransferListOps::vzkLoadPanelClick(TvzkLoadPanel *panel, Qt::MouseButton button, const QPoint &global)
{
    if (!panel)
        return;
    const int page = m.PageControl->currentIndex();
    // A panel belongs to the list that names it; a click on a panel of a
    // page not shown (a test, a stray event) still acts on its own list.
    int list = m.Transfers->DownloadList.contains(panel->objectName()) ? 1 : 2;
    if (page == kDownloadsPage || page == kUploadsPage)
        list = listOf(page).contains(panel->objectName()) ? page : list;
    TransferHighlight &h = highlight(list);
    const TransferHighlight::Click click = h.mouseUp(listOf(list), panel->objectName(), buttonOf(button));
    for (const QString &name : click.repaintNormal) {
        if (TvzkLoadPanel *other = m.TransferView->panelNamed(name))
            paint(other, false);
    }
    if (!click.repaintHighlighted.isEmpty())
        paint(panel, true);

    if (m.PageControl->currentWidget() == m.TabSheet2)
        m.SBDown->setFocus();
    else if (m.PageControl->currentWidget() == m.TabSheet3)
        m.SBUp->setFocus();

    (list == 1 ? m.SelectedDownload : m.SelectedUpload) = h.selection();
    if (click.openMenu && !h.selection().isEmpty())
        m.PopupMenu1->popup(global);
}

void TransferListOps::SBDownClick()
{
    m.SBDown->setFocus();
}

void TransferListOps::SBUpClick()
{
    m.SBUp->setFocus();
}

void TransferListOps::scroll(QScrollArea *box, int wheelDelta)
{
    QScrollBar *bar = box->verticalScrollBar();
    bar->setValue(bar->value() + TransferListRules::wheelScroll(wheelDelta));
}

void TransferListOps::SBDownMouseWheel(int wheelDelta)
{
    scroll(m.SBDown, wheelDelta);
}

void TransferListOps::SBUpMouseWheel(int wheelDelta)
{
    scroll(m.SBUp, wheelDelta);
}

TvzkLoadPanel *TransferListOps::selectedPanel(int *list) const
{
    const int page = m.PageControl->currentIndex();
    if (page != kDownloadsPage && page != kUploadsPage)
        return nullptr;
    if (list)
        *list = page;
    const QString name = page == kDownloadsPage ? m.SelectedDownload : m.SelectedUpload;
    // The selection outlives a removed panel; only a panel still in its
    // list is acted on.
    if (name.isEmpty() || !listOf(page).contains(name))
        return nullptr;
    return m.TransferView->panelNamed(name);
}

namespace {

// "Pau&se" while the transfer goes on or tries to: a download listening
// (not one whose file waits to be put in place: "Reprendre" tries that
// again), an upload connected or trying again by itself.
bool dataSocketActive(TvzkLoadPanel *panel, int list)
{
    const TransferJob *job = panel->job();
    if (list == 1)
        return panel->isServerActive() && !job->placementFailed();
    return !job->isPausedByUser() && (panel->isClientActive() || job->wantsRetry());
}

} // namespace

void TransferListOps::PopupMenu1Popup()
{
    int list = 0;
    TvzkLoadPanel *panel = selectedPanel(&list);
    for (QAction *a : { Ouvrir1, Ouvrirledossiercontenant1, Annuler1, Proprits1 })
        a->setEnabled(panel != nullptr);
    if (!panel) {
        Lecture1->setEnabled(false);
        Pause1->setEnabled(false);
        return;
    }
    const TransferListRules::MenuState state
        = TransferListRules::popupMenuState(dataSocketActive(panel, list), panel->Status(), panel->FichierName());
    Pause1->setText(state.pauseCaption);
    // A transfer the other member cancelled never goes on.
    Pause1->setEnabled(state.pauseEnabled && !panel->job()->isCancelled());
    // The described names, and anything else the player's back end takes.
    Lecture1->setEnabled(state.lectureEnabled
        || MediaRules::canPlay(panel->FichierName(), TMediaPlayer::playableMimeTypes(), panel->FichierPath()));
}

void TransferListOps::Ouvrir1Click()
{
    TvzkLoadPanel *panel = selectedPanel();
    // An unfinished download has no file there yet: nothing to open, and
    // nothing to say. A file that is there and that nothing can open is
    // said in the info bar (ShellOpenFailed).
    if (!panel || !QFileInfo::exists(panel->FichierPath()))
        return;
    if (!m.services.dialogs->openUrl(QUrl::fromLocalFile(panel->FichierPath()).toString()))
        m.ShellOpenFailed(panel->FichierPath());
}

void TransferListOps::Ouvrirledossiercontenant1Click()
{
    if (TvzkLoadPanel *panel = selectedPanel())
        m.services.dialogs->openUrl(
            QUrl::fromLocalFile(TransferListRules::ExtractFilePath(panel->FichierPath())).toString());
}

void TransferListOps::Pause1Click()
{
    int list = 0;
    TvzkLoadPanel *panel = selectedPanel(&list);
    if (!panel)
        return;
    // The job keeps the user's pause: a paused upload is not tried again
    // by itself, and the panel's progress caption reads "Pause".
    if (Pause1->text() == TransferListRules::PauseCaption)
        panel->job()->pauseByUser();
    else
        panel->job()->resumeByUser(); // a download's port may be taken now: throws
}

void TransferListOps::Annuler1Click()
{
    int list = 0;
    if (!selectedPanel(&list))
        return;
    const QString name = list == 1 ? m.SelectedDownload : m.SelectedUpload;
    if (!m.services.dialogs->askYesNo(TransferListRules::CancelQuestion, QStringLiteral("Confirmation")))
        return;
    // The question let events through: the transfer may be gone already.
    if (!(list == 1 ? m.Transfers->DownloadList : m.Transfers->UploadList).contains(name))
        return;
    // The other side is told when it can be, and a partial download goes:
    // a cancelled transfer is over on both sides.
    if (TransferJob *job = m.Transfers->JobNamed(name))
        job->cancelByUser();
    KillTel(name, list);
}

void TransferListOps::Proprits1Click()
{
    int list = 0;
    TvzkLoadPanel *panel = selectedPanel(&list);
    if (!panel)
        return;
    const QString ip = list == 1 ? QString() : panel->ClientAddress();
    // Throws for a size that is not a number: the window is not opened.
    TransferProperties properties = TransferProperties::of(LoadPanelRecord::of(*panel), list == 1, ip);
    properties.vitesse = TransferProperties::speedOf(panel->job());
    TransferProperties::addSecurity(properties, panel->job());
    frmPropriete->setKeyAcceptance([job = QPointer<TransferJob>(panel->job())] { return job && job->acceptPeerKey(); });
    const QPixmap icon = panel->PictureIco()->pixmap();
    frmPropriete->setSpeedSource([job = QPointer<TransferJob>(panel->job())] { return TransferProperties::speedOf(job); });
    frmPropriete->showProperties(properties, icon, QImage());
    if (m.session.Connected)
        m.GetAvatar(panel->FichierProprio(), frmPropriete->imgAvatar, false);
}

void TransferListOps::KillTel(const QString &name, int list)
{
    QStringList &names = listOf(list);
    const qsizetype p = names.indexOf(name);
    if (p < 0)
        return;
    names.removeAt(p);
    highlight(list).forget(name);
    // Destroying the panel closes its sockets; the file and the port stay.
    delete m.TransferView->panelNamed(name);
    // The panels live in the scrolled content, so their content top is
    // i * 78: on screen, i * 78 minus the scroll position.
    for (qsizetype i = p; i < names.size(); ++i) {
        if (TvzkLoadPanel *panel = m.TransferView->panelNamed(names.at(i)))
            panel->move(TransferListRules::PanelLeft, TransferListRules::panelTop(int(i), 0));
    }
    m.Transfers->NoteListChanged();
}

void TransferListOps::btnNettoyerClick(QObject *sender)
{
    const int list = sender == btnNettoyer2 ? 2 : 1;
    QStringList &names = listOf(list);
    QStringList statuses;
    for (const QString &name : std::as_const(names)) {
        const TvzkLoadPanel *panel = m.TransferView->panelNamed(name);
        statuses << (panel ? panel->Status() : QString());
    }
    const QStringList snapshot = names;
    for (int index : TransferListRules::finishedFromLast(statuses))
        KillTel(snapshot.at(index), list);
    (list == 1 ? btnNettoyer : btnNettoyer2)->setEnabled(!names.isEmpty());
}

void TransferListOps::TabSheet2Show()
{
    btnNettoyer->setEnabled(!m.Transfers->DownloadList.isEmpty());
}

void TransferListOps::TabSheet3Show()
{
    btnNettoyer2->setEnabled(!m.Transfers->UploadList.isEmpty());
}
