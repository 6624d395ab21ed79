// Colour conversion and the three output formats shared by every output
// stage. The gains and the gamma table are taken once, when a frame starts.
#pragma once

#include <cstdint>

#include "pipeline/filters/pixel.h"
#include "pipeline/pipeline.h"

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
inline int32_t WrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// Output levels after the gamma table.
struct Rgb {
    uint8_t r;
    uint8_t g;
    uint8_t b;
};

inline bool IsFalseColour(int32_t y, int32_t cr, int32_t cb) {
    return y < kFalseColourLumaLimit &&
           ((cr > kFalseColourDifference && cb < -kFalseColourDifference) ||
            (cb > kFalseColourDifference && cr < -kFalseColourDifference));
}

// The conversion of one frame: gains and gamma table as they were when the
// frame started.
class ColourConverter {
  public:
    ColourConverter() : params_(CurrentColourParams()) {}

    uint8_t Gamma(int32_t level) const { return params_.gamma[static_cast<uint8_t>(level)]; }

    Rgb Convert(int32_t y, int32_t cr, int32_t cb) const {
        const int32_t r1 = WrapMul(cr, params_.redScale) >> kDifferenceShift;
        const int32_t b1 = WrapMul(cb, params_.blueScale) >> kDifferenceShift;
        const int32_t r = Clamp255(WrapMul(y + r1, params_.redScale) / kUnityGain);
        const int32_t g = Clamp255(y - (r1 >> kGreenShift) - (b1 >> kGreenShift));
        const int32_t b = Clamp255(WrapMul(y + b1, params_.blueScale) / kUnityGain);
        return {Gamma(r), Gamma(g), Gamma(b)};
    }

    Rgb Grey(int32_t y) const {
        const uint8_t level = Gamma(y);
        return {level, level, level};
    }

    // Packed YUV chroma, without gamma.
    uint8_t U(int32_t cb) const { return Chroma(cb, params_.blueScale); }
    uint8_t V(int32_t cr) const { return Chroma(cr, params_.redScale); }

  private:
    static uint8_t Chroma(int32_t difference, int32_t gain) {
        const int32_t scaled = WrapMul(WrapMul(difference + kChromaOffset, gain), kChromaScale);
        return static_cast<uint8_t>(Clamp255(scaled / kUnityGain));
    }

    ColourParams params_;
};

// Rows of every output format are a multiple of 4 bytes; padding is not written.
inline constexpr int32_t kRowAlignMask = ~3;
inline constexpr int32_t RowSize(int32_t width, int32_t bytesPerPixel) {
    return (bytesPerPixel * width + 3) & kRowAlignMask;
}

// 24-bit BGR: blue, green, red.
struct Bgr24Format {
    static constexpr int32_t kBytes = 3;
    static void Store(uint8_t* dst, Rgb c) {
        dst[0] = c.b;
        dst[1] = c.g;
        dst[2] = c.r;
    }
};

// 16-bit RGB 5-5-5, little-endian; bit 15 stays clear.
struct Rgb555Format {
    static constexpr int32_t kBytes = 2;
    static constexpr int32_t kLevelShift = 3;  // 8-bit level to 5 bits
    static constexpr int32_t kRedPosition = 10;
    static constexpr int32_t kGreenPosition = 5;
    static void Store(uint8_t* dst, Rgb c) {
        const uint32_t word = (uint32_t{c.r} >> kLevelShift) << kRedPosition |
                              (uint32_t{c.g} >> kLevelShift) << kGreenPosition |
                              (uint32_t{c.b} >> kLevelShift);
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
