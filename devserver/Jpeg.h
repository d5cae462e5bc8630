#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace devserver {

// The two JPEG jobs of the service: telling real JPEG data from anything
// else before it is stored as an avatar, and drawing the demo avatars.
class Jpeg
{
public:
    // An avatar is shown at 94 pixels; a side of 1024 leaves room for any
    // honest picture while bounding what one decode can cost.
    static constexpr int kMaxSide = 1024;
    // Decodes running at once, service-wide; others wait their turn.
    static constexpr int kMaxDecodes = 2;
    // What libjpeg may allocate for one decode, and how many scans a
    // progressive file may have (a real one has about ten).
    static constexpr long kMaxDecoderMemory = 24L * 1024 * 1024;
    static constexpr int kMaxScans = 64;

    struct Size
    {
        int width = 0;
        int height = 0;
    };

    // Width and height from the frame header (SOF marker), found by walking
    // the marker segments: nothing is decoded and nothing allocated. Nothing
    // when no frame header comes before the first scan or the data ends.
    static std::optional<Size> frameSize(std::string_view bytes);

    // True when the bytes decode completely as a baseline or progressive
    // JPEG of at most kMaxSide pixels a side, without a single warning from
    // the decoder (a truncated or damaged file is refused, not padded).
    // The size is checked from the header before the decoder is started.
    static bool isValid(std::string_view bytes);

    // A width x height picture: a vertical gradient from one colour to a
    // darker shade of it (0xRRGGBB), with a lighter square in the middle.
    static std::string drawAvatar(int width, int height, std::uint32_t rgb, int quality = 90);
};

} // namespace devserver
