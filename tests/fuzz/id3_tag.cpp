// An audio file's last bytes, through the ID3 reader and the labels the
// media page fills from it.
#include "media/ID3Tag.h"

#include "base/ErrorReport.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The file's bytes from memory: the reader sees them through the same
    // device calls (size, seek, read) as a file, without a disk write per
    // input.
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer file(&bytes);
    if (!file.open(QIODevice::ReadOnly))
        std::abort();
    TID3Tag tag;
    try {
        ReadID3Tag(file, QStringLiteral("song.mp3"), tag);
    } catch (const VoxlaneError &) {
        if (bytes.size() >= TID3Tag::kSize)
            std::abort(); // a long enough file always has the block
        return 0;
    }
    if (bytes.size() < TID3Tag::kSize)
        std::abort();
    const QByteArray block = bytes.right(TID3Tag::kSize);
    if (tag.Title != block.mid(3, 30) || tag.Genre != quint8(block.at(127)))
        std::abort();
    for (const QByteArray *field : {&tag.Title, &tag.Artist, &tag.Album, &tag.Year, &tag.Comment})
        (void)TID3Tag::shown(*field);
    (void)tag.isTag();
    return 0;
}
