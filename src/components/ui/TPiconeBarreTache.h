#pragma once

#include "components/PiconeBarreTacheRules.h"

#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

class QTimer;
class QWidget;

// The application's icon in the notification area. It reacts to the mouse on
// the icon (bring the owner form back, open a menu, forward the clicks),
// governs the form's task-bar entry (hidden when minimised, on close, or for
// good), makes that entry blink, and can animate the icon from an image list.
//
// The owner form is the application's main form. The component never makes
// it unreachable: while no notification area exists (no tray host) or the
// icon is not shown, the task-bar entry stays, minimising simply minimises
// and closing closes. When the tray host goes away while the form is hidden,
// the form comes back minimised; when a tray host (re)appears the icon is
// registered again.
//
// Set the published properties, then call Loaded() once, as a form does
// after reading its form file.
class TPiconeBarreTache : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QMenu *MenuPop READ MenuPop WRITE setMenuPop)
    Q_PROPERTY(bool ReduireSiFin READ ReduireSiFin WRITE setReduireSiFin)
    Q_PROPERTY(bool CacherSiMinimize READ CacherSiMinimize WRITE setCacherSiMinimize)
    Q_PROPERTY(bool PetiteIconeVisible READ PetiteIconeVisible WRITE setPetiteIconeVisible)
    Q_PROPERTY(bool GrandeIconeVisible READ GrandeIconeVisible WRITE setGrandeIconeVisible)
    Q_PROPERTY(bool ApplicationCachee READ ApplicationCachee WRITE setApplicationCachee)
    Q_PROPERTY(QString IconeFileName READ IconeFileName WRITE setIconeFileName)
    Q_PROPERTY(QIcon Icone READ Icone WRITE setIcone)
    Q_PROPERTY(QList<QIcon> ImageList READ ImageList WRITE setImageList)
    Q_PROPERTY(QString OrdreImageListAffiche READ OrdreImageListAffiche WRITE setOrdreImageListAffiche)
    Q_PROPERTY(int IntervalAnimation READ IntervalAnimation WRITE setIntervalAnimation)
    Q_PROPERTY(bool Animation READ Animation WRITE setAnimation)
    Q_PROPERTY(int NumIconeImageList READ NumIconeImageList WRITE setNumIconeImageList)
    Q_PROPERTY(QString Hint READ Hint WRITE setHint)
    Q_PROPERTY(bool GrandeIconBlink READ GrandeIconBlink WRITE setGrandeIconBlink)
    Q_PROPERTY(int IntervalGrandeIconeBlink READ IntervalGrandeIconeBlink WRITE setIntervalGrandeIconeBlink)
    Q_PROPERTY(bool OuvreSiClicGauche READ OuvreSiClicGauche WRITE setOuvreSiClicGauche)
    Q_PROPERTY(bool OuvreSiDblClick READ OuvreSiDblClick WRITE setOuvreSiDblClick)
    Q_PROPERTY(bool MenuSiClicDroit READ MenuSiClicDroit WRITE setMenuSiClicDroit)
    Q_PROPERTY(bool MenuSiClicGauche READ MenuSiClicGauche WRITE setMenuSiClicGauche)

public:
    // How often the presence of a tray host is checked, so the icon comes
    // back after the host restarts (Qt gives no signal for it).
    static constexpr int kTrayHostCheckMs = 2000;

    explicit TPiconeBarreTache(QWidget *ownerForm);
    ~TPiconeBarreTache() override;

    // After the properties are set: registers the icon when
    // PetiteIconeVisible, and shows image NumIconeImageList.
    void Loaded();

    // Brings the owner form back: out of its minimised state, visible,
    // repainted, task-bar entry per GrandeIconeVisible, in front.
    void ShowApplication();
    // Hides the task-bar entry and the form. Without a notification area
    // to come back from, the form is minimised instead.
    void HideApplication();
    void AddIcon();
    void ShowImageListIcon(int Index);

    QMenu *MenuPop() const { return m_menuPop; }
    // The menu is also handed to the notification area, which shows it on
    // a right click itself where the desktop draws the menus (StatusNotifier
    // hosts), so only while MenuSiClicDroit.
    void setMenuPop(QMenu *menu);
    bool ReduireSiFin() const { return m_reduireSiFin; }
    void setReduireSiFin(bool v) { m_reduireSiFin = v; }
    bool CacherSiMinimize() const { return m_cacherSiMinimize; }
    void setCacherSiMinimize(bool v) { m_cacherSiMinimize = v; }
    bool PetiteIconeVisible() const { return m_petiteIconeVisible; }
    void setPetiteIconeVisible(bool v);
    bool GrandeIconeVisible() const { return m_grandeIconeVisible; }
    void setGrandeIconeVisible(bool v);
    bool ApplicationCachee() const { return m_applicationCachee; }
    void setApplicationCachee(bool v);
    QString IconeFileName() const { return m_iconeFileName; }
    void setIconeFileName(const QString &v);
    QIcon Icone() const { return m_icone; }
    void setIcone(const QIcon &icon);
    QList<QIcon> ImageList() const { return m_imageList; }
    void setImageList(const QList<QIcon> &list) { m_imageList = list; }
    QString OrdreImageListAffiche() const { return m_ordre; }
    // Throws ExceptionNumsImageLIstAffiche for anything but digits and
    // commas, keeping the former list.
    void setOrdreImageListAffiche(const QString &v);
    int IntervalAnimation() const { return m_intervalAnimation; }
    void setIntervalAnimation(int ms);
    bool Animation() const { return m_animation; }
    void setAnimation(bool v);
    int NumIconeImageList() const { return m_numIconeImageList; }
    void setNumIconeImageList(int v);
    QString Hint() const { return m_hint; }
    void setHint(const QString &v);
    bool GrandeIconBlink() const { return m_grandeIconBlink; }
    void setGrandeIconBlink(bool v);
    int IntervalGrandeIconeBlink() const { return m_intervalBlink; }
    void setIntervalGrandeIconeBlink(int ms);
    bool OuvreSiClicGauche() const { return m_ouvreSiClicGauche; }
    void setOuvreSiClicGauche(bool v) { m_ouvreSiClicGauche = v; }
    bool OuvreSiDblClick() const { return m_ouvreSiDblClick; }
    void setOuvreSiDblClick(bool v) { m_ouvreSiDblClick = v; }
    bool MenuSiClicDroit() const { return m_menuSiClicDroit; }
    void setMenuSiClicDroit(bool v);
    bool MenuSiClicGauche() const { return m_menuSiClicGauche; }
    void setMenuSiClicGauche(bool v) { m_menuSiClicGauche = v; }

    // State for callers and tests.
    bool IconShown() const { return m_iconShown; }
    bool IconLoaded() const { return m_iconLoaded; }
    int CurrentImage() const { return m_anim.CurrentImage; }
    int OrderCount() const { return m_orderCount; }
    QString TipText() const { return m_tip; }
    // Whether the owner form currently has its task-bar entry.
    bool TaskbarEntryShown() const { return !m_taskbarHidden; }
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    QTimer *blinkTimer() const { return m_blinkTimer; }
    QTimer *animationTimer() const { return m_animationTimer; }

public slots:
    // What the notification area reports about the icon.
    void IconActivated(QSystemTrayIcon::ActivationReason reason);
    // Re-registers the icon when a tray host appeared; brings the form back
    // when the host went away while the form was hidden.
    void CheckTrayHost();
    void BlinkTick();
    void StopFlashing();
    void AnimationStep();

signals:
    // Mouse on the icon: button, buttons held ("shift state"), pointer X, Y.
    // Qt reports presses only, so each press is followed by its release.
    // OnMouseMove: Qt's tray API reports no pointer moves, so it never fires.
    void OnMouseDown(Qt::MouseButton button, Qt::MouseButtons shift, int X, int Y);
    void OnMouseUp(Qt::MouseButton button, Qt::MouseButtons shift, int X, int Y);
    void OnMouseMove(Qt::MouseButtons shift, int X, int Y);
    void OnDblClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

    // The platform, replaceable in tests.
    virtual bool trayAvailable() const;
    virtual void registerIcon(); // add or modify
    virtual void unregisterIcon(); // delete
    virtual void flash(int ms); // the task-bar entry asks for attention for ms
    virtual void popupMenu(const QPoint &at);
    virtual QPoint cursorPos() const;

private:
    QWidget *owner() const { return m_owner.data(); }
    // The task-bar entry may go only while an icon leads back to the form.
    bool canLeaveTaskbar() const;
    void hideApplicationWindow();
    void showApplicationWindow();
    void AppMinimizeHook();
    void AppActivateHook();
    bool FormCloseHook();

    QPointer<QWidget> m_owner;
    QSystemTrayIcon *m_tray = nullptr;
    QTimer *m_blinkTimer = nullptr;
    QTimer *m_animationTimer = nullptr;
    QTimer *m_hostTimer = nullptr;

    QPointer<QMenu> m_menuPop;
    bool m_reduireSiFin = false;
    bool m_cacherSiMinimize = false;
    bool m_petiteIconeVisible = true;
    bool m_grandeIconeVisible = true;
    bool m_applicationCachee = false;
    QString m_iconeFileName;
    QIcon m_icone;
    QList<QIcon> m_imageList;
    QString m_ordre;
    int m_orderCount = 0;
    int m_intervalAnimation = 1000;
    bool m_animation = false;
    int m_numIconeImageList = 0;
    QString m_hint;
    QString m_tip;
    bool m_grandeIconBlink = false;
    int m_intervalBlink = 1000;
    bool m_ouvreSiClicGauche = true;
    bool m_ouvreSiDblClick = false;
    bool m_menuSiClicDroit = true;
    bool m_menuSiClicGauche = false;

    bool m_iconShown = false;
    bool m_iconLoaded = false;
    bool m_taskbarHidden = false;
    bool m_hostSeen = false;
    PiconeBarreTacheRules::AnimationState m_anim;
};
