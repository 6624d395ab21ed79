// Component access shared by the filter kernels. Luminance bytes are read
// unsigned, colour-difference bytes signed; every result is stored as its
// low 8 bits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace teko::pipeline::filters {
// Internal linkage: the per-level kernel files include this header too, and
// each must keep its own copy of every function.
namespace {

// Bytes per pixel of the two intermediate formats: Y, Cr, Cb and Y, C.
inline constexpr int32_t kYccBytes = 3;
inline constexpr int32_t kYcBytes = 2;
// Byte offsets of the components inside a pixel.
inline constexpr int32_t kLumaByte = 0;
inline constexpr int32_t kCrByte = 1;
inline constexpr int32_t kCbByte = 2;
inline constexpr int32_t kChromaByte = 1;  // the C of a Yc pixel

inline int32_t Unsigned(const uint8_t* p) {
    return p[0];
}
inline int32_t Signed(const uint8_t* p) {
    return static_cast<int8_t>(p[0]);
}
// Byte `index` of a pixel: the luminance unsigned, the colour differences signed.
inline int32_t Component(const uint8_t* pixel, int32_t index) {
    return index == kLumaByte ? Unsigned(pixel) : Signed(pixel + index);
}
inline uint8_t Low8(int32_t value) {
    return static_cast<uint8_t>(value);
}

inline int32_t Clamp255(int32_t value) {
    return value < 0 ? 0 : (value > 255 ? 255 : value);
}

inline void StoreYcc(uint8_t* pixel, int32_t y, int32_t cr, int32_t cb) {
    pixel[kLumaByte] = Low8(y);
    pixel[kCrByte] = Low8(cr);
    pixel[kCbByte] = Low8(cb);
}

// Start of row `row` of an image whose rows lie `pitchBytes` apart.
inline const uint8_t* RowAt(const uint8_t* image, int32_t row, int32_t pitchBytes) {
    return image + static_cast<std::ptrdiff_t>(row) * pitchBytes;
}
inline uint8_t* RowAt(uint8_t* image, int32_t row, int32_t pitchBytes) {
    return image + static_cast<std::ptrdiff_t>(row) * pitchBytes;
}

}  // namespace
}  // namespace teko::pipeline::filters
