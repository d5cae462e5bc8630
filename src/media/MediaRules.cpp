#include "media/MediaRules.h"

#include "transfer/TransferListRules.h"

#include <QFileInfo>
#include <QMimeDatabase>

#include "transfer/DataReceiver.h"

namespace MediaRules {

bool canPlay(const QString &fileName, const QStringList &playableMimeTypes, const QString &path)
{
    if (TransferListRules::isPlayable(fileName))
        return true;
    const QMimeDatabase mimes;
    QList<QMimeType> types = mimes.mimeTypesForFileName(fileName);
    if (!path.isEmpty() && QFileInfo(path).isFile())
        types.prepend(mimes.mimeTypeForFile(path));
    for (const QMimeType &type : std::as_const(types)) {
        for (const QString &playable : playableMimeTypes) {
            if (type.inherits(playable))
                return true;
        }
    }
    return false;
}

QString openFilter(const QStringList &playableMimeTypes)
{
    const QMimeDatabase mimes;
    QStringList patterns;
    for (const QString &name : playableMimeTypes) {
        for (const QString &glob : mimes.mimeTypeForName(name).globPatterns()) {
            if (!patterns.contains(glob))
                patterns << glob;
        }
    }
    QString filter;
    if (!patterns.isEmpty())
        filter = QStringLiteral("Fichiers audio et vidéo|") + patterns.join(u';') + u'|';
    return filter + QStringLiteral("Tous les fichiers  (*.*)|*.*");
}

QString FileToPlay(int page, const QString &status, const QString &fichierPath, const QString &tempPath,
    const QString &partialName)
{
    if (page == kUploadsPage)
        return fichierPath;
    if (page != kDownloadsPage)
        return QString();
    if (!status.isEmpty())
        return fichierPath;
    // The same path the data channel writes the partial file to; a name
    // from the peer that would leave the temp folder gives nothing to play.
    return DataReceiver::tempFilePath(tempPath, partialName);
}

PlayerItem PlayerItemFor(int state, const PlayerItem &previous)
{
    PlayerItem item = previous;
    if (state == 0) {
        item.caption = QStringLiteral("Pas de lecture");
    } else if (state == 1 || state == 2) {
        item.caption = QStringLiteral("Player : Lecture");
        item.imageIndex = kImagePlay;
    } else if (state == 3) {
        item.caption = QStringLiteral("Player : Pause");
        item.imageIndex = kImagePause;
    }
    item.enabled = state != 0;
    item.tag = state;
    return item;
}

PlayerAction PlayerActionFor(int tag)
{
    if (tag == 1 || tag == 2)
        return PlayerAction::Play;
    if (tag == 3)
        return PlayerAction::Pause;
    return PlayerAction::None;
}

} // namespace MediaRules
