// A transfer list file as found on disk: whatever the reader accepts, the
// entries it gives, written back, must read again as the same entries.
#include "transfer/TransferListDocument.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const auto contents = TransferListDocument::read(bytes, &error);
    if (!contents)
        return 0;

    QList<TransferRecord> downloads, uploads;
    for (const auto &e : contents->downloads)
        downloads.append(e.record);
    for (const auto &e : contents->uploads)
        uploads.append(e.record);
    const QByteArray written = TransferListDocument::write(downloads, uploads);
    const auto again = TransferListDocument::read(written, &error);
    if (!again)
        std::abort(); // we wrote a file we cannot read
    if (again->downloads.size() != downloads.size() || again->uploads.size() != uploads.size())
        std::abort();
    return 0;
}
