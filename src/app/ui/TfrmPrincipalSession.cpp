// The main window's side of the session: start-up, what the controllers tell
// it, the log-in and log-out sequences around the pages, the transfer lists
// of a session, and the exit.
#include "app/ui/TfrmPrincipal.h"

#include "app/ui/ApplicationWindows.h"
#include "app/ui/TfrmMsgBox.h"
#include "base/DialogService.h"
#include "base/ErrorReport.h"
#include "base/SettingsStore.h"
#include "components/ui/TClickLabel.h"
#include "components/ui/TRbButton.h"
#include "components/ui/TRbProgressBar.h"
#include "components/ui/TStatusBar.h"
#include "contacts/AvatarCache.h"
#include "contacts/PresenceMonitor.h"
#include "contacts/ui/TContactView.h"
#include "media/ui/TMediaPage.h"
#include "media/ui/TMediaPlayer.h"
#include "negotiation/ControlChannel.h"
#include "negotiation/OfferQueue.h"
#include "app/PopupNotifier.h"
#include "service/ServiceSession.h"
#include "service/ui/TLoginPage.h"
#include "transfer/TransferListStore.h"
#include "transfer/TransferRate.h"
#include "transfer/ui/TTransferPage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTimer>

namespace {

const QString kLogoutQuestion = QStringLiteral("Êtes-vous sûr de vouloir vous déconnecter ?");

} // namespace

void TfrmPrincipal::connectControllers()
{
    AppControllers &c = m_controllers;
    // What the controllers tell, shown here; once the window is gone these
    // connections go with it and a late reply changes only the controller.
    connect(&c.session(), &ServiceSession::info, this, &TfrmPrincipal::AffichInfo);
    connect(&c.session(), &ServiceSession::statusText, this,
        [this](int panel, const QString &text) { m_statusBar->setPanelText(panel, text); });
    connect(&c.session(), &ServiceSession::loginAnswered, this, [this] {
        m_controllers.presence().refreshTimer().start();
        CenterControl(m_mediaPage->WMPlayer, m_mediaPage, 1);
    });
    connect(&c.presence(), &PresenceMonitor::statusText, this,
        [this](int panel, const QString &text) { m_statusBar->setPanelText(panel, text); });
    connect(&c.avatars(), &AvatarCache::logLine, this, &TfrmPrincipal::LogWatch);
    // A broken avatar is reported without holding back the other
    // announcements or the rest of the tick.
    connect(m_contactView, &TContactView::cameOnline, this, [this](const QString &pseudo) {
        m_controllers.notifier().contactOnline(pseudo);
        ErrorReport::guard([this, &pseudo] { NewMsgBox(pseudo, QStringLiteral("vient de se connecter"), 0); });
    });

    connect(&c.control(), &ControlChannel::Log, this, &TfrmPrincipal::LogWatch);
    connect(&c.control(), &ControlChannel::Info, this, &TfrmPrincipal::AffichInfo);
    connect(&c.offers(), &OfferQueue::Info, this, &TfrmPrincipal::AffichInfo);
    // An offer's pop-up goes when the offer does (withdrawn, or its sender
    // gone), so that a stream of offers cannot pile pop-ups up.
    connect(&c.control(), &ControlChannel::OfferPopup, this,
        [this](int id, const QString &pseudo, const QString &text) { m_offerPopups.insert(id, NewMsgBox(pseudo, text, 1)); });
    connect(&c.control(), &ControlChannel::OfferClosed, this, [this](int id) {
        if (const QPointer<TfrmMsgBox> box = m_offerPopups.take(id))
            box->btnCloseClick();
    });
    connect(m_cancelOffer, &TRbButton::OnClick, &c.control(), &ControlChannel::btnCancelTransClick);
    connect(&c.control(), &ControlChannel::CancelVisible, m_cancelOffer, &QWidget::setVisible);

    connect(&c.transfers(), &TransferManager::Popup, this,
        [this](const QString &pseudo, const QString &text, int kind) { NewMsgBox(pseudo, text, quint8(kind)); });
    connect(&c.transfers(), &TransferManager::Log, this, &TfrmPrincipal::LogWatch);
    connect(&c.transfers(), &TransferManager::Info, this, &TfrmPrincipal::AffichInfo);

    TransferListStore &lists = c.transferLists();
    connect(&lists, &TransferListStore::loadingStarted, this, [this] {
        AffichInfo(TransferListStore::LoadingText, true, 0);
        m_loadingBar->setPosition(0);
        m_loadingBar->show();
    });
    connect(&lists, &TransferListStore::progressMaximum, this, [this](int maximum) {
        // A count of 0 is refused by the bar, which keeps its last maximum.
        m_loadingBar->setMax(maximum);
    });
    connect(&lists, &TransferListStore::progressPosition, this, [this](int position) {
        // The counts announced may be fewer than the entries the file
        // holds: the bar grows rather than stop short.
        if (position > m_loadingBar->Max())
            m_loadingBar->setMax(position);
        m_loadingBar->setPosition(position);
    });
    connect(&lists, &TransferListStore::loadingFinished, this, [this] {
        m_loadingBar->hide();
        AffichInfo(QString(), false, 0);
    });
    connect(&lists, &TransferListStore::autoSaveFailed, this, [this](const QString &reason) {
        LogWatch(reason);
        AffichInfo(QStringLiteral("La liste des transferts n'a pas pu être enregistrée."), true, 5000);
    });
    // The speed of everything under way, in the status bar's first panel.
    auto *rates = new QTimer(this);
    rates->setInterval(1000);
    connect(rates, &QTimer::timeout, this, [this] {
        const TransferManager::Rates r = m_controllers.transfers().TotalRates();
        m_statusBar->setPanelText(0, TransferRate::totalsText(r.download, r.upload));
    });
    rates->start();
    connectNotifier();
}

void TfrmPrincipal::FormCreate()
{
    // Key preview: the window sees every key press first.
    qApp->installEventFilter(this);
    m_infoPanel->raise();
    m_statusBar->setPanelText(2, QStringLiteral("Déconnecté"));
    m_highlighted = m_sessionLabel;
    setHighlighted(m_sessionLabel);
    m_pages->setCurrentIndex(0);
    startControlListener();
}

void TfrmPrincipal::startControlListener()
{
    ControlChannel &control = m_controllers.control();
    if (control.Listen(m_controllers.environment().localIp, kControlPort))
        return;
    // Another client (or program) holds the port: this one still runs, but
    // cannot receive offers. Say so once the window is up.
    const QString reason = control.ServerTransac()->errorString();
    const QString text = QStringLiteral(
        "Le port %1 est déjà utilisé sur cet ordinateur (%2).\n\r"
        "Voxlane fonctionne, mais ne pourra pas recevoir de fichiers tant qu'il n'est pas relancé.")
                             .arg(kControlPort)
                             .arg(reason);
    LogWatch(QStringLiteral("Écoute du port %1 impossible : %2").arg(kControlPort).arg(reason));
    QTimer::singleShot(0, this, [this, text] {
        m_controllers.dialogs().showMessage(text, QStringLiteral("Voxlane"), DialogService::Kind::Warning);
    });
}

// The service accepted the log-in and the log-in page has done its part.
void TfrmPrincipal::logInAccepted()
{
    // Requests let events run: the window may be closed and destroyed
    // before they return, and then nothing more is done here.
    const QPointer<TfrmPrincipal> alive(this);
    setDropAccepted(true);
    m_ownPseudo->setText(m_controllers.session().currentPseudo());
    // An avatar the service sends broken is reported, but does not stop
    // the log-in half way.
    ErrorReport::guard([this] { showOwnAvatar(false); });
    if (!alive)
        return;
    m_avatarMenuAttached = true;
    // Contacts already online move up without pop-ups.
    m_controllers.presence().PollOnline();
    if (!alive)
        return;
    m_contactView->CheckFriend(false);
    m_sessionLabel->setText(QStringLiteral("Se déconnecter"));
    for (TClickLabel *label :
        { m_downloadsLabel, m_sendLabel, m_uploadsLabel, m_optionsLabel, m_contactsLabel, m_mediaLabel })
        label->setEnabled(true);
    lblEnvoyerClick(m_downloadsLabel);
    m_ownAvatar->setCursor(Qt::PointingHandCursor);
    OpenLoad();
    AffichInfo(QString(), false, 0);
}

void TfrmPrincipal::lblDeconnectClick()
{
    ServiceSession &session = m_controllers.session();
    if (!session.isConnected()) {
        m_pages->setCurrentIndex(0);
        setHighlighted(m_sessionLabel);
        return;
    }
    if (!m_controllers.dialogs().askYesNo(kLogoutQuestion, QStringLiteral("Confirmation")))
        return;
    // The transfer lists are saved before the session closes.
    if (!SaveLoadForLeaving())
        return;
    const QPointer<TfrmPrincipal> alive(this);
    const bool closed = session.CloseSession();
    if (!alive)
        return;
    if (!closed) {
        // Still logged in: everything goes on as before.
        StayAfterLeavingFailed();
        return;
    }

    setDropAccepted(false);
    m_ownPseudo->clear();
    m_ownAvatar->clear();
    for (TClickLabel *label : { m_downloadsLabel, m_sendLabel, m_uploadsLabel, m_contactsLabel, m_mediaLabel })
        label->setEnabled(false);
    m_avatarMenuAttached = false;
    m_loginPage->showLoggedOut();
    m_contactView->endSession();
    m_controllers.presence().endSession();
    m_controllers.offers().Clear();
    m_controllers.transfers().ClearTransfers();

    m_sessionLabel->setText(QStringLiteral("Se connecter"));
    lblDeconnectClick();
    m_pages->setCurrentIndex(0);
}

void TfrmPrincipal::OpenLoad()
{
    for (TTransferPage *page : { m_downloadsPage, m_uploadsPage })
        page->clearSelection();
    const QString pseudo = m_controllers.session().currentPseudo();
    TransferListStore &lists = m_controllers.transferLists();
    lists.beginSession(pseudo);
    lists.OpenLoad(pseudo, m_controllers.settings().tempFolder());
}

bool TfrmPrincipal::SaveLoad()
{
    TransferListStore &lists = m_controllers.transferLists();
    // A log-out while the list is still loading keeps what is not loaded.
    if (lists.isLoading())
        lists.abortLoading();
    return ErrorReport::guard([this, &lists] { lists.SaveLoad(m_controllers.session().currentPseudo()); });
}

bool TfrmPrincipal::SaveLoadForLeaving()
{
    TransferManager &transfers = m_controllers.transfers();
    // Nothing moves after the save: a transfer that completed while the
    // log-out request waits would otherwise be saved as unfinished.
    transfers.SuspendAll();
    if (!SaveLoad()) {
        // The member stays, and so do the transfers.
        transfers.ResumeAll();
        return false;
    }
    // From here on the lists are about to be emptied: no more saves.
    m_controllers.transferLists().endSession();
    return true;
}

void TfrmPrincipal::StayAfterLeavingFailed()
{
    TransferListStore &lists = m_controllers.transferLists();
    lists.beginSession(m_controllers.session().currentPseudo());
    m_controllers.transfers().ResumeAll();
    lists.requestSave();
}

bool TfrmPrincipal::FormCloseQuery()
{
    // An offer still on show is answered before the connections go, and its
    // window (which has no parent) must not keep the program running.
    if (m_reception)
        m_reception->close();
    m_controllers.control().CloseAll();
    ServiceSession &session = m_controllers.session();
    if (session.isConnected()) {
        // The transfer lists are saved before the session closes; a list
        // that cannot be written keeps the program open, as it was: its
        // transfers going on and offers taken again.
        if (!SaveLoadForLeaving()) {
            startControlListener();
            return false;
        }
        // The outcome does not matter on the way out, so a service that hangs
        // gets a few seconds, not the stall limit of an ordinary request.
        session.CloseSession(m_controllers.services().httpLimits.exitTimeoutMs);
    }
    return true;
}

void TfrmPrincipal::closeEvent(QCloseEvent *event)
{
    if (FormCloseQuery()) {
        emit closing();
        event->accept();
    } else {
        event->ignore();
    }
}
