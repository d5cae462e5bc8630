#pragma once

// Factor for time limits in tests: sanitizer builds run several times slower.
// Factor for memory bounds: a sanitizer's shadow memory and quarantine
// grow with what the program touches.
#ifdef VOXLANE_SANITIZED_BUILD
inline constexpr int kTimeScale = 10;
inline constexpr int kMemoryScale = 4;
#else
inline constexpr int kTimeScale = 1;
inline constexpr int kMemoryScale = 1;
#endif
