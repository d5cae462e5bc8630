#include "media/ID3Tag.h"

#include "base/Cp1252.h"
#include "base/ErrorReport.h"

#include <QFile>

TID3Tag TID3Tag::fromBlock(const QByteArray &block)
{
    TID3Tag tag;
    if (block.size() != kSize)
        return tag;
    tag.Header = block.mid(0, 3);
    tag.Title = block.mid(3, 30);
    tag.Artist = block.mid(33, 30);
    tag.Album = block.mid(63, 30);
    tag.Year = block.mid(93, 4);
    tag.Comment = block.mid(97, 30);
    tag.Genre = quint8(block.at(127));
    return tag;
}

QString TID3Tag::shown(const QByteArray &field)
{
    const qsizetype end = field.indexOf('\0');
    return Cp1252::decode(end < 0 ? field : field.left(end));
}

void ReadID3Tag(const QString &path, TID3Tag &tag)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw VoxlaneError(QStringLiteral("Erreur d'entrée/sortie : impossible de lire \"%1\" (%2)")
                               .arg(path, file.errorString()));
    }
    ReadID3Tag(file, path, tag);
}

void ReadID3Tag(QIODevice &device, const QString &name, TID3Tag &tag)
{
    const qint64 size = device.size();
    // A file shorter than the block cannot hold one; seeking before its
    // start is the input/output error the caller reports.
    if (size < TID3Tag::kSize || !device.seek(size - TID3Tag::kSize)) {
        throw VoxlaneError(
            QStringLiteral("Erreur d'entrée/sortie : \"%1\" fait moins de 128 octets").arg(name));
    }
    const QByteArray block = device.read(TID3Tag::kSize);
    if (block.size() != TID3Tag::kSize) {
        throw VoxlaneError(QStringLiteral("Erreur d'entrée/sortie : lecture incomplète de \"%1\"").arg(name));
    }
    tag = TID3Tag::fromBlock(block);
}
