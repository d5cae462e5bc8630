#include "app/ui/ApplicationWindows.h"

#include "app/DesktopNotifications.h"
#include "app/PopupNotifier.h"
#include "app/QuitSignals.h"
#include "app/TrayStatus.h"
#include "app/ui/QtDialogService.h"
#include "app/ui/TfrmAbout.h"
#include "app/ui/TfrmChat.h"
#include "app/ui/TfrmPrincipal.h"
#include "base/ErrorReport.h"
#include "base/SettingsStore.h"
#include "components/FileTypeIcons.h"
#include "components/ui/TPiconeBarreTache.h"
#include "contacts/AvatarCache.h"
#include "contacts/ContactManager.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/TContactView.h"
#include "contacts/ui/TfrmCard.h"
#include "contacts/ui/TfrmChangeAvatar.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/OfferQueue.h"
#include "negotiation/ui/TfrmReception.h"
#include "service/ServiceSession.h"
#include "transfer/PeerKeys.h"
#include "transfer/TransferListStore.h"
#include "transfer/TransferManager.h"
#include "transfer/ui/TTransferPage.h"
#include "transfer/ui/TfrmPropriete.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QSessionManager>
#include <QSet>

AppControllers::AppControllers(const AppServices &services)
    : m_services(services)
{
    DialogService &dialogs = *services.dialogs;
    SettingsStore &settings = *services.settings;
    const AppEnvironment &environment = services.environment;

    m_session = std::make_unique<ServiceSession>(
        environment.serviceUrl, services.httpLimits, environment.localIp, dialogs);
    m_session->setServiceCaFile(environment.serviceCaFile);
    m_presence = std::make_unique<PresenceMonitor>(*m_session);
    m_notifier = std::make_unique<PopupNotifier>();
    m_avatars = std::make_unique<AvatarCache>(*m_session);
    m_contacts = std::make_unique<ContactManager>(*m_session, *m_presence, dialogs);
    m_transfers = std::make_unique<TransferManager>(*m_session, *m_presence, settings, environment.localIp);
    // The member's key for encrypted transfers, made at the first start;
    // every transfer this client makes takes it (two clients in one
    // process, as in tests, each keep their own).
    QString keyError;
    m_transfers->setSecurity(TransferSecurity::open(environment.homeDir, &keyError));
    if (!keyError.isEmpty())
        qWarning("Transferts sans chiffrement : %s", qPrintable(keyError));
    m_control = std::make_unique<ControlChannel>(*m_session, *m_presence, *m_transfers);
    m_offers = std::make_unique<OfferQueue>(*m_control);
    m_transferLists = std::make_unique<TransferListStore>(*m_transfers, environment.homeDir);
    m_fileTypes = std::make_unique<FileTypeIcons>(
        QFileInfo(settings.fileName()).absolutePath() + QStringLiteral("/VoxlaneFileClasses.json"), dialogs);
    if (services.desktopBus) {
        m_desktopNotifications = std::make_unique<DesktopNotifications>(m_notifier.get(), services.desktopBus());
        m_trayStatus = std::make_unique<TrayStatus>(m_session.get(), m_transfers.get(), services.desktopBus());
    } else {
        m_desktopNotifications = std::make_unique<DesktopNotifications>(m_notifier.get());
        m_trayStatus = std::make_unique<TrayStatus>(m_session.get(), m_transfers.get());
    }
    m_desktopNotifications->watchChannel(m_control.get());
    m_desktopNotifications->watchTransfers(m_transfers.get());

    // A transfer's data port is one the control channel gives no other
    // offer; the member's list file follows the lists during the session,
    // so that a crash loses no transfer; uploads whose recipient is back are
    // tried again at once.
    QObject::connect(m_transfers.get(), &TransferManager::AddPort, m_control.get(), &ControlChannel::AddPort);
    QObject::connect(
        m_transfers.get(), &TransferManager::ListChanged, m_transferLists.get(), &TransferListStore::requestSave);
    QObject::connect(m_presence.get(), &PresenceMonitor::polled, m_transfers.get(), &TransferManager::PresenceChanged);

    // A store that cannot be opened (a folder that cannot be written) goes to
    // the general error report once; the client then starts without a
    // remembered account and with the defaults, as on a first start.
    ErrorReport::guard([this, &settings] {
        m_session->restoreRememberedAccount(settings);
        m_notifier->SoundEnabled = settings.read(QStringLiteral("PlaySound")) == QStringLiteral("1");
    });
    settings.prepareTempFolder(environment.homeDir);
}

AppControllers::~AppControllers()
{
    // Each goes before the ones it was made from.
    m_trayStatus.reset();
    m_desktopNotifications.reset();
    m_fileTypes.reset();
    m_transferLists.reset();
    m_offers.reset();
    m_control.reset();
    m_transfers.reset();
    m_contacts.reset();
    m_avatars.reset();
    m_notifier.reset();
    m_presence.reset();
    m_session.reset();
}

AppServices ApplicationWindows::programServices(QtDialogService &dialogs, SettingsStore &settings)
{
    AppServices services;
    services.dialogs = &dialogs;
    services.settings = &settings;
    services.environment = AppEnvironment::fromProcess();
    services.environment.serviceCaFile = AppEnvironment::chooseServiceCaFile(
        services.environment.serviceCaFile, settings.read(AppEnvironment::kServiceCaSetting));
    return services;
}

ApplicationWindows::ApplicationWindows()
    : m_ownDialogs(std::make_unique<QtDialogService>())
    , m_ownSettings(std::make_unique<SettingsStore>())
{
    m_controllers = std::make_unique<AppControllers>(programServices(*m_ownDialogs, *m_ownSettings));
    makeWindows();
}

ApplicationWindows::ApplicationWindows(const AppServices &services)
    : m_controllers(std::make_unique<AppControllers>(services))
{
    makeWindows();
}

void ApplicationWindows::makeWindows()
{
    AppControllers &c = *m_controllers;
    m_main = std::make_unique<TfrmPrincipal>(c);
    m_order << m_main->objectName();
    if (m_ownDialogs) {
        m_ownDialogs->setParentWindow(m_main.get());
        // Whatever the desktop could not open is said in the info bar.
        m_ownDialogs->setOpenFailedHandler([main = QPointer<TfrmPrincipal>(m_main.get())](const QString &address) {
            if (main)
                main->ShellOpenFailed(address);
        });
    }

    m_about = std::make_unique<TfrmAbout>(m_main.get());
    m_order << m_about->objectName();
    m_main->setAboutBox(m_about.get());

    m_properties = std::make_unique<TfrmPropriete>(m_main.get());
    m_order << m_properties->objectName();
    for (TransferManager::List list : { TransferManager::List::Downloads, TransferManager::List::Uploads })
        m_main->transferPage(list).setPropertiesWindow(m_properties.get());

    m_chat = std::make_unique<TfrmChat>(m_main.get());
    m_order << m_chat->objectName();

    // The confirmation window follows the control channel: it shows each
    // offer and sends the user's answer.
    m_reception = std::make_unique<TfrmReception>();
    m_order << m_reception->objectName();
    m_reception->setServices(&c.control(), &c.dialogs());
    TransferManager &transfers = c.transfers();
    m_reception->setDownloads(
        &c.settings(), [&transfers](const QString &path) { return transfers.DownloadsTo(path); });
    const FileTypeIcons &fileTypes = c.fileTypes();
    m_reception->IconForExtension
        = [&fileTypes](const QString &extension) { return QPixmap::fromImage(fileTypes.forExtension(extension)); };
    QObject::connect(&c.control(), &ControlChannel::OfferReceived, m_reception.get(), &TfrmReception::ShowOffer);
    QObject::connect(&c.control(), &ControlChannel::OfferClosed, m_reception.get(), &TfrmReception::OfferClosed);
    m_main->setReceptionWindow(m_reception.get());

    m_card = std::make_unique<TfrmCard>(m_main.get());
    m_order << m_card->objectName();
    m_card->setDialogs(&c.dialogs());
    QObject::connect(m_card.get(), &TfrmCard::openFailed, m_main.get(), &TfrmPrincipal::ShellOpenFailed);
    QObject::connect(m_card.get(), &TfrmCard::sendFileRequested, m_main.get(), &TfrmPrincipal::SendFileToContact);
    m_main->contactView().setCardWindow(m_card.get());

    m_changeAvatar = std::make_unique<TfrmChangeAvatar>(
        c.session(), c.dialogs(), c.environment().homeDir + QStringLiteral("/"), m_main.get());
    m_order << m_changeAvatar->objectName();
    m_main->setChangeAvatarWindow(m_changeAvatar.get());

    connectDesktopNotifications();
    connectTrayStatus();
}

// The desktop's notifications speak while the main window is not looked at;
// "Accepter" and "Refuser" of an offer answer it as the confirmation
// window's buttons do (an offer the window does not show yet is accepted
// once it shows it).
void ApplicationWindows::connectDesktopNotifications()
{
    DesktopNotifications &notifications = m_controllers->desktopNotifications();
    ControlChannel &channel = m_controllers->control();
    TfrmReception *reception = m_reception.get();
    const QPointer<TfrmPrincipal> window(m_main.get());
    notifications.WindowAttended = [window] {
        return window && window->isVisible() && !window->isMinimized() && window->isActiveWindow();
    };
    auto acceptWhenShown = std::make_shared<QSet<int>>();
    QObject::connect(&notifications, &DesktopNotifications::offerAnswerWanted, reception,
        [reception, &channel, acceptWhenShown](int id, bool accept) {
            if (reception->OfferOnShow() == id) {
                if (accept)
                    reception->btnAccepterClick();
                else
                    reception->btnRefuserClick();
            } else if (channel.OfferAwaitingAnswer(id)) {
                if (accept)
                    acceptWhenShown->insert(id);
                else
                    channel.RefuseOffer(id);
            }
        });
    // Queued: the window takes the offer first, and the save dialog that
    // follows runs its own event loop, outside the channel's signal.
    QObject::connect(
        &channel, &ControlChannel::OfferReceived, reception,
        [reception, acceptWhenShown](int id) {
            if (acceptWhenShown->remove(id) && reception->OfferOnShow() == id)
                reception->btnAccepterClick();
        },
        Qt::QueuedConnection);
    QObject::connect(
        &channel, &ControlChannel::OfferClosed, reception, [acceptWhenShown](int id) { acceptWhenShown->remove(id); });
}

// The tray icon's tip follows the member and the running transfers; on a
// StatusNotifier host, where no double click ever comes, a single click
// brings the window back.
void ApplicationWindows::connectTrayStatus()
{
    TrayStatus &status = m_controllers->trayStatus();
    TPiconeBarreTache *tray = &m_main->trayIcon();
    const auto applyHost = [tray](bool statusNotifierHost) {
        // An XEmbed area reports double clicks: there a single click stays
        // without effect, as it always was.
        tray->setOuvreSiClicGauche(statusNotifierHost);
    };
    tray->setHint(status.toolTip());
    applyHost(status.statusNotifierHost());
    QObject::connect(&status, &TrayStatus::toolTipChanged, tray, &TPiconeBarreTache::setHint);
    QObject::connect(&status, &TrayStatus::hostChanged, tray, applyHost);
}

ApplicationWindows::~ApplicationWindows()
{
    m_changeAvatar.reset();
    m_card.reset();
    m_reception.reset();
    m_chat.reset();
    m_properties.reset();
    m_about.reset();
    m_main.reset();
    m_controllers.reset();
}

void ConnectQuitRequests(TfrmPrincipal *main, QuitSignals *quitSignals)
{
    const QPointer<TfrmPrincipal> window(main);
    QObject::connect(quitSignals, &QuitSignals::quitRequested, main, [window] {
        if (window)
            window->close();
    });
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, main, [window](QSessionManager &manager) {
        if (window && !window->close())
            manager.cancel();
    });
}
