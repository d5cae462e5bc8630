#pragma once

#include <string>

// A small real JPEG made with libjpeg here, independently of the service's
// own encoder: a width x height picture of noise seeded by `seed`.
std::string makeTestJpeg(int width, int height, unsigned seed = 1);
