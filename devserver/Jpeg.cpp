#include "Jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace devserver {

namespace {

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void onError(j_common_ptr info)
{
    auto *err = reinterpret_cast<ErrorManager *>(info->err);
    std::longjmp(err->jump, 1);
}

// Warnings (level -1: a truncated file, damaged data) are counted, not
// printed; the caller refuses data that caused any.
void onMessage(j_common_ptr info, int level)
{
    if (level < 0)
        ++info->err->num_warnings;
}

} // namespace

bool Jpeg::isValid(std::string_view bytes)
{
    // The SOI marker first: the decoder would otherwise report the problem
    // through its error exit only after reading further.
    if (bytes.size() < 4 || static_cast<unsigned char>(bytes[0]) != 0xFF
        || static_cast<unsigned char>(bytes[1]) != 0xD8)
        return false;

    jpeg_decompress_struct info {};
    ErrorManager err {};
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(bytes.data()),
        static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || info.image_width == 0 || info.image_height == 0
        || info.image_width > kMaxSide || info.image_height > kMaxSide) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_start_decompress(&info);
    // Scan lines come from the decoder's own pool, freed with it even when an
    // error jumps back above: nothing of ours lives across the jump.
    JSAMPARRAY rows = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
        info.output_width * static_cast<JDIMENSION>(info.output_components), 1);
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, rows, 1);
    jpeg_finish_decompress(&info);
    const bool clean = err.pub.num_warnings == 0;
    jpeg_destroy_decompress(&info);
    return clean;
}

std::string Jpeg::drawAvatar(int width, int height, std::uint32_t rgb, int quality)
{
    jpeg_compress_struct info {};
    jpeg_error_mgr err {};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);

    const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        const int shade = 256 - (y * 96) / (height > 1 ? height - 1 : 1); // 256 .. 160
        for (int x = 0; x < width; ++x) {
            const bool inner = x > width / 4 && x < width * 3 / 4 && y > height / 4 && y < height * 3 / 4;
            auto mix = [&](int c) { return static_cast<JSAMPLE>(inner ? (c + 255) / 2 : c * shade / 256); };
            row[static_cast<std::size_t>(x) * 3] = mix(r);
            row[static_cast<std::size_t>(x) * 3 + 1] = mix(g);
            row[static_cast<std::size_t>(x) * 3 + 2] = mix(b);
        }
        JSAMPROW rows[1] = { row.data() };
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::string out(reinterpret_cast<const char *>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

} // namespace devserver
