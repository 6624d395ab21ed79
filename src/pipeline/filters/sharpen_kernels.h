// The sharpening and smoothing kernels. sharpen.cpp, sharpen_v2.cpp and
// sharpen_v3.cpp each include this header and build it for their own
// instruction set; everything after the table declarations has internal
// linkage, so that no object can hand its copy of a function to another.
//
// The vector kernels treat a row as a plain byte stream: output byte i of a
// row takes its centre from input byte i + bytesPerPixel and its left and
// right neighbours from the bytes one pixel before and after. They compute
// the luminance formula at every byte and keep it where the byte is a
// luminance byte (a repeating mask), so no pixel is ever deinterleaved.
// Every level writes the same bytes and reads only the bytes the per-pixel
// formulas read.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSSE3__) && defined(__SSE4_1__)
#include <immintrin.h>
#endif

#include "pipeline/filters/pixel.h"
#include "pipeline/filters/vector_ops.h"

namespace teko::pipeline {

// One frame of a sharpen-family filter: its input and output images with
// their row pitches in bytes, and the output size in pixels.
struct SharpenFrame {
    const uint8_t* in;
    int32_t inPitch;
    uint8_t* out;
    int32_t outPitch;
    int32_t width;
    int32_t height;
};

struct SharpenKernels {
    void (*yccSharpen)(const SharpenFrame& frame);
    void (*yccHorizontalSharpen)(const SharpenFrame& frame);
    void (*yccVerticalSmooth)(const SharpenFrame& frame);
    void (*ycSharpen)(const SharpenFrame& frame);
};

// sharpen.cpp and sharpen_v2.cpp to sharpen_v4.cpp.
extern const SharpenKernels kSharpenPortable;
extern const SharpenKernels kSharpenV2;
extern const SharpenKernels kSharpenV3;
extern const SharpenKernels kSharpenV4;

namespace sharpen {
namespace {

using namespace filters;

// ---- Per-pixel formulas -------------------------------------------------
//
// The centre of output pixel (x, y) is input pixel (x + 1, y + 1), or
// (x + 1, y) for the horizontal sharpener:
//
//          above
//   left  centre  right
//          below

// 4 x centre - (above + below) / 2 - left - right: the weights sum to 1, so
// flat areas keep their luminance.
inline int32_t SharpenLuma(const uint8_t* centre, const uint8_t* above, const uint8_t* below,
                           int32_t bytesPerPixel) {
    return Clamp255(4 * Unsigned(centre) - ((Unsigned(above) + Unsigned(below)) >> 1) -
                    Unsigned(centre - bytesPerPixel) - Unsigned(centre + bytesPerPixel));
}

// Luminance sharpened; Cr averaged with the right neighbour's, Cb copied.
inline void YccSharpenPixel(const uint8_t* above, const uint8_t* centre, const uint8_t* below,
                            uint8_t* out) {
    const int32_t cr = (Signed(centre + kCrByte) + Signed(centre + kYccBytes + kCrByte)) >> 1;
    StoreYcc(out, SharpenLuma(centre, above, below, kYccBytes), cr, Signed(centre + kCbByte));
}

// 3 x centre - left - right; colour differences copied.
inline void YccHorizontalSharpenPixel(const uint8_t* centre, uint8_t* out) {
    const int32_t luma = Clamp255(3 * Unsigned(centre) - Unsigned(centre - kYccBytes) -
                                  Unsigned(centre + kYccBytes));
    StoreYcc(out, luma, Signed(centre + kCrByte), Signed(centre + kCbByte));
}

// (above + centre + below) >> 2 for every component.
inline void YccVerticalSmoothPixel(const uint8_t* above, const uint8_t* centre,
                                   const uint8_t* below, uint8_t* out) {
    for (int32_t j = 0; j < kYccBytes; ++j) {
        out[j] = Low8((Component(above, j) + Component(centre, j) + Component(below, j)) >> 2);
    }
}

// Luminance sharpened, C copied.
inline void YcSharpenPixel(const uint8_t* above, const uint8_t* centre, const uint8_t* below,
                           uint8_t* out) {
    out[kLumaByte] = Low8(SharpenLuma(centre, above, below, kYcBytes));
    out[kChromaByte] = centre[kChromaByte];
}

// The rows of output row y: the centre pointer at input column 1 of row
// y + rowOffset, and the rows above and below it.
struct Rows {
    const uint8_t* above;
    const uint8_t* centre;
    const uint8_t* below;
    uint8_t* out;
};

inline Rows RowsAt(const SharpenFrame& f, int32_t y, int32_t rowOffset, int32_t bytesPerPixel) {
    const uint8_t* centre = RowAt(f.in, y + rowOffset, f.inPitch) + bytesPerPixel;
    // Only a filter with rows above and below asks for them (rowOffset 1).
    const uint8_t* above = rowOffset > 0 ? centre - f.inPitch : centre;
    const uint8_t* below = rowOffset > 0 ? centre + f.inPitch : centre;
    return {above, centre, below, RowAt(f.out, y, f.outPitch)};
}

constexpr int32_t kCentreRowBelowTop = 1;
constexpr int32_t kCentreRowOnTop = 0;

// ---- Byte-wise arithmetic -----------------------------------------------------

// floor((a + b) / 2) of unsigned bytes: the rounding-up mean less the bit
// the sum's halving drops.
template <class V>
typename V::T FloorMean(typename V::T a, typename V::T b) {
    return V::Sub8(V::Avg(a, b), V::And(V::Xor(a, b), V::Bytes(1)));
}

// floor((a + b) / 2) of signed bytes. Flipping the low seven bits maps a
// signed byte s to the unsigned 127 - s, which turns the rounding-up mean
// into the flooring one and back.
template <class V>
typename V::T SignedFloorMean(typename V::T a, typename V::T b) {
    const typename V::T flip = V::Bytes(0x7F);
    return V::Xor(V::Avg(V::Xor(a, flip), V::Xor(b, flip)), flip);
}

// SharpenLuma at every byte, from the bytes of the centre, its left and
// right neighbours and the pixels above and below: 4c - l and -(r + m) as
// sums of byte pairs in 16-bit lanes, their sum clamped by the pack.
template <class V>
typename V::T SharpenLumaBytes(typename V::T c, typename V::T l, typename V::T r,
                               typename V::T above, typename V::T below) {
    using T = typename V::T;
    const T m = FloorMean<V>(above, below);
    const T centreLeft = V::Pairs(4, -1);
    const T minusBoth = V::Bytes(-1);
    const T low = V::Add16(V::MulAddPairs(V::ZipLow(c, l), centreLeft),
                           V::MulAddPairs(V::ZipLow(r, m), minusBoth));
    const T high = V::Add16(V::MulAddPairs(V::ZipHigh(c, l), centreLeft),
                            V::MulAddPairs(V::ZipHigh(r, m), minusBoth));
    return V::PackU8(low, high);
}

// ---- Rows of Ycc bytes ----------------------------------------------------------

// 0xFF at every byte of one component of a Ycc byte stream that starts
// `phase` bytes into a pixel (load from `bytes + phase`).
struct ComponentPattern {
    uint8_t bytes[kYccBytes + 64];
};

constexpr ComponentPattern MakePattern(int32_t component) {
    ComponentPattern pattern{};
    for (int32_t i = 0; i < static_cast<int32_t>(sizeof pattern.bytes); ++i) {
        pattern.bytes[i] = i % kYccBytes == component ? 0xFF : 0x00;
    }
    return pattern;
}

constexpr ComponentPattern kLumaPattern = MakePattern(kLumaByte);
constexpr ComponentPattern kCrPattern = MakePattern(kCrByte);
constexpr ComponentPattern kCbPattern = MakePattern(kCbByte);

template <class V>
struct YccMasks {
    typename V::T luma;
    typename V::T cr;
    typename V::T cb;
};

// The component masks for the vector that starts at byte `offset` of a row.
template <class V>
YccMasks<V> MasksAt(int32_t offset) {
    const int32_t phase = offset % kYccBytes;
    return {V::Load(kLumaPattern.bytes + phase), V::Load(kCrPattern.bytes + phase),
            V::Load(kCbPattern.bytes + phase)};
}

// Runs chunk(offset, masks) over a row of n >= V::kBytes bytes: three
// vectors (one whole period of the masks) at a time, then single vectors,
// then one last vector that ends at the row's end and overlaps the one
// before it (it rewrites those bytes with the same values). Always inlined:
// a call would leave the row pointers in memory that every store may alias.
template <class V, class Chunk>
[[gnu::always_inline]] inline void ForEachYccVector(int32_t n, Chunk chunk) {
    constexpr int32_t k = V::kBytes;
    const YccMasks<V> m0 = MasksAt<V>(0);
    const YccMasks<V> m1 = MasksAt<V>(k);
    const YccMasks<V> m2 = MasksAt<V>(2 * k);
    int32_t o = 0;
    for (; o + 3 * k <= n; o += 3 * k) {
        chunk(o, m0);
        chunk(o + k, m1);
        chunk(o + 2 * k, m2);
    }
    for (; o + k <= n; o += k)
        chunk(o, MasksAt<V>(o));
    if (o < n) chunk(n - k, MasksAt<V>(n - k));
}

// As ForEachYccVector for a stream whose masks repeat with every vector.
template <class V, class Chunk>
[[gnu::always_inline]] inline void ForEachVector(int32_t n, Chunk chunk) {
    constexpr int32_t k = V::kBytes;
    int32_t o = 0;
    for (; o + k <= n; o += k)
        chunk(o);
    if (o < n) chunk(n - k);
}

// ---- The kernels --------------------------------------------------------------
// Each takes the widest vector level first and steps down to a narrower
// one (finally the per-pixel formulas) for rows shorter than one vector.

template <class V>
void YccSharpen(const SharpenFrame& f) {
    const int32_t n = kYccBytes * f.width;
    if constexpr (V::kVector) {
        using T = typename V::T;
        if (n < V::kBytes) return YccSharpen<typename V::Narrower>(f);
        for (int32_t y = 0; y < f.height; ++y) {
            const Rows rows = RowsAt(f, y, kCentreRowBelowTop, kYccBytes);
            ForEachYccVector<V>(n, [&rows](int32_t o, const YccMasks<V>& m) {
                const T c = V::Load(rows.centre + o);
                const T r = V::Load(rows.centre + o + kYccBytes);
                const T luma =
                    SharpenLumaBytes<V>(c, V::Load(rows.centre + o - kYccBytes), r,
                                        V::Load(rows.above + o), V::Load(rows.below + o));
                // Cr is the mean with the next pixel's Cr; Cb is the centre byte.
                const T cr = SignedFloorMean<V>(c, r);
                V::Store(rows.out + o, V::Select(m.cb, V::Select(m.cr, luma, cr), c));
            });
        }
    } else {
        for (int32_t y = 0; y < f.height; ++y) {
            const Rows rows = RowsAt(f, y, kCentreRowBelowTop, kYccBytes);
            for (int32_t i = 0; i < n; i += kYccBytes) {
                YccSharpenPixel(rows.above + i, rows.centre + i, rows.below + i, rows.out + i);
            }
        }
    }
}

template <class V>
void YccHorizontalSharpen(const SharpenFrame& f) {
    const int32_t n = kYccBytes * f.width;
    if constexpr (V::kVector) {
        using T = typename V::T;
        if (n < V::kBytes) return YccHorizontalSharpen<typename V::Narrower>(f);
        const T centreLeft = V::Pairs(3, -1);
        const T zero = V::Zero();
        for (int32_t y = 0; y < f.height; ++y) {
            const Rows rows = RowsAt(f, y, kCentreRowOnTop, kYccBytes);
            ForEachYccVector<V>(n, [&](int32_t o, const YccMasks<V>& m) {
                const T c = V::Load(rows.centre + o);
                const T l = V::Load(rows.centre + o - kYccBytes);
                const T r = V::Load(rows.centre + o + kYccBytes);
                const T low =
                    V::Sub16(V::MulAddPairs(V::ZipLow(c, l), centreLeft), V::ZipLow(r, zero));
                const T high =
                    V::Sub16(V::MulAddPairs(V::ZipHigh(c, l), centreLeft), V::ZipHigh(r, zero));
                V::Store(rows.out + o, V::Select(m.luma, c, V::PackU8(low, high)));
            });
        }
    } else {
        for (int32_t y = 0; y < f.height; ++y) {
            const Rows rows = RowsAt(f, y, kCentreRowOnTop, kYccBytes);
            for (int32_t i = 0; i < n; i += kYccBytes)
                YccHorizontalSharpenPixel(rows.centre + i, rows.out + i);
        }
    }
}

// A colour-difference byte s is summed as the unsigned s + 128 (its top bit
// flipped); the three offsets of 128 come out of the quarter as 96.
template <class V>
void YccVerticalSmooth(const SharpenFrame& f) {
    const int32_t n = kYccBytes * f.width;
    if constexpr (V::kVector) {
        using T = typename V::T;
        if (n < V::kBytes) return YccVerticalSmooth<typename V::Narrower>(f);
        const T ones = V::Bytes(1);
        const T zero = V::Zero();
        for (int32_t y = 0; y < f.height; ++y) {
            const Rows rows = RowsAt(f, y, kCentreRowBelowTop, kYccBytes);
            ForEachYccVector<V>(n, [&](int32_t o, const YccMasks<V>& m) {
                const T chroma = V::Or(m.cr, m.cb);
                const T flip = V::And(chroma, V::Bytes(0x80));
                const T a = V::Xor(V::Load(rows.above + o), flip);
                const T c = V::Xor(V::Load(rows.centre + o), flip);
                const T b = V::Xor(V::Load(rows.below + o), flip);
                const T low = V::template ShrU16<2>(
                    V::Add16(V::MulAddPairs(V::ZipLow(a, c), ones), V::ZipLow(b, zero)));
                const T high = V::template ShrU16<2>(
                    V::Add16(V::MulAddPairs(V::ZipHigh(a, c), ones), V::ZipHigh(b, zero)));
                V::Store(rows.out + o, V::Sub8(V::PackU8(low, high), V::And(chroma, V::Bytes(96))));
            });
        }
    } else {
        for (int32_t y = 0; y < f.height; ++y) {
            const Rows rows = RowsAt(f, y, kCentreRowBelowTop, kYccBytes);
            for (int32_t i = 0; i < n; i += kYccBytes) {
                YccVerticalSmoothPixel(rows.above + i, rows.centre + i, rows.below + i,
                                       rows.out + i);
            }
        }
    }
}

// Yc pixels are 16-bit lanes: the luminance is the low byte of each, so the
// formula runs on the lanes directly and the clamped result replaces the low
// bytes of the centre.
template <class V>
void YcSharpen(const SharpenFrame& f) {
    const int32_t n = kYcBytes * f.width;
    if constexpr (V::kVector) {
        using T = typename V::T;
        if (n < V::kBytes) return YcSharpen<typename V::Narrower>(f);
        const T lumaByte = V::Pairs(0xFF, 0);
        const T fourLuma = V::Pairs(4, 0);
        const T zero = V::Zero();
        for (int32_t y = 0; y < f.height; ++y) {
            const Rows rows = RowsAt(f, y, kCentreRowBelowTop, kYcBytes);
            ForEachVector<V>(n, [&](int32_t o) {
                const T c = V::Load(rows.centre + o);
                const T l = V::And(V::Load(rows.centre + o - kYcBytes), lumaByte);
                const T r = V::And(V::Load(rows.centre + o + kYcBytes), lumaByte);
                const T a = V::And(V::Load(rows.above + o), lumaByte);
                const T b = V::And(V::Load(rows.below + o), lumaByte);
                const T m = V::template ShrU16<1>(V::Add16(a, b));
                const T sum = V::Sub16(V::Sub16(V::MulAddPairs(c, fourLuma), V::Add16(l, r)), m);
                const T luma = V::Min16(V::Max16(sum, zero), lumaByte);
                V::Store(rows.out + o, V::Select(lumaByte, c, luma));
            });
        }
    } else {
        for (int32_t y = 0; y < f.height; ++y) {
            const Rows rows = RowsAt(f, y, kCentreRowBelowTop, kYcBytes);
            for (int32_t i = 0; i < n; i += kYcBytes)
                YcSharpenPixel(rows.above + i, rows.centre + i, rows.below + i, rows.out + i);
        }
    }
}

// The kernels at the widest level this object is built for.
constexpr SharpenKernels kKernels = {&YccSharpen<Widest>, &YccHorizontalSharpen<Widest>,
                                     &YccVerticalSmooth<Widest>, &YcSharpen<Widest>};

}  // namespace
}  // namespace sharpen
}  // namespace teko::pipeline
