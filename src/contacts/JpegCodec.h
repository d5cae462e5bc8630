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
    // This bound is for the pictures a member picks on their own disk
    // (a camera's photograph, shrunk before upload).
    static constexpr qint64 kMaxPixels = 64LL * 1024 * 1024;
    // Avatars received from the service are uploaded at 94 pixels and shown
    // at 92 at most: 1024 x 1024 is already far beyond any real one, and a
    // reply declaring more is refused instead of decoded (4 MB at most).
    static constexpr qint64 kMaxAvatarPixels = 1024LL * 1024;

    // The decoded picture in Format_RGB32, or nothing. A stream that ends
    // before the last scan line is a failure, not a half-grey picture; so
    // is a picture of more than maxPixels (kMaxPixels at most).
    static std::optional<QImage> decode(
        const QByteArray &bytes, QString *error = nullptr, qint64 maxPixels = kMaxPixels);

    // The picture encoded at quality 0..100 (baseline, 4:2:0 as libjpeg
    // chooses by default), or an empty array when it cannot be encoded.
    static QByteArray encode(const QImage &image, int quality, QString *error = nullptr);

    // decode(), throwing VoxlaneError with the reason; for the callers whose
    // failure belongs to the general error report.
    static QImage decodeOrThrow(const QByteArray &bytes, qint64 maxPixels = kMaxPixels);
};
