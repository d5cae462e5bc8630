#pragma once

#include "transfer/TransferListDocument.h"

#include <QList>
#include <QString>

// What the transfer list file needs of the owner of the two transfer lists.
// TransferManager implements it; tests implement it with plain lists.
class TransferListHost
{
public:
    virtual ~TransferListHost() = default;

    // The saved properties of every transfer, in list order.
    virtual QList<TransferRecord> downloadRecords() const = 0;
    virtual QList<TransferRecord> uploadRecords() const = 0;

    // Re-create one saved transfer at the end of its list, as a new
    // download or upload is made: for a download, record.FichierTel is what
    // its partial file holds (the whole size when it finished); for an
    // upload, record.FichierName is empty (the name comes from FichierPath)
    // and address is GetIP of the recipient ("" when offline). May throw
    // VoxlaneError (a port that cannot be opened); that entry is then kept
    // as it was read.
    virtual void restoreDownload(const TransferRecord &record) = 0;
    virtual void restoreUpload(const TransferRecord &record, const QString &address) = 0;

    // The current address of an online member, or "" (GetIP).
    virtual QString GetIP(const QString &pseudo) const = 0;

    // Lets the user interface handle what is pending after each entry, so
    // the window stays responsive and the progress bar repaints.
    virtual void processPendingEvents() { }
};
