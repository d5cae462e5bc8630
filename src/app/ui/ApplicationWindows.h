#pragma once

#include "base/AppEnvironment.h"
#include "service/HttpClient.h"

#include <QDBusConnection>
#include <QStringList>

#include <functional>

#include <memory>

class AvatarCache;
class ContactManager;
class ControlChannel;
class DesktopNotifications;
class DialogService;
class FileTypeIcons;
class OfferQueue;
class PopupNotifier;
class PresenceMonitor;
class QtDialogService;
class QuitSignals;
class ServiceSession;
class SettingsStore;
class TfrmAbout;
class TfrmCard;
class TfrmChangeAvatar;
class TfrmChat;
class TfrmPrincipal;
class TfrmPropriete;
class TfrmReception;
class TransferListStore;
class TransferManager;
class TrayStatus;

// What a run is given from outside: the desktop's dialogs, the settings
// store, the environment and the time limits of requests to the community
// service. The program takes its own; tests give a scripted dialog service,
// a settings file of their own and the address of a fake service.
struct AppServices
{
    DialogService *dialogs = nullptr;
    SettingsStore *settings = nullptr;
    AppEnvironment environment;
    HttpLimits httpLimits;
    // The bus the desktop's notifications and the tray's host are asked on;
    // the session bus when not given.
    std::function<QDBusConnection()> desktopBus;
};

// The controllers of one running client, each made once, in this order, from
// the ones above it, and joined: the session, presence, the pop-ups'
// notifier, the avatar cache, the contact manager, the transfer manager, the
// control channel, the offer queue, the transfer list store, the file-type
// pictures, the desktop's notifications and the tray's status. They
// are destroyed in the reverse order. The remembered account and the sound
// setting are read here, and the temp folder is made.
class AppControllers
{
public:
    explicit AppControllers(const AppServices &services);
    ~AppControllers();

    const AppServices &services() const { return m_services; }
    DialogService &dialogs() const { return *m_services.dialogs; }
    SettingsStore &settings() const { return *m_services.settings; }
    const AppEnvironment &environment() const { return m_services.environment; }

    ServiceSession &session() const { return *m_session; }
    PresenceMonitor &presence() const { return *m_presence; }
    PopupNotifier &notifier() const { return *m_notifier; }
    AvatarCache &avatars() const { return *m_avatars; }
    ContactManager &contacts() const { return *m_contacts; }
    TransferManager &transfers() const { return *m_transfers; }
    ControlChannel &control() const { return *m_control; }
    OfferQueue &offers() const { return *m_offers; }
    TransferListStore &transferLists() const { return *m_transferLists; }
    const FileTypeIcons &fileTypes() const { return *m_fileTypes; }
    DesktopNotifications &desktopNotifications() const { return *m_desktopNotifications; }
    TrayStatus &trayStatus() const { return *m_trayStatus; }

private:
    AppServices m_services;
    std::unique_ptr<ServiceSession> m_session;
    std::unique_ptr<PresenceMonitor> m_presence;
    std::unique_ptr<PopupNotifier> m_notifier;
    std::unique_ptr<AvatarCache> m_avatars;
    std::unique_ptr<ContactManager> m_contacts;
    std::unique_ptr<TransferManager> m_transfers;
    std::unique_ptr<ControlChannel> m_control;
    std::unique_ptr<OfferQueue> m_offers;
    std::unique_ptr<TransferListStore> m_transferLists;
    std::unique_ptr<FileTypeIcons> m_fileTypes;
    std::unique_ptr<DesktopNotifications> m_desktopNotifications;
    std::unique_ptr<TrayStatus> m_trayStatus;
};

// The wiring point: makes the controllers, then the windows made at
// start-up in their fixed order, handing each window the controllers it
// uses, and joins them. Windows go in reverse order, the controllers after
// them, so a reply that comes while windows close still finds its
// controller.
class ApplicationWindows
{
public:
    // The program's own run: the desktop's dialogs, the user's settings,
    // the process's environment.
    ApplicationWindows();
    // A run on the services given (they must outlive it).
    explicit ApplicationWindows(const AppServices &services);
    ~ApplicationWindows();

    // Object names of the windows in the order they were created.
    QStringList creationOrder() const { return m_order; }

    AppControllers &controllers() const { return *m_controllers; }
    TfrmPrincipal &main() const { return *m_main; }
    TfrmAbout &about() const { return *m_about; }
    TfrmPropriete &properties() const { return *m_properties; }
    TfrmChat &chat() const { return *m_chat; }
    TfrmReception &reception() const { return *m_reception; }
    TfrmCard &card() const { return *m_card; }
    TfrmChangeAvatar &changeAvatar() const { return *m_changeAvatar; }

private:
    static AppServices programServices(QtDialogService &dialogs, SettingsStore &settings);
    void makeWindows();
    void connectDesktopNotifications();
    void connectTrayStatus();

    std::unique_ptr<QtDialogService> m_ownDialogs;
    std::unique_ptr<SettingsStore> m_ownSettings;
    std::unique_ptr<AppControllers> m_controllers;
    std::unique_ptr<TfrmPrincipal> m_main;
    std::unique_ptr<TfrmAbout> m_about;
    std::unique_ptr<TfrmPropriete> m_properties;
    std::unique_ptr<TfrmChat> m_chat;
    std::unique_ptr<TfrmReception> m_reception;
    std::unique_ptr<TfrmCard> m_card;
    std::unique_ptr<TfrmChangeAvatar> m_changeAvatar;
    QStringList m_order;
};

// A quit signal (SIGTERM, SIGINT, SIGHUP) or the end of the desktop session
// closes the main window, which is the program's normal exit: the lists are
// saved and the member logged out. When that exit is given up (the lists
// could not be saved) the program goes on, and the session's end is
// cancelled.
void ConnectQuitRequests(TfrmPrincipal *main, QuitSignals *quitSignals);
