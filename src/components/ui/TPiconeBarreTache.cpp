#include "components/ui/TPiconeBarreTache.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMenu>
#include <QTimer>
#include <QWidget>

using namespace PiconeBarreTacheRules;

TPiconeBarreTache::TPiconeBarreTache(QWidget *ownerForm)
    : QObject(ownerForm)
    , m_owner(ownerForm)
    , m_icone(qApp->windowIcon())
{
    m_tray = new QSystemTrayIcon(this);
    connect(m_tray, &QSystemTrayIcon::activated, this, &TPiconeBarreTache::IconActivated);

    m_blinkTimer = new QTimer(this);
    m_blinkTimer->setInterval(m_intervalBlink);
    connect(m_blinkTimer, &QTimer::timeout, this, &TPiconeBarreTache::BlinkTick);
    m_animationTimer = new QTimer(this);
    m_animationTimer->setInterval(m_intervalAnimation);
    connect(m_animationTimer, &QTimer::timeout, this, &TPiconeBarreTache::AnimationStep);
    m_hostTimer = new QTimer(this);
    m_hostTimer->setInterval(kTrayHostCheckMs);
    connect(m_hostTimer, &QTimer::timeout, this, &TPiconeBarreTache::CheckTrayHost);

    if (ownerForm)
        ownerForm->installEventFilter(this);
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            AppActivateHook();
    });
}

TPiconeBarreTache::~TPiconeBarreTache()
{
    if (m_iconShown)
        m_tray->hide();
    if (QWidget *form = owner())
        form->removeEventFilter(this);
}

void TPiconeBarreTache::Loaded()
{
    m_hostSeen = trayAvailable();
    AddIcon();
    m_iconLoaded = true;
    ShowImageListIcon(m_numIconeImageList);
    m_hostTimer->start();
}

void TPiconeBarreTache::AddIcon()
{
    m_tip = PiconeBarreTacheRules::TipText(m_hint);
    if (m_petiteIconeVisible) {
        registerIcon();
        m_iconShown = true;
    }
}

void TPiconeBarreTache::ShowImageListIcon(int Index)
{
    m_anim.CurrentImage = Index;
    if (CanShowImage(Index, int(m_imageList.size())))
        setIcone(m_imageList.at(Index));
}

// --- the owner form and its task-bar entry -----------------------------------

bool TPiconeBarreTache::canLeaveTaskbar() const
{
    return m_iconShown && trayAvailable();
}

void TPiconeBarreTache::hideApplicationWindow()
{
    QWidget *form = owner();
    if (!form || !canLeaveTaskbar())
        return;
    m_taskbarHidden = true;
    if (form->isMinimized() || !form->isVisible()) {
        // A minimised window leaves the task bar by being withdrawn; not
        // from inside its own state change, hence queued.
        QTimer::singleShot(0, form, [this, form] {
            if (m_taskbarHidden && form->isMinimized())
                form->hide();
        });
    } else if (!form->windowFlags().testFlag(Qt::Tool)) {
        // A form on show keeps out of the task bar as a tool window.
        form->setWindowFlag(Qt::Tool, true);
        form->show();
    }
}

void TPiconeBarreTache::showApplicationWindow()
{
    m_taskbarHidden = false;
    QWidget *form = owner();
    if (form && form->windowFlags().testFlag(Qt::Tool)) {
        const bool visible = form->isVisible();
        form->setWindowFlag(Qt::Tool, false);
        if (visible)
            form->show();
    }
}

void TPiconeBarreTache::ShowApplication()
{
    QWidget *form = owner();
    if (!form)
        return;
    form->setWindowState(form->windowState() & ~Qt::WindowMinimized);
    form->show();
    form->repaint();
    if (m_grandeIconeVisible)
        showApplicationWindow();
    else
        hideApplicationWindow();
    form->raise();
    form->activateWindow();
}

void TPiconeBarreTache::HideApplication()
{
    QWidget *form = owner();
    if (!form)
        return;
    if (canLeaveTaskbar()) {
        m_taskbarHidden = true;
        form->hide();
    } else {
        // Nothing would lead back to a hidden form: keep it in the task bar.
        form->showMinimized();
    }
}

void TPiconeBarreTache::AppMinimizeHook()
{
    if (m_cacherSiMinimize)
        hideApplicationWindow();
}

void TPiconeBarreTache::AppActivateHook()
{
    if (!m_grandeIconeVisible)
        hideApplicationWindow();
}

bool TPiconeBarreTache::FormCloseHook()
{
    QWidget *form = owner();
    if (!form || !m_reduireSiFin || !canLeaveTaskbar())
        return false;
    m_taskbarHidden = true;
    form->hide();
    return true;
}

bool TPiconeBarreTache::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == owner()) {
        if (event->type() == QEvent::WindowStateChange && owner()->isMinimized()) {
            AppMinimizeHook();
        } else if (event->type() == QEvent::Close && FormCloseHook()) {
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TPiconeBarreTache::CheckTrayHost()
{
    const bool available = trayAvailable();
    if (available && !m_hostSeen) {
        // A tray host started (again): it knows nothing of the icon.
        if (m_iconLoaded && m_petiteIconeVisible) {
            unregisterIcon();
            AddIcon();
        }
    } else if (!available && m_taskbarHidden) {
        // The only way back to the form has gone: give it its entry again.
        // Whether the last check saw the host does not matter: a host that
        // came back between two checks, took the form and went again leaves
        // it just as unreachable.
        showApplicationWindow();
        if (QWidget *form = owner())
            form->showMinimized();
    }
    m_hostSeen = available;
}

// --- properties --------------------------------------------------------------

void TPiconeBarreTache::setMenuPop(QMenu *menu)
{
    m_menuPop = menu;
    m_tray->setContextMenu(m_menuSiClicDroit ? menu : nullptr);
}

void TPiconeBarreTache::setMenuSiClicDroit(bool v)
{
    m_menuSiClicDroit = v;
    m_tray->setContextMenu(v ? m_menuPop.data() : nullptr);
}

void TPiconeBarreTache::setPetiteIconeVisible(bool v)
{
    if (v == m_petiteIconeVisible)
        return;
    m_petiteIconeVisible = v;
    if (!m_iconLoaded)
        return;
    if (v) {
        AddIcon();
        return;
    }
    unregisterIcon();
    m_iconShown = false;
    if (m_taskbarHidden) {
        showApplicationWindow();
        if (QWidget *form = owner(); form && !form->isVisible())
            form->showMinimized();
    }
}

void TPiconeBarreTache::setGrandeIconeVisible(bool v)
{
    m_grandeIconeVisible = v;
    if (v)
        showApplicationWindow();
    else
        hideApplicationWindow();
}

void TPiconeBarreTache::setApplicationCachee(bool v)
{
    m_applicationCachee = v;
    if (v)
        HideApplication();
    else
        ShowApplication();
}

void TPiconeBarreTache::setIconeFileName(const QString &v)
{
    m_iconeFileName = v;
    if (!v.isEmpty())
        setIcone(QIcon(v));
}

void TPiconeBarreTache::setIcone(const QIcon &icon)
{
    m_icone = icon;
    if (m_iconShown)
        registerIcon();
}

void TPiconeBarreTache::setOrdreImageListAffiche(const QString &v)
{
    CheckOrder(v);
    m_orderCount = PiconeBarreTacheRules::OrderCount(v);
    m_ordre = v;
}

void TPiconeBarreTache::setIntervalAnimation(int ms)
{
    m_intervalAnimation = ms;
    m_animationTimer->setInterval(ms);
    if (m_animation && ms > 0)
        m_animationTimer->start();
    else
        m_animationTimer->stop();
}

void TPiconeBarreTache::setAnimation(bool v)
{
    m_animation = v;
    // A period of 0 would fire without pause; such a timer stays off.
    if (v && m_intervalAnimation > 0)
        m_animationTimer->start();
    else
        m_animationTimer->stop();
    if (!v)
        ShowImageListIcon(m_numIconeImageList);
}

void TPiconeBarreTache::setNumIconeImageList(int v)
{
    m_numIconeImageList = v;
    if (!m_animation)
        ShowImageListIcon(v);
}

void TPiconeBarreTache::setHint(const QString &v)
{
    m_hint = v;
    m_tip = PiconeBarreTacheRules::TipText(v);
    if (m_iconShown)
        registerIcon();
}

void TPiconeBarreTache::setGrandeIconBlink(bool v)
{
    m_grandeIconBlink = v;
    if (v && m_intervalBlink > 0) {
        m_blinkTimer->start();
    } else {
        m_blinkTimer->stop();
        if (!v)
            StopFlashing();
    }
}

void TPiconeBarreTache::setIntervalGrandeIconeBlink(int ms)
{
    m_intervalBlink = ms;
    m_blinkTimer->setInterval(ms);
    if (m_grandeIconBlink && ms > 0)
        m_blinkTimer->start();
    else
        m_blinkTimer->stop();
}

// --- timers and the icon's messages -----------------------------------------

void TPiconeBarreTache::BlinkTick()
{
    // Attention for half a period, none for the other half: a blink.
    flash(qMax(1, m_intervalBlink / 2));
}

void TPiconeBarreTache::StopFlashing()
{
    // Qt has no call that withdraws an attention request; the last one was
    // asked for half a period and ends by itself (or when the form is
    // activated). Stopping the ticks is what stops the blinking.
    m_blinkTimer->stop();
}

void TPiconeBarreTache::AnimationStep()
{
    const int next = PiconeBarreTacheRules::AnimationStep(m_anim, m_ordre, int(m_imageList.size()));
    if (next >= 0)
        ShowImageListIcon(next);
}

void TPiconeBarreTache::IconActivated(QSystemTrayIcon::ActivationReason reason)
{
    const QPoint pos = cursorPos();
    const auto click = [&](Qt::MouseButton button) {
        emit OnMouseDown(button, button, pos.x(), pos.y());
        emit OnMouseUp(button, button, pos.x(), pos.y());
    };
    bool menu = false;
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        click(Qt::LeftButton);
        if (m_ouvreSiClicGauche)
            setApplicationCachee(false);
        menu = m_menuSiClicGauche;
        break;
    case QSystemTrayIcon::DoubleClick:
        emit OnDblClick();
        if (m_ouvreSiDblClick)
            setApplicationCachee(false);
        break;
    case QSystemTrayIcon::Context:
        click(Qt::RightButton);
        menu = m_menuSiClicDroit;
        break;
    case QSystemTrayIcon::MiddleClick:
        click(Qt::MiddleButton);
        break;
    case QSystemTrayIcon::Unknown:
        break;
    }
    if (menu && m_menuPop)
        popupMenu(pos);
}

// --- the platform ------------------------------------------------------------

bool TPiconeBarreTache::trayAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TPiconeBarreTache::registerIcon()
{
    m_tray->setIcon(m_icone.isNull() ? qApp->windowIcon() : m_icone);
    m_tray->setToolTip(m_tip);
    m_tray->show();
}

void TPiconeBarreTache::unregisterIcon()
{
    m_tray->hide();
}

void TPiconeBarreTache::flash(int ms)
{
    if (QWidget *form = owner())
        QApplication::alert(form, ms);
}

void TPiconeBarreTache::popupMenu(const QPoint &at)
{
    // An XEmbed area opens the icon's own menu before it reports the click:
    // it is not opened a second time.
    if (m_menuPop->isVisible())
        return;
    if (QWidget *form = owner())
        form->activateWindow();
    m_menuPop->popup(at);
}

QPoint TPiconeBarreTache::cursorPos() const
{
    return QCursor::pos();
}
