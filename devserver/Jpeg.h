#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace devserver {

// The two JPEG jobs of the service: telling real JPEG data from anything
// else before it is stored as an avatar, and drawing the demo avatars.
class Jpeg
{
public:
    static constexpr int kMaxSide = 4096;

    // True when the bytes decode completely as a baseline or progressive
    // JPEG of at most kMaxSide pixels a side, without a single warning from
    // the decoder (a truncated or damaged file is refused, not padded).
    static bool isValid(std::string_view bytes);

    // A width x height picture: a vertical gradient from one colour to a
    // darker shade of it (0xRRGGBB), with a lighter square in the middle.
    static std::string drawAvatar(int width, int height, std::uint32_t rgb, int quality = 90);
};

} // namespace devserver
