// The raw mosaic conversions' kernels. mosaic.cpp, mosaic_v2.cpp and
// mosaic_v3.cpp each include this header and build it for their own
// instruction set; everything after the table declarations has internal
// linkage, so that no object can hand its copy of a function to another.
//
// Each raw row alternates two kinds of sample, at even and at odd columns.
// Their mean is luminance; on even rows even minus odd is the red
// difference, on odd rows odd minus even is the blue difference.
//
// The vector kernels work on runs of samples: the block and in-place
// conversions on 16-bit lanes holding a pixel's sample pair, the
// interpolation on bytes with one sample each, its means taken exactly on
// bytes. Every level writes the same bytes and reads only the samples the
// per-pixel formulas read.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSSE3__) && defined(__SSE4_1__)
#include <immintrin.h>
#endif

#include "pipeline/filters/pixel.h"
#include "pipeline/filters/vector_ops.h"

namespace teko::pipeline {

// One frame of a mosaic conversion: the raw rows and the output rows with
// their pitches in bytes, and the output size in pixels. The in-place
// conversion has `out` equal to `in`.
struct MosaicFrame {
    const uint8_t* in;
    int32_t inPitch;
    uint8_t* out;
    int32_t outPitch;
    int32_t width;
    int32_t height;
};

struct MosaicKernels {
    void (*blockToYcc)(const MosaicFrame& frame);
    void (*interpolateToYcc)(const MosaicFrame& frame);
    void (*toYcInPlace)(const MosaicFrame& frame);
};

// mosaic.cpp and mosaic_v2.cpp to mosaic_v4.cpp.
extern const MosaicKernels kMosaicPortable;
extern const MosaicKernels kMosaicV2;
extern const MosaicKernels kMosaicV3;
extern const MosaicKernels kMosaicV4;

namespace mosaic {
namespace {

using namespace filters;

// ---- Per-pixel formulas ---------------------------------------------------

// The two sums of four neighbouring samples c..c+3 on one row.
struct SamplePair {
    int32_t even;  // s(c) + s(c + 2)
    int32_t odd;   // s(c + 1) + s(c + 3)
};

inline SamplePair SumsAt(const uint8_t* s) {
    return {s[0] + s[2], s[1] + s[3]};
}

// Block conversion, pixels [from, to) of output rows 2i and 2i + 1 from the
// input rows s0..s2:
//
//   input row 2i      ->  Y and Cr of output row 2i
//   input row 2i + 1  ->  Cb of output rows 2i and 2i + 1, Y of output row 2i + 1
//   input row 2i + 2  ->  Cr of output row 2i + 1
inline void BlockPixels(const uint8_t* s0, int32_t pitch, uint8_t* out0, int32_t outPitch,
                        int32_t from, int32_t to) {
    const uint8_t* s1 = s0 + pitch;
    const uint8_t* s2 = s1 + pitch;
    uint8_t* out1 = out0 + outPitch;
    for (int32_t x = from; x < to; ++x) {
        const int32_t c = 2 * x;
        const SamplePair red = SumsAt(s0 + c);
        const SamplePair blue = SumsAt(s1 + c);
        const SamplePair nextRed = SumsAt(s2 + c);
        const int32_t cb = (blue.odd - blue.even) >> 2;
        StoreYcc(out0 + kYccBytes * x, (red.even + red.odd) >> 2, (red.even - red.odd) >> 2, cb);
        StoreYcc(out1 + kYccBytes * x, (blue.even + blue.odd) >> 2,
                 (nextRed.even - nextRed.odd) >> 2, cb);
    }
}

// One pixel from the 3 x 3 neighbourhood of sample c on the centre row:
//
//   D  V  D     P centre, H mean of left and right, V mean of above and
//   H  P  H     below, D mean of the four diagonals
//   D  V  D
//
// Horizontal difference P - H and diagonal difference D - V give the two
// colour differences; which is which depends on the output row's parity, and
// their sign flips where row and column parity differ.
template <bool kOddRow, bool kOddColumn>
inline void InterpolatePixel(const uint8_t* above, const uint8_t* centre, const uint8_t* below,
                             int32_t c, uint8_t* out) {
    const int32_t p = centre[c];
    const int32_t h = (centre[c - 1] + centre[c + 1]) >> 1;
    const int32_t v = (above[c] + below[c]) >> 1;
    const int32_t d = (above[c - 1] + above[c + 1] + below[c - 1] + below[c + 1]) >> 2;
    constexpr bool kSameParity = kOddRow == kOddColumn;
    const int32_t horizontal = (kSameParity ? p - h : h - p) >> 1;
    const int32_t diagonal = (kSameParity ? d - v : v - d) >> 1;
    const int32_t cr = kOddRow ? horizontal : diagonal;
    const int32_t cb = kOddRow ? diagonal : horizontal;
    StoreYcc(out, (p + h) >> 1, cr, cb);
}

// Output row y; its centre samples lie on input row y + 1, columns 1..W.
template <bool kOddRow>
void InterpolateRow(const uint8_t* above, int32_t pitch, uint8_t* out, int32_t width) {
    const uint8_t* centre = above + pitch;
    const uint8_t* below = centre + pitch;
    int32_t x = 0;
    for (; x + 1 < width; x += 2) {
        InterpolatePixel<kOddRow, false>(above, centre, below, x + 1, out + kYccBytes * x);
        InterpolatePixel<kOddRow, true>(above, centre, below, x + 2, out + kYccBytes * (x + 1));
    }
    if (x < width)
        InterpolatePixel<kOddRow, false>(above, centre, below, x + 1, out + kYccBytes * x);
}

// Rewrites samples 2x and 2x + 1 as pixel x, for x in [from, to). Each step
// reads samples 2x to 2x + 3 before it writes, so it always sees unconverted
// samples; the last pixel reads the first two samples of the next row, which
// is converted later.
template <bool kBlueRow>
void ConvertInPlace(uint8_t* row, int32_t from, int32_t to) {
    for (int32_t x = from; x < to; ++x) {
        uint8_t* s = row + 2 * x;
        const SamplePair sums = SumsAt(s);
        s[kLumaByte] = Low8((sums.even + sums.odd) >> 2);
        s[kChromaByte] = Low8(kBlueRow ? (sums.odd - sums.even) >> 2 : (sums.even - sums.odd) >> 2);
    }
}

// ---- Interleaving Ycc pixels ------------------------------------------------------
// A 256-bit shuffle works inside each 128-bit half; StoreYcc3 puts the
// halves in pixel order.

// Byte indices for StoreYcc3: output vector v (16 bytes) takes its byte b
// from byte kYccShuffle[v][k][b] of component k's 16 bytes, or nothing (0x80).
// Each row of 16 is held twice, for the two halves of a 256-bit shuffle.
struct YccShuffle {
    uint8_t bytes[3][3][32];
};

constexpr YccShuffle MakeYccShuffle() {
    YccShuffle table{};
    for (int32_t v = 0; v < 3; ++v) {
        for (int32_t k = 0; k < kYccBytes; ++k) {
            for (int32_t b = 0; b < 32; ++b) {
                const int32_t g = 16 * v + b % 16;
                table.bytes[v][k][b] =
                    static_cast<uint8_t>(g % kYccBytes == k ? g / kYccBytes : 0x80);
            }
        }
    }
    return table;
}

constexpr YccShuffle kYccShuffle = MakeYccShuffle();

#if defined(__SSSE3__) && defined(__SSE4_1__)
inline __m128i YccShuffled(__m128i v, int32_t out, int32_t component) {
    return _mm_shuffle_epi8(v, V128::Load(kYccShuffle.bytes[out][component]));
}
inline __m128i YccInterleaved(__m128i y, __m128i cr, __m128i cb, int32_t out) {
    return _mm_or_si128(_mm_or_si128(YccShuffled(y, out, 0), YccShuffled(cr, out, 1)),
                        YccShuffled(cb, out, 2));
}
// The 16 pixels of y, cr and cb as 48 Ycc bytes.
inline void StoreYcc3(uint8_t* out, __m128i y, __m128i cr, __m128i cb) {
    V128::Store(out, YccInterleaved(y, cr, cb, 0));
    V128::Store(out + 16, YccInterleaved(y, cr, cb, 1));
    V128::Store(out + 32, YccInterleaved(y, cr, cb, 2));
}
#endif

#if defined(__AVX2__)
inline __m256i YccShuffled(__m256i v, int32_t out, int32_t component) {
    return _mm256_shuffle_epi8(v, V256::Load(kYccShuffle.bytes[out][component]));
}
inline __m256i YccInterleaved(__m256i y, __m256i cr, __m256i cb, int32_t out) {
    return _mm256_or_si256(_mm256_or_si256(YccShuffled(y, out, 0), YccShuffled(cr, out, 1)),
                           YccShuffled(cb, out, 2));
}
// Each half interleaves its own 16 pixels into 48 bytes, as three 16-byte
// parts r0..r2; the stores take the low halves' parts first.
inline void StoreYcc3(uint8_t* out, __m256i y, __m256i cr, __m256i cb) {
    const __m256i r0 = YccInterleaved(y, cr, cb, 0);
    const __m256i r1 = YccInterleaved(y, cr, cb, 1);
    const __m256i r2 = YccInterleaved(y, cr, cb, 2);
    V256::Store(out, _mm256_permute2x128_si256(r0, r1, 0x20));
    V256::Store(out + 32, _mm256_blend_epi32(r2, r0, 0xF0));
    V256::Store(out + 64, _mm256_permute2x128_si256(r1, r2, 0x31));
}
#endif

// ---- Sums of sample pairs ---------------------------------------------------------

// For the pixels whose first samples are the 16-bit lanes of `pairs` (the
// samples 2x, 2x + 1) and `nextPairs` (2x + 2, 2x + 3): (even + odd) >> 2
// and (even - odd) >> 2, or (odd - even) >> 2 for a blue row.
template <class V>
struct PairSums {
    typename V::T luma;
    typename V::T difference;
};

template <class V, bool kBlueRow>
PairSums<V> SumPairs(typename V::T pairs, typename V::T nextPairs) {
    using T = typename V::T;
    const T both = V::Bytes(1);
    const T difference = kBlueRow ? V::Pairs(-1, 1) : V::Pairs(1, -1);
    const T sum = V::Add16(V::MulAddPairs(pairs, both), V::MulAddPairs(nextPairs, both));
    const T diff =
        V::Add16(V::MulAddPairs(pairs, difference), V::MulAddPairs(nextPairs, difference));
    return {V::template ShrU16<2>(sum), V::template ShrS16<2>(diff)};
}

// Luminance and colour difference as bytes for the kBytes pixels from
// sample 2x of row s.
template <class V, bool kBlueRow>
PairSums<V> PixelBytes(const uint8_t* s) {
    constexpr int32_t k = V::kBytes;
    const PairSums<V> first = SumPairs<V, kBlueRow>(V::Load(s), V::Load(s + 2));
    const PairSums<V> second = SumPairs<V, kBlueRow>(V::Load(s + k), V::Load(s + k + 2));
    return {V::PackedInOrderU8(first.luma, second.luma),
            V::PackedInOrderS8(first.difference, second.difference)};
}

// The colour difference alone, as PixelBytes.
template <class V, bool kBlueRow>
typename V::T DifferenceBytes(const uint8_t* s) {
    constexpr int32_t k = V::kBytes;
    const PairSums<V> first = SumPairs<V, kBlueRow>(V::Load(s), V::Load(s + 2));
    const PairSums<V> second = SumPairs<V, kBlueRow>(V::Load(s + k), V::Load(s + k + 2));
    return V::PackedInOrderS8(first.difference, second.difference);
}

// ---- The kernels --------------------------------------------------------------------
// Each takes the widest vector level first and steps down to a narrower
// one (finally the per-pixel formulas) for rows shorter than one vector.

// Output pixels x0..x0 + kBytes - 1 of an output row pair. The last run of
// a row ends at the row's end and overlaps the one before it (it rewrites
// those bytes with the same values).
template <class V>
void BlockToYcc(const MosaicFrame& f) {
    const int32_t w = f.width;
    if constexpr (V::kVector) {
        constexpr int32_t k = V::kBytes;
        if (w < k) return BlockToYcc<typename V::Narrower>(f);
        for (int32_t r = 0; r + 1 < f.height; r += 2) {
            const uint8_t* s0 = RowAt(f.in, r, f.inPitch);
            const uint8_t* s1 = s0 + f.inPitch;
            const uint8_t* s2 = s1 + f.inPitch;
            uint8_t* out0 = RowAt(f.out, r, f.outPitch);
            uint8_t* out1 = out0 + f.outPitch;
            for (int32_t x = 0;; x += k) {
                if (x > w - k) x = w - k;
                const int32_t c = 2 * x;
                const PairSums<V> red = PixelBytes<V, false>(s0 + c);
                const PairSums<V> blue = PixelBytes<V, true>(s1 + c);
                const typename V::T nextRed = DifferenceBytes<V, false>(s2 + c);
                StoreYcc3(out0 + kYccBytes * x, red.luma, red.difference, blue.difference);
                StoreYcc3(out1 + kYccBytes * x, blue.luma, nextRed, blue.difference);
                if (x == w - k) break;
            }
        }
    } else {
        for (int32_t r = 0; r + 1 < f.height; r += 2) {
            BlockPixels(RowAt(f.in, r, f.inPitch), f.inPitch, RowAt(f.out, r, f.outPitch),
                        f.outPitch, 0, w);
        }
    }
}

// Interpolation of the output pixels x0..x0 + kBytes - 1 of row y, byte j
// of every vector belonging to pixel x0 + j. All means are exact on bytes:
//
//   floor((a + b) / 2)      = ~avg(~a, ~b)                 (avg rounds up)
//   floor((a - b) / 2)      = avg(a, ~b) - 128
//   floor((a+b+c+d) / 4)    = avg(x, y) - (((x ^ y) | (a ^ b) | (c ^ d)) & 1)
//                             with x = avg(a, b), y = avg(c, d)
template <class V, bool kOddRow>
[[gnu::always_inline]] inline void InterpolateRun(const uint8_t* above, const uint8_t* centre,
                                                  const uint8_t* below, int32_t x0, uint8_t* out) {
    using T = typename V::T;
    const T ones = V::Bytes(-1);
    const T lowBit = V::Bytes(1);
    const T bias = V::Bytes(0x80);
    // The pixels whose column parity equals the row's: x0 + j odd on odd rows.
    const T oddColumns = (x0 & 1) == 0 ? V::Pairs(0, 0xFF) : V::Pairs(0xFF, 0);
    const T sameParity = kOddRow ? oddColumns : V::Xor(oddColumns, ones);

    const T left = V::Load(centre + x0);
    const T p = V::Load(centre + x0 + 1);
    const T right = V::Load(centre + x0 + 2);
    const T notP = V::Xor(p, ones);
    const T notH = V::Avg(V::Xor(left, ones), V::Xor(right, ones));
    const T h = V::Xor(notH, ones);
    const T luma = V::Xor(V::Avg(notP, notH), ones);

    const T notV =
        V::Avg(V::Xor(V::Load(above + x0 + 1), ones), V::Xor(V::Load(below + x0 + 1), ones));
    const T v = V::Xor(notV, ones);
    const T aboveLeft = V::Load(above + x0);
    const T aboveRight = V::Load(above + x0 + 2);
    const T belowLeft = V::Load(below + x0);
    const T belowRight = V::Load(below + x0 + 2);
    const T aboveMean = V::Avg(aboveLeft, aboveRight);
    const T belowMean = V::Avg(belowLeft, belowRight);
    const T dropped = V::Or(V::Or(V::Xor(aboveMean, belowMean), V::Xor(aboveLeft, aboveRight)),
                            V::Xor(belowLeft, belowRight));
    const T d = V::Sub8(V::Avg(aboveMean, belowMean), V::And(dropped, lowBit));

    // (p - h) >> 1 where the parities agree, (h - p) >> 1 elsewhere; the same
    // for d - v.
    const T horizontal = V::Xor(V::Select(sameParity, V::Avg(h, notP), V::Avg(p, notH)), bias);
    const T diagonal =
        V::Xor(V::Select(sameParity, V::Avg(v, V::Xor(d, ones)), V::Avg(d, notV)), bias);
    if constexpr (kOddRow) {
        StoreYcc3(out + kYccBytes * x0, luma, horizontal, diagonal);
    } else {
        StoreYcc3(out + kYccBytes * x0, luma, diagonal, horizontal);
    }
}

template <class V, bool kOddRow>
void InterpolateVectorRow(const uint8_t* above, int32_t pitch, uint8_t* out, int32_t width) {
    constexpr int32_t k = V::kBytes;
    const uint8_t* centre = above + pitch;
    const uint8_t* below = centre + pitch;
    int32_t x = 0;
    for (; x + k <= width; x += k)
        InterpolateRun<V, kOddRow>(above, centre, below, x, out);
    if (x < width) InterpolateRun<V, kOddRow>(above, centre, below, width - k, out);
}

template <class V>
void InterpolateToYcc(const MosaicFrame& f) {
    const int32_t w = f.width;
    if constexpr (V::kVector) {
        if (w < V::kBytes) return InterpolateToYcc<typename V::Narrower>(f);
        for (int32_t y = 0; y < f.height; ++y) {
            const uint8_t* above = RowAt(f.in, y, f.inPitch);
            uint8_t* out = RowAt(f.out, y, f.outPitch);
            if ((y & 1) == 0) {
                InterpolateVectorRow<V, false>(above, f.inPitch, out, w);
            } else {
                InterpolateVectorRow<V, true>(above, f.inPitch, out, w);
            }
        }
    } else {
        for (int32_t y = 0; y < f.height; ++y) {
            const uint8_t* above = RowAt(f.in, y, f.inPitch);
            uint8_t* out = RowAt(f.out, y, f.outPitch);
            if ((y & 1) == 0) {
                InterpolateRow<false>(above, f.inPitch, out, w);
            } else {
                InterpolateRow<true>(above, f.inPitch, out, w);
            }
        }
    }
}

// kBytes / 2 pixels from sample 2x as Y, C lanes.
template <class V, bool kBlueRow>
typename V::T YcPixels(const uint8_t* s) {
    const PairSums<V> sums = SumPairs<V, kBlueRow>(V::Load(s), V::Load(s + 2));
    return V::Or(sums.luma, V::template Shl16<8>(sums.difference));
}

// Runs of kBytes / 2 pixels from left to right, each loaded before it is
// stored, so every run reads unconverted samples exactly as the per-pixel
// steps do. The last run of a row ends at the row's end and overlaps the one
// before it; it is computed before anything in the row is written and
// stored last.
template <class V, bool kBlueRow>
void ConvertVectorRow(uint8_t* row, int32_t width) {
    constexpr int32_t n = V::kBytes / 2;
    const int32_t last = width - n;
    const typename V::T tail = YcPixels<V, kBlueRow>(row + 2 * last);
    for (int32_t x = 0; x < last; x += n) {
        V::Store(row + 2 * x, YcPixels<V, kBlueRow>(row + 2 * x));
    }
    V::Store(row + 2 * last, tail);
}

template <class V>
void ToYcInPlace(const MosaicFrame& f) {
    const int32_t w = f.width;
    if constexpr (V::kVector) {
        if (w < V::kBytes / 2) return ToYcInPlace<typename V::Narrower>(f);
        for (int32_t r = 0; r + 1 < f.height; r += 2) {
            uint8_t* row = RowAt(f.out, r, f.outPitch);
            ConvertVectorRow<V, false>(row, w);
            ConvertVectorRow<V, true>(row + f.outPitch, w);
        }
    } else {
        for (int32_t r = 0; r + 1 < f.height; r += 2) {
            uint8_t* row = RowAt(f.out, r, f.outPitch);
            ConvertInPlace<false>(row, 0, w);
            ConvertInPlace<true>(row + f.outPitch, 0, w);
        }
    }
}

// The kernels at the widest level this object is built for.
constexpr MosaicKernels kKernels = {&BlockToYcc<Widest>, &InterpolateToYcc<Widest>,
                                    &ToYcInPlace<Widest>};

}  // namespace
}  // namespace mosaic
}  // namespace teko::pipeline
