#include "Jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <semaphore>
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

// A progressive file can repeat scans without end, each one a full pass
// over the coefficients: stop after a sensible number.
void onProgress(j_common_ptr info)
{
    auto *d = reinterpret_cast<j_decompress_ptr>(info);
    if (d->input_scan_number > Jpeg::kMaxScans)
        onError(info);
}

std::counting_semaphore<Jpeg::kMaxDecodes> &decodeSlots()
{
    static std::counting_semaphore<Jpeg::kMaxDecodes> slots(Jpeg::kMaxDecodes);
    return slots;
}

struct SlotGuard
{
    SlotGuard() { decodeSlots().acquire(); }
    ~SlotGuard() { decodeSlots().release(); }
    SlotGuard(const SlotGuard &) = delete;
    SlotGuard &operator=(const SlotGuard &) = delete;
};

bool decodesCleanly(std::string_view bytes);

} // namespace

std::optional<Jpeg::Size> Jpeg::frameSize(std::string_view bytes)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() < 4 || byte(0) != 0xFF || byte(1) != 0xD8)
        return std::nullopt;
    std::size_t at = 2;
    while (at + 4 <= bytes.size()) {
        if (byte(at) != 0xFF)
            return std::nullopt;
        const unsigned char marker = byte(at + 1);
        if (marker == 0xFF) { // fill byte before a marker
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // no length
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) // end of image or a scan: no frame seen
            return std::nullopt;
        const std::size_t length = byte(at + 2) * 256u + byte(at + 3);
        if (length < 2 || at + 2 + length > bytes.size())
            return std::nullopt;
        // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC).
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (length < 7)
                return std::nullopt;
            return Size { byte(at + 7) * 256 + byte(at + 8), byte(at + 5) * 256 + byte(at + 6) };
        }
        at += 2 + length;
    }
    return std::nullopt;
}

bool Jpeg::isValid(std::string_view bytes)
{
    // The size first, from the header alone: the decoder's memory grows with
    // the pixel count (a progressive picture keeps every coefficient), and a
    // small file can announce a huge picture.
    const auto size = frameSize(bytes);
    if (!size || size->width <= 0 || size->height <= 0 || size->width > kMaxSide || size->height > kMaxSide)
        return false;
    SlotGuard slot;
    return decodesCleanly(bytes);
}

namespace {

bool decodesCleanly(std::string_view bytes)
{
    jpeg_decompress_struct info {};
    ErrorManager err {};
    jpeg_progress_mgr progress {};
    progress.progress_monitor = onProgress;
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = Jpeg::kMaxDecoderMemory;
    info.progress = &progress;
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(bytes.data()),
        static_cast<unsigned long>(bytes.size()));
    // The decoder's own reading of the header must agree with ours.
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || info.image_width == 0 || info.image_height == 0
        || info.image_width > static_cast<JDIMENSION>(Jpeg::kMaxSide)
        || info.image_height > static_cast<JDIMENSION>(Jpeg::kMaxSide)) {
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

} // namespace

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
