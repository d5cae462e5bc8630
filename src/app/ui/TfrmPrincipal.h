#pragma once

#include "components/ui/PageLook.h"
#include "transfer/TransferManager.h"

#include <QHash>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

class AlertSound;
class AppControllers;
class QAction;
class QFrame;
class QKeyEvent;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QStackedWidget;
class QTimer;
class TClickLabel;
class TContactPage;
class TContactView;
class TDistractBar;
class TLoginPage;
class TMediaPage;
class TOnlineList;
class TOptionsPage;
class TPiconeBarreTache;
class TRbButton;
class TRbProgressBar;
class TSendPage;
class TShape;
class TStatusBar;
class TTransferPage;
class TfrmChangeAvatar;
class TfrmMsgBox;

// The main window: the menu (the page labels, the member's avatar and name,
// the contact view), the page stack with one widget per page, the info bar,
// the tray icon and the status bar. It holds no state of a subsystem: its
// handlers read the controllers it was given and call their operations,
// and it shows what their signals tell. The windows made after it
// (ApplicationWindows) are joined to it through the set... operations.
class TfrmPrincipal : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr quint16 kControlPort = 2000;
    static constexpr int kClientWidth = 716;
    static constexpr int kClientHeight = 518;
    static constexpr quint32 kMenuPlainColor = PageLook::kMenuPlainColor;
    static constexpr quint32 kMenuSelectedColor = PageLook::kMenuSelectedColor;
    // The hidden control log keeps the last kLogLines lines, each cut at
    // kLogLineLength characters.
    static constexpr int kLogLines = 2000;
    static constexpr int kLogLineLength = 1000;

    explicit TfrmPrincipal(AppControllers &controllers, QWidget *parent = nullptr);
    ~TfrmPrincipal() override;

    // The windows made after this one.
    void setAboutBox(QWidget *about) { m_about = about; }
    // The incoming-file window, restored by a click on a "file offered"
    // pop-up and closed on the way out.
    void setReceptionWindow(QWidget *reception) { m_reception = reception; }
    void setChangeAvatarWindow(TfrmChangeAvatar *window);
    // Sound of the pop-ups; the window takes it over (tests give a fake).
    void setAlertSound(AlertSound *sound);

    // The pages and the contact view.
    TLoginPage &loginPage() const { return *m_loginPage; }
    TTransferPage &transferPage(TransferManager::List list) const;
    TSendPage &sendPage() const { return *m_sendPage; }
    TOptionsPage &optionsPage() const { return *m_optionsPage; }
    TContactPage &contactPage() const { return *m_contactPage; }
    TMediaPage &mediaPage() const { return *m_mediaPage; }
    TContactView &contactView() const { return *m_contactView; }
    // The page labels of the menu, top to bottom.
    QList<TClickLabel *> menuLabels() const;
    TPiconeBarreTache &trayIcon() const { return *m_trayIcon; }
    // The images of the tray menu's items, by image index.
    const QList<QIcon> &trayMenuImages() const { return m_trayMenuImages; }

    // --- start-up, layout, navigation, exit ---------------------------------
    void FormShow();
    bool FormCloseQuery();
    void FormResize();
    // The diagnostic toggle: the key left of "1" shows the control log, then
    // the online list instead, and so on; never while a text field has the
    // focus.
    void FormKeyDown(const QKeyEvent &event);
    static bool IsDiagnosticKey(const QKeyEvent &event);
    static bool IsTextEntry(const QWidget *widget);
    // The shared click handler of the page labels.
    void lblEnvoyerClick(TClickLabel *sender);
    void lblTelEnCoursMouseEnter(TClickLabel *sender);
    void lblTelEnCoursMouseLeave(TClickLabel *sender);
    TClickLabel *highlightedMenuLabel() const { return m_highlighted; }
    void lblAboutClick();
    void Quitter1Click();
    void OuvrirVoxlane1Click();
    // Dropped local files and folders: the send page shows them, ready to be
    // offered to the member typed there; taken only while logged in.
    void DropFiles(const QStringList &paths);
    // Dropped on an online contact of the list: offered to that contact at
    // once, one after the other. False when pseudo is not an online contact.
    bool DropFilesOnContact(const QString &pseudo, const QStringList &paths);
    void setDropAccepted(bool accepted);
    bool dropAccepted() const { return m_dropAccepted; }
    // The shell's "open" action; when no program can open the address, the
    // info bar says so (otherwise only a terminal would have seen it).
    void ShellOpen(const QString &address);
    void ShellOpenFailed(const QString &address);
    // Writes one line to the hidden control log.
    void LogWatch(const QString &line);

    // --- session --------------------------------------------------------------
    // The menu label: the log-in page while logged out, log-out while logged
    // in (asked first; the lists are saved before the session closes).
    void lblDeconnectClick();

    // --- the transfer lists -----------------------------------------------------
    // Re-creates the member's saved transfers (after log-in).
    void OpenLoad();
    // Writes both lists to the member's file; false when that failed (it
    // was reported), and the log-out or exit that called it stops.
    bool SaveLoad();
    // The save of a log-out or an exit: every transfer stops first, so that
    // the file holds their last state, and the session's own saves end.
    // False when the save failed: the transfers go on as before.
    bool SaveLoadForLeaving();
    // A log-out or exit given up after SaveLoadForLeaving succeeded: the
    // session's saves and the transfers start again.
    void StayAfterLeavingFailed();

    // --- info bar and pop-ups ------------------------------------------------
    // Shows Text in the info panel (Show set), for Milliseconds when above 0;
    // hides the panel (Show clear).
    void AffichInfo(const QString &Text, bool Show, int Milliseconds);
    void TimerInfoTimer();
    // Shows one notification pop-up of the given kind (0 contact online,
    // 1 file offered, 2 download ended, 3 upload ended); it talks to the
    // notifier, whose requests the window hands to its handlers. The pop-up
    // frees itself when it goes: hold it in a QPointer.
    TfrmMsgBox *NewMsgBox(const QString &Pseudo, const QString &Text, quint8 Kind);
    // Plays "newalert.wav" from the program's folder unless a sound of the
    // pop-ups is still playing; a missing file plays nothing.
    void PlayAlertSound();
    // Brings the main window back: applicationRestoring (the tray icon's
    // "bring the application back"), then shown, in its normal state, raised
    // and active.
    void RestoreMainWindow();
    // "Envoyer un fichier" of a pop-up: the send page for that contact, whose
    // recipient is filled and whose file choice opens.
    void SendFileToContact(const QString &pseudo);

    // --- the member's own avatar and its menu ----------------------------------
    void imgAvatarClick();
    void Changersonavatar1Click();
    void Affichermacartedevisite1Click();
    void Affichermonprofil1Click();
    // PopupMenuAvatar belongs to imgAvatar from log-in to log-out.
    bool avatarMenuAttached() const { return m_avatarMenuAttached; }

    // --- media and the tray menu -----------------------------------------------
    // Plays path on the media page and shows the page. A file that cannot
    // be read throws VoxlaneError after playback was asked for; the labels
    // and the page stay as they were.
    void PlayMediaFile(const QString &path);
    // "Ouvrir…" of the media page: a file of the disk to play; one the
    // player cannot take is said in the info bar.
    void OpenMediaFile();
    // The tray menu is opening / its player item was chosen.
    void PopupSysTrayPopup();
    void Lecture2Click();

signals:
    void closing();
    void applicationRestoring();

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenu(QWidget *central);
    void buildAvatarMenu();
    void buildPages(QWidget *central);
    void buildDiagnostics(QWidget *central);
    void buildInfoPanel(QWidget *central);
    void buildTray();
    void connectControllers();
    void connectNotifier();
    void FormCreate();
    void startControlListener();
    void setHighlighted(TClickLabel *label);
    void pageShown(int index);
    void logInAccepted();
    void showOwnAvatar(bool refresh);
    AlertSound *alertSound();

    AppControllers &m_controllers;

    QWidget *m_central = nullptr;
    // The menu panel (pnMenu) and what it holds.
    QWidget *m_menu = nullptr;
    QLabel *m_ownAvatar = nullptr;
    QLabel *m_ownPseudo = nullptr;
    TClickLabel *m_downloadsLabel = nullptr;
    TClickLabel *m_uploadsLabel = nullptr;
    TClickLabel *m_sendLabel = nullptr;
    TClickLabel *m_mediaLabel = nullptr;
    TClickLabel *m_contactsLabel = nullptr;
    TClickLabel *m_optionsLabel = nullptr;
    TClickLabel *m_sessionLabel = nullptr;
    TClickLabel *m_aboutLabel = nullptr;
    TClickLabel *m_highlighted = nullptr;
    QLabel *m_contactsHeading = nullptr;
    TContactView *m_contactView = nullptr;
    QMenu *m_avatarMenu = nullptr;
    QAction *m_changeAvatarAction = nullptr;
    QAction *m_ownCardAction = nullptr;
    QAction *m_ownProfileAction = nullptr;
    bool m_avatarMenuAttached = false;

    // The page stack (PageControl) and its pages, in page order.
    QStackedWidget *m_pages = nullptr;
    TLoginPage *m_loginPage = nullptr;
    TTransferPage *m_downloadsPage = nullptr;
    TTransferPage *m_uploadsPage = nullptr;
    TSendPage *m_sendPage = nullptr;
    TOptionsPage *m_optionsPage = nullptr;
    TContactPage *m_contactPage = nullptr;
    TMediaPage *m_mediaPage = nullptr;

    // The hidden control log and online list, shown by the key right of ';'.
    QPlainTextEdit *m_log = nullptr;
    TOnlineList *m_onlineList = nullptr;

    // The info bar (pnInfo) and its controls.
    QFrame *m_infoPanel = nullptr;
    QLabel *m_infoText = nullptr;
    TShape *m_infoFrame = nullptr;
    QLabel *m_infoIcon = nullptr;
    TDistractBar *m_activityBar = nullptr;
    TRbProgressBar *m_loadingBar = nullptr;
    TRbButton *m_cancelOffer = nullptr;
    QTimer *m_infoTimer = nullptr;

    TStatusBar *m_statusBar = nullptr;

    // The tray icon and its menu.
    TPiconeBarreTache *m_trayIcon = nullptr;
    QMenu *m_trayMenu = nullptr;
    QAction *m_openAction = nullptr;
    QAction *m_playerAction = nullptr;
    QAction *m_quitAction = nullptr;
    QList<QIcon> m_trayMenuImages;

    QPointer<QWidget> m_about;
    QPointer<QWidget> m_reception;
    QPointer<TfrmChangeAvatar> m_changeAvatar;
    AlertSound *m_alertSound = nullptr;
    bool m_dropAccepted = false;
    bool m_shown = false;
    // The "file offered" pop-up of each offer still open, by offer id.
    QHash<int, QPointer<TfrmMsgBox>> m_offerPopups;
};
