#include "contacts/AvatarPictures.h"

#include "base/DrawingHelpers.h"
#include "contacts/JpegCodec.h"

#include <QBuffer>
#include <QImageReader>

namespace AvatarPictures {

std::optional<QImage> decodeChosen(const QByteArray &bytes, QString *error, qint64 maxPixels)
{
    const auto fail = [error](const QString &why) -> std::optional<QImage> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (bytes.startsWith("\xFF\xD8"))
        return JpegCodec::decode(bytes, error, maxPixels);

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    if (format != "png" && format != "webp" && format != "bmp")
        return fail(QStringLiteral("Ce fichier n'est pas une image JPEG, PNG, WebP ou BMP."));
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return fail(QStringLiteral("Cette image est illisible."));
    if (qint64(size.width()) * size.height() > maxPixels)
        return fail(QStringLiteral("Cette image est trop grande (%1 × %2 pixels).").arg(size.width()).arg(size.height()));
    QImage picture;
    if (!reader.read(&picture) || picture.isNull())
        return fail(QStringLiteral("Cette image est illisible : %1").arg(reader.errorString()));
    return picture.convertToFormat(QImage::Format_RGB32);
}

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
