// The main window's side of the transfer lists: the list file read after
// log-in and written at log-out and exit, and the list operations.
#include "app/ui/TfrmPrincipal.h"

#include "app/ErrorReport.h"
#include "transfer/TransferListStore.h"
#include "transfer/ui/TransferListOps.h"
#include "transfer/ui/TransferPanels.h"

#include <QProgressBar>

void TfrmPrincipal::buildTransferLists()
{
    TransferLists = new TransferListStore(*TransferView, services.environment.homeDir, this);
    connect(TransferLists, &TransferListStore::loadingStarted, this, [this] {
        AffichInfo(TransferListStore::LoadingText, true, 0);
        pBarLoading->setRange(0, 0);
        pBarLoading->setValue(0);
        pBarLoading->show();
    });
    connect(TransferLists, &TransferListStore::progressMaximum, this, [this](int maximum) {
        pBarLoading->setRange(0, maximum);
    });
    connect(TransferLists, &TransferListStore::progressPosition, this, [this](int position) {
        // The counts announced may be fewer than the entries the file
        // holds: the bar grows rather than stop short.
        if (position > pBarLoading->maximum())
            pBarLoading->setMaximum(position);
        pBarLoading->setValue(position);
    });
    connect(TransferLists, &TransferListStore::loadingFinished, this, [this] {
        pBarLoading->hide();
        AffichInfo(QString(), false, 0);
    });
    ListOps = new TransferListOps(*this);
}

void TfrmPrincipal::OpenLoad()
{
    TransferLists->OpenLoad(CurrentPseudo, TempPath);
}

bool TfrmPrincipal::SaveLoad()
{
    // A log-out while the list is still loading keeps what is not loaded.
    if (TransferLists->isLoading())
        TransferLists->abortLoading();
    return ErrorReport::guard([this] { TransferLists->SaveLoad(CurrentPseudo); });
}
