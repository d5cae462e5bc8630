#include "app/ui/ApplicationWindows.h"

#include "app/DesktopNotifications.h"
#include "app/PopupNotifier.h"
#include "app/QuitSignals.h"
#include "app/TrayStatus.h"
#include "app/ui/TfrmAbout.h"
#include "app/ui/TfrmChat.h"
#include "app/ui/TfrmPrincipal.h"
#include "base/SettingsStore.h"
#include "components/ui/TPiconeBarreTache.h"
#include "contacts/AvatarCache.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/TfrmCard.h"
#include "contacts/ui/TfrmChangeAvatar.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/ui/TfrmReception.h"
#include "transfer/PeerKeys.h"
#include "transfer/TransferManager.h"
#include "service/ServiceSession.h"
#include "transfer/ui/TfrmPropriete.h"

#include <QGuiApplication>
#include <QPointer>
#include <QSet>
#include <QSessionManager>

ApplicationWindows::ApplicationWindows()
    : settings(std::make_unique<SettingsStore>())
{
    AppServices services;
    services.dialogs = &dialogs;
    services.settings = settings.get();
    services.environment = AppEnvironment::fromProcess();
    services.environment.serviceCaFile = AppEnvironment::chooseServiceCaFile(
        services.environment.serviceCaFile, settings->read(AppEnvironment::kServiceCaSetting));
    session = std::make_unique<ServiceSession>(services.environment.serviceUrl, services.httpLimits,
        services.environment.localIp, &dialogs);
    session->setServiceCaFile(services.environment.serviceCaFile);
    services.session = session.get();
    // The member's key for encrypted transfers, made at the first start.
    QString keyError;
    TransferSecurity::setDefault(TransferSecurity::open(services.environment.homeDir, &keyError));
    if (!keyError.isEmpty())
        qWarning("Transferts sans chiffrement : %s", qPrintable(keyError));
    presence = std::make_unique<PresenceMonitor>(*session);
    services.presence = presence.get();
    notifier = std::make_unique<PopupNotifier>();
    services.notifier = notifier.get();
    avatars = std::make_unique<AvatarCache>(*session);
    services.avatars = avatars.get();

    frmPrincipal = std::make_unique<TfrmPrincipal>(services);
    dialogs.setParentWindow(frmPrincipal.get());
    // Whatever the desktop could not open is said in the info bar.
    dialogs.setOpenFailedHandler([main = QPointer<TfrmPrincipal>(frmPrincipal.get())](const QString &address) {
        if (main)
            main->ShellOpenFailed(address);
    });
    m_order << frmPrincipal->objectName();
    frmAbout = std::make_unique<TfrmAbout>(frmPrincipal.get());
    m_order << frmAbout->objectName();
    frmPrincipal->setAboutBox(frmAbout.get());
    frmPropriete = std::make_unique<TfrmPropriete>(frmPrincipal.get());
    m_order << frmPropriete->objectName();
    frmChat = std::make_unique<TfrmChat>(frmPrincipal.get());
    m_order << frmChat->objectName();
    frmReception = std::make_unique<TfrmReception>();
    m_order << frmReception->objectName();
    frmPrincipal->ReceptionWindow = frmReception.get();
    ConnectReception(frmPrincipal.get(), frmReception.get(), &dialogs);
    frmCard = std::make_unique<TfrmCard>(frmPrincipal.get());
    m_order << frmCard->objectName();
    frmChangeAvatar = std::make_unique<TfrmChangeAvatar>(
        *session, dialogs, frmPrincipal->programDir(), frmPrincipal.get());
    m_order << frmChangeAvatar->objectName();
    frmPrincipal->setContactWindows(frmCard.get(), frmChangeAvatar.get());

    desktopNotifications = std::make_unique<DesktopNotifications>(notifier.get());
    ConnectDesktopNotifications(frmPrincipal.get(), frmReception.get(), desktopNotifications.get());
    trayStatus = std::make_unique<TrayStatus>(session.get(), frmPrincipal->Transfers);
    ConnectTrayStatus(frmPrincipal.get(), trayStatus.get());
}

ApplicationWindows::~ApplicationWindows()
{
    trayStatus.reset();
    desktopNotifications.reset();
    frmChangeAvatar.reset();
    frmCard.reset();
    frmReception.reset();
    frmChat.reset();
    frmPropriete.reset();
    frmAbout.reset();
    frmPrincipal.reset();
    avatars.reset();
    notifier.reset();
    presence.reset();
    session.reset();
}

void ConnectReception(TfrmPrincipal *main, TfrmReception *reception, DialogService *dialogs)
{
    reception->setServices(main->Control, dialogs);
    reception->setDownloads(main->services.settings, [main](const QString &path) {
        return main->Transfers->DownloadsTo(path);
    });
    reception->IconForExtension = [main](const QString &ext) {
        return main->IconForExtension ? main->IconForExtension(ext) : QPixmap();
    };
    QObject::connect(main->Control, &ControlChannel::OfferReceived, reception, &TfrmReception::ShowOffer);
    QObject::connect(main->Control, &ControlChannel::OfferClosed, reception, &TfrmReception::OfferClosed);
}

void ConnectDesktopNotifications(
    TfrmPrincipal *main, TfrmReception *reception, DesktopNotifications *notifications)
{
    const QPointer<TfrmPrincipal> window(main);
    notifications->WindowAttended = [window] {
        return window && window->isVisible() && !window->isMinimized() && window->isActiveWindow();
    };
    notifications->watchChannel(main->Control);
    notifications->watchTransfers(main->Transfers);

    ControlChannel *channel = main->Control;
    // Offers accepted from the desktop before the window showed them.
    auto acceptWhenShown = std::make_shared<QSet<int>>();
    QObject::connect(notifications, &DesktopNotifications::offerAnswerWanted, reception,
        [reception, channel, acceptWhenShown](int id, bool accept) {
            if (reception->OfferOnShow() == id) {
                if (accept)
                    reception->btnAccepterClick();
                else
                    reception->btnRefuserClick();
            } else if (channel->OfferAwaitingAnswer(id)) {
                if (accept)
                    acceptWhenShown->insert(id);
                else
                    channel->RefuseOffer(id);
            }
        });
    // Queued: the window takes the offer first, and the save dialog that
    // follows runs its own event loop, outside the channel's signal.
    QObject::connect(
        channel, &ControlChannel::OfferReceived, reception,
        [reception, acceptWhenShown](int id) {
            if (acceptWhenShown->remove(id) && reception->OfferOnShow() == id)
                reception->btnAccepterClick();
        },
        Qt::QueuedConnection);
    QObject::connect(channel, &ControlChannel::OfferClosed, reception,
        [acceptWhenShown](int id) { acceptWhenShown->remove(id); });
}

void ConnectTrayStatus(TfrmPrincipal *main, TrayStatus *status)
{
    TPiconeBarreTache *tray = main->PiconeBarreTache1;
    const auto applyHost = [tray](bool statusNotifierHost) {
        // An XEmbed area reports double clicks: there a single click stays
        // without effect, as it always was.
        tray->setOuvreSiClicGauche(statusNotifierHost);
    };
    tray->setHint(status->toolTip());
    applyHost(status->statusNotifierHost());
    QObject::connect(status, &TrayStatus::toolTipChanged, tray, &TPiconeBarreTache::setHint);
    QObject::connect(status, &TrayStatus::hostChanged, tray, applyHost);
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
