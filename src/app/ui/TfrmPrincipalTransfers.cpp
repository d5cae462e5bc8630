// The main window's side of the transfer lists: the list file read after
// log-in and written at log-out and exit, and the list operations.
#include "app/ui/TfrmPrincipal.h"

#include "base/ErrorReport.h"
#include "base/SettingsStore.h"
#include "components/DesktopFileClassStore.h"
#include "components/FileTypeLook.h"
#include "components/TvzkFileAsso.h"
#include "components/UserFileClassStore.h"
#include "components/ui/TRbProgressBar.h"
#include "service/ServiceSession.h"
#include "transfer/TransferListStore.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferRate.h"
#include "components/ui/TStatusBar.h"
#include "app/ui/TransferListOps.h"
#include "transfer/ui/TransferPanels.h"

#include <QFileInfo>
#include <QTimer>

void TfrmPrincipal::buildTransferLists()
{
    TransferLists = new TransferListStore(*TransferView, services.environment.homeDir, this);
    connect(TransferLists, &TransferListStore::loadingStarted, this, [this] {
        AffichInfo(TransferListStore::LoadingText, true, 0);
        pBarLoading->setPosition(0);
        pBarLoading->show();
    });
    connect(TransferLists, &TransferListStore::progressMaximum, this, [this](int maximum) {
        // A count of 0 is refused by the bar, which keeps its last maximum.
        pBarLoading->setMax(maximum);
    });
    connect(TransferLists, &TransferListStore::progressPosition, this, [this](int position) {
        // The counts announced may be fewer than the entries the file
        // holds: the bar grows rather than stop short.
        if (position > pBarLoading->Max())
            pBarLoading->setMax(position);
        pBarLoading->setPosition(position);
    });
    connect(TransferLists, &TransferListStore::loadingFinished, this, [this] {
        pBarLoading->hide();
        AffichInfo(QString(), false, 0);
    });
    ListOps = new TransferListOps(*this);

    // The member's file follows the lists during the session, so that a
    // crash loses no transfer.
    connect(Transfers, &TransferManager::ListChanged, TransferLists, &TransferListStore::requestSave);
    connect(TransferLists, &TransferListStore::autoSaveFailed, this, [this](const QString &reason) {
        LogWatch(reason);
        AffichInfo(QStringLiteral("La liste des transferts n'a pas pu être enregistrée."), true, 5000);
    });

    // The speed of everything under way, in the status bar's first panel.
    auto *rates = new QTimer(this);
    rates->setInterval(1000);
    connect(rates, &QTimer::timeout, this, [this] {
        const TransferManager::Rates r = Transfers->TotalRates();
        StatusBar->setPanelText(0, TransferRate::totalsText(r.download, r.upload));
    });
    rates->start();

    // One lookup for the whole program. It only reads: the windows never
    // change the member's associations.
    DesktopFileClasses = std::make_shared<DesktopFileClassStore>();
    const QString userFile = services.settings
        ? QFileInfo(services.settings->fileName()).absolutePath() + QStringLiteral("/VoxlaneFileClasses.json")
        : UserFileClassStore::defaultFilePath();
    vzkFileAsso1 = new TvzkFileAsso(
        std::make_shared<UserFileClassStore>(userFile, DesktopFileClasses), services.dialogs, this);
    vzkFileAsso1->SetReadOnly(true);
    // A null picture tells the caller to use its own stock picture.
    IconForExtension = [this](const QString &extension) {
        return QPixmap::fromImage(FileTypeLook::IconFor(*vzkFileAsso1, extension, QImage(), FileTypeLook::Large));
    };
}

void TfrmPrincipal::OpenLoad()
{
    // The lists start empty after a log-out, but the highlight of a panel of
    // the last session would still hold its name, and a panel re-created
    // under that name would take the first click as "un-highlight".
    for (int list : { 1, 2 })
        ListOps->highlight(list).clear();
    SelectedDownload.clear();
    SelectedUpload.clear();
    TransferLists->beginSession(session.CurrentPseudo);
    TransferLists->OpenLoad(session.CurrentPseudo, TempPath);
}

bool TfrmPrincipal::SaveLoad()
{
    // A log-out while the list is still loading keeps what is not loaded.
    if (TransferLists->isLoading())
        TransferLists->abortLoading();
    return ErrorReport::guard([this] { TransferLists->SaveLoad(session.CurrentPseudo); });
}

bool TfrmPrincipal::SaveLoadForLeaving()
{
    // Nothing moves after the save: a transfer that completed while the
    // log-out request waits would otherwise be saved as unfinished.
    Transfers->SuspendAll();
    if (!SaveLoad()) {
        // The member stays, and so do the transfers.
        Transfers->ResumeAll();
        return false;
    }
    // From here on the lists are about to be emptied: no more saves.
    TransferLists->endSession();
    return true;
}

void TfrmPrincipal::StayAfterLeavingFailed()
{
    TransferLists->beginSession(session.CurrentPseudo);
    Transfers->ResumeAll();
    TransferLists->requestSave();
}
