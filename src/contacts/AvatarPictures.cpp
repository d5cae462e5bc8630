#include "contacts/AvatarPictures.h"

#include "base/DrawingHelpers.h"

namespace AvatarPictures {

QImage fitForUpload(const QImage &picture)
{
    if (picture.height() <= kUploadSide && picture.width() <= kUploadSide)
        return picture;
    const int longer = picture.height() > picture.width() ? picture.height() : picture.width();
    QImage scaled;
    if (!DrawingHelpers::BITMAP_REDIMENSIONAR(picture, scaled, double(kUploadSide) / double(longer)))
        return picture;
    return scaled;
}

bool fitToHeight(const QImage &picture, int height, QImage &target)
{
    if (picture.isNull() || picture.height() <= 0 || height <= 0)
        return false;
    return DrawingHelpers::BITMAP_REDIMENSIONAR(picture, target, double(height) / double(picture.height()));
}

} // namespace AvatarPictures
