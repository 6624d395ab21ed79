// The output kernels. output_ycc.cpp (portable), output_v2.cpp and
// output_v3.cpp each include this header and build the kernels for their own
// instruction set; everything after the table declarations has internal
// linkage, so that no object can hand its copy of a function to another.
//
// A kernel converts one whole frame: it prepares its tables from the gains
// and the gamma table once, then walks the rows. Every level writes exactly
// the bytes the per-pixel formulas of colour.h write and reads only the bytes
// they read.
#pragma once

#include <cstdint>

#include "pipeline/filters/colour.h"
#include "pipeline/filters/pixel.h"

namespace teko::pipeline {

// One frame of an output stage: the input image, the client's buffer, and
// the colour settings as they were when the frame started.
struct OutputFrame {
    const uint8_t* in;
    int32_t inPitch;  // bytes from one input row to the next
    uint8_t* client;
    int32_t width;
    int32_t height;
    int32_t redScale;
    int32_t blueScale;
    const uint8_t* gamma;  // 256 entries
    bool redFirst;         // Yc input: row 0 carries the red difference
};

struct OutputKernels {
    void (*yccToRgb24)(const OutputFrame& frame);
    void (*yccToRgb555)(const OutputFrame& frame);
    void (*yccToUyvy)(const OutputFrame& frame);
    void (*ycToRgb24)(const OutputFrame& frame);
    void (*ycToRgb555)(const OutputFrame& frame);
    void (*ycToUyvy)(const OutputFrame& frame);
};

// output_ycc.cpp and output_v2.cpp to output_v4.cpp.
extern const OutputKernels kOutputPortable;
extern const OutputKernels kOutputV2;
extern const OutputKernels kOutputV3;
extern const OutputKernels kOutputV4;

namespace output {
namespace {

using namespace filters;

// ---- Rows ---------------------------------------------------------------------

// The input rows one Yc output row is made from: its own row gives the
// luminance and one colour difference, the row below the other.
struct YcRows {
    const uint8_t* luma;
    const uint8_t* red;
    const uint8_t* blue;
};

// Every input row becomes one destination row.
template <class Row>
void ForEachYccRow(const OutputFrame& frame, int32_t bytesPerPixel, Row&& row) {
    const int32_t rowSize = RowSize(frame.width, bytesPerPixel);
    for (int32_t y = 0; y < frame.height; ++y) {
        row(RowAt(frame.in, y, frame.inPitch), BottomUpRow(frame.client, y, frame.height, rowSize));
    }
}

// Output rows are made in pairs; an odd last row is not produced, so the
// client's first row keeps what it held. Input rows 0 to 2 x (H / 2) are read.
template <class Row>
void ForEachYcRow(const OutputFrame& frame, int32_t bytesPerPixel, Row&& row) {
    const int32_t rowSize = RowSize(frame.width, bytesPerPixel);
    for (int32_t r = 0; r + 1 < frame.height; r += 2) {
        const uint8_t* upper = RowAt(frame.in, r, frame.inPitch);  // red when red comes first
        const uint8_t* lower = upper + frame.inPitch;              // the other kind
        const uint8_t* next = lower + frame.inPitch;               // the first kind again
        const YcRows even =
            frame.redFirst ? YcRows{upper, upper, lower} : YcRows{upper, lower, upper};
        const YcRows odd = frame.redFirst ? YcRows{lower, next, lower} : YcRows{lower, lower, next};
        row(even, BottomUpRow(frame.client, r, frame.height, rowSize));
        row(odd, BottomUpRow(frame.client, r + 1, frame.height, rowSize));
    }
}

// Runs `block` at every whole group of kGroup items of a row of `count`,
// then once more at count - kGroup for the items left over (the groups
// overlap; both write the same bytes there). A row shorter than a group goes
// to `scalar(first, end)` whole. `block(i, room)` gets the items from i to
// the row's end, for stores wider than a group.
template <int32_t kGroup, class Block, class Scalar>
void ForEachGroup(int32_t count, Block&& block, Scalar&& scalar) {
    if (count < kGroup) {
        scalar(0, count);
        return;
    }
    int32_t i = 0;
    for (; i + kGroup <= count; i += kGroup)
        block(i, count - i);
    if (i < count) block(count - kGroup, kGroup);
}

// ---- Per-pixel rows (the portable level, and short rows at every level) -------

struct FrameColour {
    int32_t redScale;
    int32_t blueScale;
    const uint8_t* gamma;
};

inline FrameColour ColourOf(const OutputFrame& frame) {
    return {frame.redScale, frame.blueScale, frame.gamma};
}

template <class Format>
void StoreLevels(const FrameColour& colour, uint8_t* dst, Levels levels) {
    Format::Store(dst, colour.gamma[levels.r], colour.gamma[levels.g], colour.gamma[levels.b]);
}

// Pixels first to end - 1 of a Ycc row, with false colour written grey.
template <class Format>
void YccRgbPixels(const FrameColour& colour, const uint8_t* src, uint8_t* dst, int32_t first,
                  int32_t end) {
    for (int32_t x = first; x < end; ++x) {
        const uint8_t* pixel = src + kYccBytes * x;
        const int32_t y = Unsigned(pixel + kLumaByte);
        const int32_t cr = Signed(pixel + kCrByte);
        const int32_t cb = Signed(pixel + kCbByte);
        const Levels levels = ConvertLevels(y, cr, cb, colour.redScale, colour.blueScale);
        StoreLevels<Format>(colour, dst + Format::kBytes * x,
                            SuppressFalseColour(levels, y, cr, cb));
    }
}

// Pixels first to end - 1 of a Yc output row; no pixel is forced to grey.
template <class Format>
void YcRgbPixels(const FrameColour& colour, const YcRows& rows, uint8_t* dst, int32_t first,
                 int32_t end) {
    for (int32_t x = first; x < end; ++x) {
        const int32_t offset = kYcBytes * x;
        StoreLevels<Format>(
            colour, dst + Format::kBytes * x,
            ConvertLevels(Unsigned(rows.luma + offset), Signed(rows.red + offset + kChromaByte),
                          Signed(rows.blue + offset + kChromaByte), colour.redScale,
                          colour.blueScale));
    }
}

// Packed YUV chroma of every colour-difference byte, made once per frame, so
// that a pair of pixels is four table look-ups.
struct UyvyTables {
    explicit UyvyTables(const OutputFrame& frame) : gamma(frame.gamma) {
        for (int32_t byte = 0; byte < 256; ++byte) {
            const int32_t difference = static_cast<int8_t>(byte);
            u[byte] = Chroma(difference, frame.blueScale);
            v[byte] = Chroma(difference, frame.redScale);
        }
    }
    uint8_t u[256];
    uint8_t v[256];
    const uint8_t* gamma;
};

// Pairs first to end - 1 of a Ycc row: U from the first pixel's Cb, V from
// the second pixel's Cr.
inline void YccUyvyPairs(const UyvyTables& tables, const uint8_t* src, uint8_t* dst, int32_t first,
                         int32_t end) {
    for (int32_t k = first; k < end; ++k) {
        const uint8_t* pair = src + 2 * kYccBytes * k;
        const uint8_t* second = pair + kYccBytes;
        uint8_t* out = dst + 2 * kUyvyBytes * k;
        StoreUyvyWord(out, tables.u[pair[kCbByte]], tables.gamma[pair[kLumaByte]]);
        StoreUyvyWord(out + kUyvyBytes, tables.v[second[kCrByte]], tables.gamma[second[kLumaByte]]);
    }
}

// Pairs first to end - 1 of a Yc output row: U from the even pixel's blue
// difference, V from the odd pixel's red difference.
inline void YcUyvyPairs(const UyvyTables& tables, const YcRows& rows, uint8_t* dst, int32_t first,
                        int32_t end) {
    for (int32_t k = first; k < end; ++k) {
        const int32_t even = 2 * kYcBytes * k;
        const int32_t odd = even + kYcBytes;
        uint8_t* out = dst + 2 * kUyvyBytes * k;
        StoreUyvyWord(out, tables.u[rows.blue[even + kChromaByte]], tables.gamma[rows.luma[even]]);
        StoreUyvyWord(out + kUyvyBytes, tables.v[rows.red[odd + kChromaByte]],
                      tables.gamma[rows.luma[odd]]);
    }
}

// ---- Frames at the portable level ----------------------------------------------
//
// With both gains within -255..255 every scaled difference r1 = (C x gain) >> 3
// lies in -4080..4080, so R depends only on Y + r1 (-4080..4335), B likewise,
// and G only on Y - (r1 >> 2) - (b1 >> 2) (-2040..2295). Tables over those
// ranges, filled once per frame from the formulas, give each gamma-corrected
// level with one look-up. Other gains use the formulas per pixel.

inline constexpr int32_t kTableGainLimit = 255;
inline constexpr int32_t kScaledDifferenceLimit = (128 * kTableGainLimit) >> kDifferenceShift;
inline constexpr int32_t kFactorMin = -kScaledDifferenceLimit;
inline constexpr int32_t kFactorCount = 255 + 2 * kScaledDifferenceLimit + 1;
inline constexpr int32_t kGreenMin = -2 * (kScaledDifferenceLimit >> kGreenShift);
inline constexpr int32_t kGreenCount = 255 - 2 * kGreenMin + 1;
static_assert(kScaledDifferenceLimit == 4080 && kGreenMin == -2040);

inline bool FitsLevelTables(int32_t redScale, int32_t blueScale) {
    return redScale >= -kTableGainLimit && redScale <= kTableGainLimit &&
           blueScale >= -kTableGainLimit && blueScale <= kTableGainLimit;
}

struct GammaLevelTables {
    explicit GammaLevelTables(const OutputFrame& frame) : gamma(frame.gamma) {
        for (int32_t byte = 0; byte < 256; ++byte) {
            const int32_t difference = static_cast<int8_t>(byte);
            red1[byte] = WrapMul(difference, frame.redScale) >> kDifferenceShift;
            blue1[byte] = WrapMul(difference, frame.blueScale) >> kDifferenceShift;
        }
        for (int32_t i = 0; i < kFactorCount; ++i) {
            red[i] = gamma[GainLevel(WrapMul(i + kFactorMin, frame.redScale))];
            blue[i] = gamma[GainLevel(WrapMul(i + kFactorMin, frame.blueScale))];
        }
        for (int32_t i = 0; i < kGreenCount; ++i)
            green[i] = gamma[ClampRange(i + kGreenMin, 0, 255)];
    }
    int32_t red1[256];  // r1 by the Cr byte
    int32_t blue1[256];
    uint8_t red[kFactorCount];  // gamma[R] by Y + r1 - kFactorMin
    uint8_t blue[kFactorCount];
    uint8_t green[kGreenCount];  // gamma[G] by G - kGreenMin
    const uint8_t* gamma;
};

struct GammaLevels {
    uint8_t r;
    uint8_t g;
    uint8_t b;
};

inline GammaLevels TableLevels(const GammaLevelTables& t, int32_t y, uint8_t crByte,
                               uint8_t cbByte) {
    const int32_t r1 = t.red1[crByte];
    const int32_t b1 = t.blue1[cbByte];
    return {t.red[y + r1 - kFactorMin],
            t.green[y - (r1 >> kGreenShift) - (b1 >> kGreenShift) - kGreenMin],
            t.blue[y + b1 - kFactorMin]};
}

template <class Format>
void YccRgbTablePixels(const GammaLevelTables& t, const uint8_t* src, uint8_t* dst, int32_t width) {
    for (int32_t x = 0; x < width; ++x, src += kYccBytes, dst += Format::kBytes) {
        const uint8_t y = src[kLumaByte];
        const GammaLevels c = TableLevels(t, y, src[kCrByte], src[kCbByte]);
        // A blend of bits, which compilers keep free of branches (a
        // conditional choice here became one).
        const uint32_t grey = FalseColourMask(y, src[kCrByte], src[kCbByte]);
        const uint32_t level = t.gamma[y];
        const auto pick = [&](uint8_t converted) {
            return static_cast<uint8_t>(converted ^ ((converted ^ level) & grey));
        };
        Format::Store(dst, pick(c.r), pick(c.g), pick(c.b));
    }
}

template <class Format>
void YcRgbTablePixels(const GammaLevelTables& t, const YcRows& rows, uint8_t* dst, int32_t width) {
    for (int32_t x = 0; x < width; ++x, dst += Format::kBytes) {
        const int32_t offset = kYcBytes * x;
        const GammaLevels c = TableLevels(t, rows.luma[offset], rows.red[offset + kChromaByte],
                                          rows.blue[offset + kChromaByte]);
        Format::Store(dst, c.r, c.g, c.b);
    }
}

template <class Format>
void PortableYccToRgb(const OutputFrame& frame) {
    if (FitsLevelTables(frame.redScale, frame.blueScale)) {
        const GammaLevelTables tables(frame);
        ForEachYccRow(frame, Format::kBytes, [&](const uint8_t* src, uint8_t* dst) {
            YccRgbTablePixels<Format>(tables, src, dst, frame.width);
        });
        return;
    }
    const FrameColour colour = ColourOf(frame);
    ForEachYccRow(frame, Format::kBytes, [&](const uint8_t* src, uint8_t* dst) {
        YccRgbPixels<Format>(colour, src, dst, 0, frame.width);
    });
}

template <class Format>
void PortableYcToRgb(const OutputFrame& frame) {
    if (FitsLevelTables(frame.redScale, frame.blueScale)) {
        const GammaLevelTables tables(frame);
        ForEachYcRow(frame, Format::kBytes, [&](const YcRows& rows, uint8_t* dst) {
            YcRgbTablePixels<Format>(tables, rows, dst, frame.width);
        });
        return;
    }
    const FrameColour colour = ColourOf(frame);
    ForEachYcRow(frame, Format::kBytes, [&](const YcRows& rows, uint8_t* dst) {
        YcRgbPixels<Format>(colour, rows, dst, 0, frame.width);
    });
}

// An odd width rounds up to a whole pair, which fills the row's padding;
// its second pixel is the first pixel of the next row, or after the last row
// the zero-filled spare bytes that follow every work buffer.
inline int32_t YccUyvyPairCount(int32_t width) {
    return (width + 1) >> 1;
}
// An odd width leaves the last column as it was.
inline int32_t YcUyvyPairCount(int32_t width) {
    return width >> 1;
}

inline void PortableYccToUyvy(const OutputFrame& frame) {
    const UyvyTables tables(frame);
    const int32_t pairs = YccUyvyPairCount(frame.width);
    ForEachYccRow(frame, kUyvyBytes, [&](const uint8_t* src, uint8_t* dst) {
        YccUyvyPairs(tables, src, dst, 0, pairs);
    });
}

inline void PortableYcToUyvy(const OutputFrame& frame) {
    const UyvyTables tables(frame);
    const int32_t pairs = YcUyvyPairCount(frame.width);
    ForEachYcRow(frame, kUyvyBytes, [&](const YcRows& rows, uint8_t* dst) {
        YcUyvyPairs(tables, rows, dst, 0, pairs);
    });
}

inline constexpr OutputKernels kPortableKernels = {
    PortableYccToRgb<Bgr24Format>, PortableYccToRgb<Rgb555Format>, PortableYccToUyvy,
    PortableYcToRgb<Bgr24Format>,  PortableYcToRgb<Rgb555Format>,  PortableYcToUyvy,
};

}  // namespace
}  // namespace output
}  // namespace teko::pipeline
