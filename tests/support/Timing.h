#pragma once

// Factor for time limits in tests: sanitizer builds run several times slower.
#ifdef VOXLANE_SANITIZED_BUILD
inline constexpr int kTimeScale = 10;
#else
inline constexpr int kTimeScale = 1;
#endif
