#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

// JPEG pictures through libjpeg. The library's error handler never ends the
// process: a stream libjpeg cannot read (not a JPEG, corrupt, cut short)
// comes back as an empty result with the reason in error.
class JpegCodec
{
public:
    // Pictures larger than this many pixels are refused before any pixel
    // buffer is allocated: a hostile header must not make us reserve
    // gigabytes. Avatars are a few dozen pixels wide.
    static constexpr qint64 kMaxPixels = 64LL * 1024 * 1024;

    // The decoded picture in Format_RGB32, or nothing. A stream that ends
    // before the last scan line is a failure, not a half-grey picture.
    static std::optional<QImage> decode(const QByteArray &bytes, QString *error = nullptr);

    // The picture encoded at quality 0..100 (baseline, 4:2:0 as libjpeg
    // chooses by default), or an empty array when it cannot be encoded.
    static QByteArray encode(const QImage &image, int quality, QString *error = nullptr);

    // decode(), throwing VoxlaneError with the reason; for the callers whose
    // failure belongs to the general error report.
    static QImage decodeOrThrow(const QByteArray &bytes);
};
