// An avatar as the service sends it: any bytes through the JPEG decoder.
#include "contacts/JpegCodec.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    // The avatar's bound, as the avatar cache decodes what the service sends.
    const auto image = JpegCodec::decode(bytes, &error, JpegCodec::kMaxAvatarPixels);
    if (image) {
        if (image->isNull() || qint64(image->width()) * image->height() > JpegCodec::kMaxAvatarPixels)
            std::abort();
        // Touch the first and last pixel: the buffer is what the size says.
        (void)image->pixel(0, 0);
        (void)image->pixel(image->width() - 1, image->height() - 1);
    } else if (error.isEmpty()) {
        std::abort(); // a refusal always says why
    }
    return 0;
}
