#include "contacts/ui/AvatarLabel.h"

#include "contacts/AvatarCache.h"
#include "contacts/AvatarPictures.h"

#include <QLabel>
#include <QPixmap>
#include <QPointer>

void AvatarLabel::show(AvatarCache &avatars, const QString &pseudo, QLabel *target, bool refresh)
{
    if (!target)
        return;
    const QPointer<QLabel> guard(target);
    const std::optional<QImage> picture = avatars.GetAvatar(pseudo, refresh);
    if (!picture || !guard)
        return;
    QImage fitted;
    if (AvatarPictures::fitToHeight(*picture, guard->height(), fitted))
        guard->setPixmap(QPixmap::fromImage(fitted));
}
