#pragma once

#include <string>

// A small real JPEG made with libjpeg here, independently of the service's
// own encoder: a width x height picture of noise seeded by `seed`.
std::string makeTestJpeg(int width, int height, unsigned seed = 1);

// A progressive JPEG of a smooth gradient: small on the wire whatever its
// size in pixels, and costly to decode (the decoder keeps every coefficient
// of the picture until the last scan).
std::string makeProgressiveJpeg(int width, int height);
