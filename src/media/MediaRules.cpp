#include "media/MediaRules.h"

#include "transfer/DataReceiver.h"

namespace MediaRules {

QString FileToPlay(int page, const QString &status, const QString &fichierPath, const QString &tempPath,
    const QString &fichierName)
{
    if (page == kUploadsPage)
        return fichierPath;
    if (page != kDownloadsPage)
        return QString();
    if (!status.isEmpty())
        return fichierPath;
    // The same path the data channel writes the partial file to; a name
    // from the peer that would leave the temp folder gives nothing to play.
    return DataReceiver::tempFilePath(tempPath, fichierName);
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
