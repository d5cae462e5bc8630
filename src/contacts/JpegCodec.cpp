#include "contacts/JpegCodec.h"

#include "base/ErrorReport.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// libjpeg reports fatal errors through error_exit, which by default prints
// and calls exit(). Ours jumps back to the call that started the work.
// Everything between setjmp and longjmp below is plain C data: no C++
// object with a destructor lives in the frames that the jump skips.
struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    int warnings;
};

// Warnings on corrupt data after which the stream counts as broken. A
// damaged picture libjpeg can still show gives a few; a stream that gives
// one per block would otherwise cost its whole declared size in warnings.
constexpr int kMaxWarnings = 100;

void errorExit(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void emitMessage(j_common_ptr cinfo, int level)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    // Level -1 is a warning (others are trace messages). "Premature end of
    // data" means the stream was cut; a marker met inside the entropy data
    // means the same for the scan (the rest of it is missing). libjpeg
    // would pad the picture with grey; we refuse it instead, at once, so a
    // few bytes that declare a large picture never cost its whole decoding.
    // The jump is the one error_exit makes: libjpeg's state is dropped with
    // the object.
    if (level != -1)
        return;
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || ++err->warnings > kMaxWarnings) {
        (*cinfo->err->format_message)(cinfo, err->message);
        std::longjmp(err->jump, 1);
    }
}

void outputMessage(j_common_ptr)
{
}

void installErrorManager(ErrorManager &err)
{
    jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = emitMessage;
    err.pub.output_message = outputMessage;
    err.message[0] = '\0';
    err.warnings = 0;
}

enum class DecodeStatus { Ok, Failed, TooLarge };

// Fills *out; the QImage itself lives in the caller's frame.
DecodeStatus decodeInto(
    const unsigned char *data, unsigned long size, qint64 maxPixels, QImage *out, ErrorManager *err)
{
    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    installErrorManager(*err);
    cinfo.err = &err->pub;
    if (setjmp(err->jump)) {
        jpeg_destroy_decompress(&cinfo);
        return DecodeStatus::Failed;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    // Other pictures are written by libjpeg straight into the QImage rows:
    // Format_RGB32 is one 0xffRRGGBB word per pixel, bytes B, G, R, X in
    // memory on a little-endian machine (libjpeg sets X to 0xFF).
    const bool direct = !cmyk && Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
    cinfo.out_color_space = cmyk ? JCS_CMYK : direct ? JCS_EXT_BGRX : JCS_RGB;
    if (qint64(cinfo.image_width) * qint64(cinfo.image_height) > maxPixels) {
        jpeg_destroy_decompress(&cinfo);
        return DecodeStatus::TooLarge;
    }
    jpeg_start_decompress(&cinfo);
    const int width = int(cinfo.output_width);
    const int height = int(cinfo.output_height);
    *out = QImage(width, height, QImage::Format_RGB32);
    if (out->isNull()) {
        jpeg_destroy_decompress(&cinfo);
        return DecodeStatus::TooLarge;
    }
    const int components = cinfo.output_components;
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(
        reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, JDIMENSION(width * components), 1);
    while (direct && cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW line = reinterpret_cast<JSAMPROW>(out->scanLine(int(cinfo.output_scanline)));
        jpeg_read_scanlines(&cinfo, &line, 1);
    }
    while (!direct && cinfo.output_scanline < cinfo.output_height) {
        const int y = int(cinfo.output_scanline);
        jpeg_read_scanlines(&cinfo, row, 1);
        auto *line = reinterpret_cast<QRgb *>(out->scanLine(y));
        const JSAMPLE *p = row[0];
        for (int x = 0; x < width; ++x, p += components) {
            if (components == 4) {
                // Adobe writes CMYK inverted; the product per channel is
                // the usual approximation of the colour.
                const int k = p[3];
                line[x] = qRgb(p[0] * k / 255, p[1] * k / 255, p[2] * k / 255);
            } else if (components == 3) {
                line[x] = qRgb(p[0], p[1], p[2]);
            } else {
                line[x] = qRgb(p[0], p[0], p[0]);
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return DecodeStatus::Ok;
}

bool encodeFrom(
    const QImage *rgb, int quality, unsigned char **buffer, unsigned long *size, ErrorManager *err)
{
    jpeg_compress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    installErrorManager(*err);
    cinfo.err = &err->pub;
    if (setjmp(err->jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, size);
    cinfo.image_width = JDIMENSION(rgb->width());
    cinfo.image_height = JDIMENSION(rgb->height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb->constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

std::optional<QImage> JpegCodec::decode(const QByteArray &bytes, QString *error, qint64 maxPixels)
{
    const auto fail = [error](const QString &why) -> std::optional<QImage> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (bytes.isEmpty())
        return fail(QStringLiteral("JPEG error: empty data"));
    QImage image;
    ErrorManager err;
    const DecodeStatus status = decodeInto(reinterpret_cast<const unsigned char *>(bytes.constData()),
        static_cast<unsigned long>(bytes.size()), qMin(maxPixels, kMaxPixels), &image, &err);
    switch (status) {
    case DecodeStatus::Ok:
        return image;
    case DecodeStatus::TooLarge:
        return fail(QStringLiteral("JPEG error: picture too large"));
    case DecodeStatus::Failed:
        break;
    }
    return fail(QStringLiteral("JPEG error: %1").arg(QString::fromLocal8Bit(err.message)));
}

QImage JpegCodec::decodeOrThrow(const QByteArray &bytes, qint64 maxPixels)
{
    QString why;
    std::optional<QImage> image = decode(bytes, &why, maxPixels);
    if (!image)
        throw VoxlaneError(why);
    return *image;
}

QByteArray JpegCodec::encode(const QImage &image, int quality, QString *error)
{
    if (image.isNull()) {
        if (error)
            *error = QStringLiteral("JPEG error: empty picture");
        return {};
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    ErrorManager err;
    const bool ok = encodeFrom(&rgb, qBound(0, quality, 100), &buffer, &size, &err);
    QByteArray out;
    if (ok && buffer)
        out = QByteArray(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    if (!ok && error)
        *error = QStringLiteral("JPEG error: %1").arg(QString::fromLocal8Bit(err.message));
    return out;
}
