#pragma once

#include "app/ui/QtDialogService.h"

#include <QStringList>

#include <memory>

class AvatarCache;
class DesktopNotifications;
class TrayStatus;
class PopupNotifier;
class QuitSignals;
class PresenceMonitor;
class ServiceSession;
class SettingsStore;
class TfrmAbout;
class TfrmCard;
class TfrmChangeAvatar;
class TfrmChat;
class TfrmPrincipal;
class TfrmPropriete;
class TfrmReception;
class DialogService;

// The wiring point: makes the controllers, then the windows made at
// start-up in their fixed order, handing each window the controllers it
// uses. Windows go in reverse order, the controllers after them, so a reply
// that comes while windows close still finds its controller.
class ApplicationWindows
{
public:
    ApplicationWindows();
    ~ApplicationWindows();

    // Object names of the windows in the order they were created.
    QStringList creationOrder() const { return m_order; }

    QtDialogService dialogs;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<ServiceSession> session;
    std::unique_ptr<PresenceMonitor> presence;
    std::unique_ptr<PopupNotifier> notifier;
    std::unique_ptr<AvatarCache> avatars;
    std::unique_ptr<TfrmPrincipal> frmPrincipal;
    std::unique_ptr<TfrmAbout> frmAbout;
    std::unique_ptr<TfrmPropriete> frmPropriete;
    std::unique_ptr<TfrmChat> frmChat;
    std::unique_ptr<TfrmReception> frmReception;
    std::unique_ptr<TfrmCard> frmCard;
    std::unique_ptr<TfrmChangeAvatar> frmChangeAvatar;
    // Made after the main window (they follow its channel and transfers),
    // gone before it.
    std::unique_ptr<DesktopNotifications> desktopNotifications;
    std::unique_ptr<TrayStatus> trayStatus;

private:
    QStringList m_order;
};

// The confirmation window follows the main window's control channel: it
// shows each offer and sends the user's answer.
void ConnectReception(TfrmPrincipal *main, TfrmReception *reception, DialogService *dialogs);

// The desktop's notifications follow the main window's channel, transfers
// and pop-ups while the window is not looked at; "Accepter" and "Refuser" of
// an offer answer it as the confirmation window's buttons do (an offer the
// window does not show yet is accepted once it shows it).
void ConnectDesktopNotifications(
    TfrmPrincipal *main, TfrmReception *reception, DesktopNotifications *notifications);

// The tray icon's tip follows the member and the running transfers; on a
// StatusNotifier host, where no double click ever comes, a single click
// brings the window back.
void ConnectTrayStatus(TfrmPrincipal *main, TrayStatus *status);

// A quit signal (SIGTERM, SIGINT, SIGHUP) or the end of the desktop session
// closes the main window, which is the program's normal exit: the lists are
// saved and the member logged out. When that exit is given up (the lists
// could not be saved) the program goes on, and the session's end is
// cancelled.
void ConnectQuitRequests(TfrmPrincipal *main, QuitSignals *quitSignals);
