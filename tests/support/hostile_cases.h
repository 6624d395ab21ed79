// Hostile arguments shared by the Linux hostile-calls test and the Windows
// test program (which compares the DLL's results on them with Linux's).
#pragma once

#include <cstdint>
#include <limits>

namespace teko::testing::hostile {

inline constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
inline constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
inline constexpr int32_t kExtremes[] = {kMin, kMin + 1, -1, 0, 1, kMax - 1, kMax};

inline constexpr int32_t kDepthRgb24 = 24;
inline constexpr int32_t kDepthRgb555 = 16;

struct SizeCase {
    int32_t zoom;
    int32_t width;
    int32_t height;
    int32_t depth;
    int32_t result;
};

// An empty picture (a zero width or height) is accepted; its captures succeed.
inline constexpr SizeCase kSizes[] = {
    {0, 320, 240, kDepthRgb24, 1},
    {0, 321, 240, kDepthRgb24, 0},
    {0, 320, 241, kDepthRgb24, 0},
    {1, 640, 480, kDepthRgb555, 1},
    {1, 641, 480, kDepthRgb24, 0},
    {1, 640, 481, kDepthRgb24, 0},
    {0, -1, 120, kDepthRgb24, 0},
    {0, 160, -1, kDepthRgb24, 0},
    {0, kMin, kMin, kDepthRgb24, 0},
    {1, kMax, kMax, kDepthRgb24, 0},
    {0, kMax, 120, kDepthRgb24, 0},
    {0, 160, kMax, kDepthRgb24, 0},
    {0, 160, 120, 0, 0},
    {0, 160, 120, -1, 0},
    {0, 160, 120, 32, 0},
    {0, 160, 120, kMin, 0},
    {0, 160, 120, kMax, 0},
    {0, 0, 0, kDepthRgb24, 1},
    {0, 0, 120, kDepthRgb24, 1},
    {0, 160, 0, kDepthRgb24, 1},
    {0, 1, 1, kDepthRgb24, 1},
    {1, 1, 1, kDepthRgb555, 1},
    {0, 2, 2, kDepthRgb555, 1},
};

}  // namespace teko::testing::hostile
