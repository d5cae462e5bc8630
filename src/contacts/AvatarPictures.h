#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

// The picture arithmetic of avatars, on images only.
namespace AvatarPictures {

// A picture the member picked for their avatar, from its bytes: JPEG
// (through our own decoder), PNG, WebP or BMP, recognised by their content,
// not by the file's name. Nothing else is read; a picture of more than
// maxPixels is refused before its pixels are allocated. The reason, in
// French, in error.
std::optional<QImage> decodeChosen(const QByteArray &bytes, QString *error, qint64 maxPixels);

// Longest side of an uploaded avatar.
constexpr int kUploadSide = 94;

// The picture to upload: unchanged when neither side exceeds 94 pixels,
// otherwise scaled by 94 / s, s being the longer side (the width when both
// are equal), so that the longer side becomes 94.
QImage fitForUpload(const QImage &picture);

// The picture scaled by height / picture height, as every place that shows
// an avatar fits it to its own height. False, and target untouched, when
// there is nothing to scale (null picture, height not positive).
bool fitToHeight(const QImage &picture, int height, QImage &target);

} // namespace AvatarPictures
