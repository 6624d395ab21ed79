// Colour conversion and the three output formats shared by every output
// stage, as per-pixel formulas. The gains and the gamma table are taken once,
// when a frame starts. The vector kernels (output_simd*.h) compute the same
// values; these are also their row tails.
#pragma once

#include <cstdint>

#include "pipeline/filters/pixel.h"

namespace teko::pipeline::filters {
// Internal linkage: the per-level kernel files include this header too, and
// each must keep its own copy of every function.
namespace {

// A gain of 40 is a factor of 1.
inline constexpr int32_t kUnityGain = 40;
// Colour differences are scaled by gain / 8 before they join the luminance.
inline constexpr int32_t kDifferenceShift = 3;
// Green takes a quarter of each scaled colour difference.
inline constexpr int32_t kGreenShift = 2;
// Packed YUV chroma: (difference + 32) x gain x 4 / 40.
inline constexpr int32_t kChromaOffset = 32;
inline constexpr int32_t kChromaScale = 4;
// Dark pixels whose colour differences both exceed this, with opposite
// signs, are sensor false colour.
inline constexpr int32_t kFalseColourLumaLimit = 100;
inline constexpr int32_t kFalseColourDifference = 15;

// Products of a gain wrap in 32 bits, whatever the gain.
inline constexpr int32_t WrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// ---- clamp(p / 40) without a division ---------------------------------------
// p / 40 truncates and never decreases as p grows, so clamping it to 0..255
// is the same as clamping p to 0..kLastUnclampedProduct first: below 0 the
// quotient is at most 0, above it at least 255. In that range the quotient is
// a multiply and a shift: p x kDiv40Multiplier / 2^19 exceeds p / 40 by
// p / (40 x 16384), less than 1/40 for p < 16384, which never reaches the
// next integer. The check below covers every product the vector kernels
// divide (they clamp the factor instead, and stay below 10495).
inline constexpr int32_t kLastUnclampedProduct = 255 * kUnityGain + kUnityGain - 1;  // 10239
inline constexpr int32_t kDiv40Multiplier = 13108;  // 2^19 / 40, up
inline constexpr int32_t kDiv40Shift = 19;
inline constexpr int32_t kDiv40ExactBelow = 16384;

constexpr bool Div40IsExact() {
    for (int32_t p = 0; p < kDiv40ExactBelow; ++p) {
        if (((p * kDiv40Multiplier) >> kDiv40Shift) != p / kUnityGain) return false;
    }
    return true;
}
static_assert(Div40IsExact(), "the multiply-shift must equal p / 40 wherever it is used");

inline constexpr int32_t ClampRange(int32_t value, int32_t low, int32_t high) {
    return value < low ? low : (value > high ? high : value);
}

// clamp(product / 40) for every 32-bit product.
inline constexpr int32_t GainLevel(int32_t product) {
    return (ClampRange(product, 0, kLastUnclampedProduct) * kDiv40Multiplier) >> kDiv40Shift;
}

// Output levels before the gamma table, each 0..255.
struct Levels {
    int32_t r;
    int32_t g;
    int32_t b;
};

inline constexpr Levels ConvertLevels(int32_t y, int32_t cr, int32_t cb, int32_t redScale,
                                      int32_t blueScale) {
    const int32_t r1 = WrapMul(cr, redScale) >> kDifferenceShift;
    const int32_t b1 = WrapMul(cb, blueScale) >> kDifferenceShift;
    return {GainLevel(WrapMul(y + r1, redScale)),
            ClampRange(y - (r1 >> kGreenShift) - (b1 >> kGreenShift), 0, 255),
            GainLevel(WrapMul(y + b1, blueScale))};
}

// False colour from three small constant tables: each difference byte gives
// a class (above 15, below -15, or neither) and the luminance whether it is
// dark; their sum is a key, and bit `key` of kGreyKeys says grey.
struct FalseColourClasses {
    constexpr FalseColourClasses() {
        for (int32_t byte = 0; byte < 256; ++byte) {
            const int32_t d = static_cast<int8_t>(byte);
            const bool high = d > kFalseColourDifference;
            const bool low = d < -kFalseColourDifference;
            red[byte] = static_cast<uint8_t>(high ? 1 : (low ? 2 : 0));
            blue[byte] = static_cast<uint8_t>(high ? 4 : (low ? 8 : 0));
            bright[byte] = static_cast<uint8_t>(byte < kFalseColourLumaLimit ? 0 : 16);
        }
    }
    uint8_t red[256];
    uint8_t blue[256];
    uint8_t bright[256];
};
inline constexpr FalseColourClasses kFalseColourClasses;
inline constexpr uint32_t kGreyKeys = (1u << (1 + 8)) | (1u << (2 + 4));

// All ones for a false-colour pixel, else 0.
inline constexpr uint32_t FalseColourMask(uint8_t y, uint8_t crByte, uint8_t cbByte) {
    const uint32_t key = kFalseColourClasses.red[crByte] + kFalseColourClasses.blue[cbByte] +
                         kFalseColourClasses.bright[y];
    return 0u - ((kGreyKeys >> key) & 1u);
}

// The Ycc RGB stages write false colour grey: every level is Y. A blend of
// bits, which compilers keep free of branches (a conditional choice became one).
inline constexpr Levels SuppressFalseColour(Levels levels, int32_t y, int32_t cr, int32_t cb) {
    const auto grey = static_cast<int32_t>(FalseColourMask(
        static_cast<uint8_t>(y), static_cast<uint8_t>(cr), static_cast<uint8_t>(cb)));
    return {levels.r ^ ((levels.r ^ y) & grey), levels.g ^ ((levels.g ^ y) & grey),
            levels.b ^ ((levels.b ^ y) & grey)};
}

// Packed YUV chroma of one colour difference, without gamma.
inline constexpr uint8_t Chroma(int32_t difference, int32_t gain) {
    return static_cast<uint8_t>(
        GainLevel(WrapMul(WrapMul(difference + kChromaOffset, gain), kChromaScale)));
}

// Rows of every output format are a multiple of 4 bytes; padding is not written.
inline constexpr int32_t kRowAlignMask = ~3;
inline constexpr int32_t RowSize(int32_t width, int32_t bytesPerPixel) {
    return (bytesPerPixel * width + 3) & kRowAlignMask;
}

// 24-bit BGR: blue, green, red (levels after the gamma table).
struct Bgr24Format {
    static constexpr int32_t kBytes = 3;
    static void Store(uint8_t* dst, uint8_t r, uint8_t g, uint8_t b) {
        dst[0] = b;
        dst[1] = g;
        dst[2] = r;
    }
};

// 16-bit RGB 5-5-5, little-endian; bit 15 stays clear.
struct Rgb555Format {
    static constexpr int32_t kBytes = 2;
    static constexpr int32_t kLevelShift = 3;  // 8-bit level to 5 bits
    static constexpr int32_t kRedPosition = 10;
    static constexpr int32_t kGreenPosition = 5;
    static constexpr uint32_t Word(uint8_t r, uint8_t g, uint8_t b) {
        return (uint32_t{r} >> kLevelShift) << kRedPosition |
               (uint32_t{g} >> kLevelShift) << kGreenPosition | (uint32_t{b} >> kLevelShift);
    }
    static void Store(uint8_t* dst, uint8_t r, uint8_t g, uint8_t b) {
        const uint32_t word = Word(r, g, b);
        dst[0] = static_cast<uint8_t>(word);
        dst[1] = static_cast<uint8_t>(word >> 8);
    }
};

// Packed YUV 4:2:2: per pixel a little-endian word of chroma (low) and
// gamma-corrected luminance (high), giving U, Y0, V, Y1 for a pair.
inline constexpr int32_t kUyvyBytes = 2;
inline void StoreUyvyWord(uint8_t* dst, uint8_t chroma, uint8_t luma) {
    dst[0] = chroma;
    dst[1] = luma;
}

// Destination row of input row `row`: the picture is stored bottom-up.
inline uint8_t* BottomUpRow(uint8_t* client, int32_t row, int32_t height, int32_t rowSize) {
    return RowAt(client, height - 1 - row, rowSize);
}

}  // namespace
}  // namespace teko::pipeline::filters
