#pragma once

#include <QImage>

// The picture arithmetic of avatars, on images only.
namespace AvatarPictures {

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
