#include "TestJpeg.h"

#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include <jpeglib.h>

namespace {

// Encodes a width x height RGB picture whose rows fillRow draws (row y,
// width * 3 samples).
std::string encode(int width, int height, int quality, bool progressive,
    const std::function<void(JDIMENSION y, std::vector<JSAMPLE> &row)> &fillRow)
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
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
    while (info.next_scanline < info.image_height) {
        fillRow(info.next_scanline, row);
        JSAMPROW rows[1] = { row.data() };
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    std::string out(reinterpret_cast<const char *>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

} // namespace

std::string makeTestJpeg(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    return encode(width, height, 85, false, [&](JDIMENSION, std::vector<JSAMPLE> &row) {
        for (auto &sample : row)
            sample = static_cast<JSAMPLE>(random() & 0xFF);
    });
}

std::string makeProgressiveJpeg(int width, int height)
{
    return encode(width, height, 75, true, [&](JDIMENSION y, std::vector<JSAMPLE> &row) {
        for (int x = 0; x < width; ++x) {
            row[static_cast<std::size_t>(x) * 3] = static_cast<JSAMPLE>(x * 255 / width);
            row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<JSAMPLE>(y * 255 / JDIMENSION(height));
            row[static_cast<std::size_t>(x) * 3 + 2] = 128;
        }
    });
}
