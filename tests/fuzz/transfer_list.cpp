// A transfer list file as found on disk: whatever the reader accepts, the
// entries it gives, written back, must read again as the same entries.
#include "transfer/TransferListDocument.h"

#include <cstdint>
#include <cstdlib>

namespace {

TransferRecord recordOf(const TransferListDocument::Entry &e)
{
    TransferRecord r;
    r.IDTel = e.IDTel;
    r.FichierName = e.FichierName;
    r.FichierProprio = e.FichierProprio;
    r.FichierPath = e.FichierPath;
    r.FichierPoids = e.FichierPoids;
    r.FichierTel = e.FichierTel;
    bool ok = false;
    r.Port = e.Port.toInt(&ok);
    r.Status = e.Status;
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const auto contents = TransferListDocument::read(bytes, &error);
    if (!contents)
        return 0;

    QList<TransferRecord> downloads, uploads;
    for (const auto &e : contents->downloads)
        downloads.append(recordOf(e));
    for (const auto &e : contents->uploads)
        uploads.append(recordOf(e));
    const QByteArray written = TransferListDocument::write(downloads, uploads);
    const auto again = TransferListDocument::read(written, &error);
    if (!again)
        std::abort(); // we wrote a file we cannot read
    if (again->downloads.size() != downloads.size() || again->uploads.size() != uploads.size())
        std::abort();
    return 0;
}
