#pragma once

#include "transfer/TransferListDocument.h"

#include <QList>
#include <QString>

// What the transfer list file needs of the owner of the two transfer lists.
// The transfer manager implements it; tests implement it with plain lists.
class TransferListHost
{
public:
    virtual ~TransferListHost() = default;

    // The saved properties of every panel, in stack order (DownloadList,
    // UploadList).
    virtual QList<TransferRecord> downloadRecords() const = 0;
    virtual QList<TransferRecord> uploadRecords() const = 0;

    // Re-create one saved transfer as a panel at the end of its list, as
    // NewDownload / NewUpload do: for a download, record.FichierTel is the
    // size of the partial file ("" when there is none); for an upload,
    // record.FichierName is empty (the name comes from FichierPath) and
    // address is GetIP of the recipient ("" when offline). May throw
    // VoxlaneError (a port that cannot be opened); loading then stops.
    virtual void NewDownload(const TransferRecord &record) = 0;
    virtual void NewUpload(const TransferRecord &record, const QString &address) = 0;

    // The current address of an online member, or "" (GetIP).
    virtual QString GetIP(const QString &pseudo) const = 0;

    // Lets the user interface handle what is pending after each entry, so
    // the window stays responsive and the progress bar repaints.
    virtual void processPendingEvents() { }
};
