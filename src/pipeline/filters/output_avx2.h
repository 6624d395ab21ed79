// The output kernels for x86-64 v3 (AVX2): 16 pixels at a time, the levels
// in 16-bit lanes (gains 1..255) or 32-bit lanes (any other gain), the gamma
// table and the packed YUV chroma read with gathers from tables of 32-bit
// entries that already hold each value at its byte or bit position in the
// output, so that one OR joins the channels of eight pixels.
//
// A row narrower than a group goes through the per-pixel code; the group at
// the end of a wider row is moved back to end at the row's end, overlapping
// the one before it. Loads stay inside the bytes the per-pixel code reads;
// stores stay inside the row's pixels.
#pragma once

#if defined(__AVX2__)

#include <immintrin.h>

#include <cstdint>

#include "pipeline/filters/output_kernels.h"
#include "pipeline/filters/output_simd.h"

namespace teko::pipeline::output {
namespace {
namespace avx2 {

using V = __m256i;

struct Ops {
    using V = __m256i;
    static V Zero() { return _mm256_setzero_si256(); }
    static V Set16(int32_t v) { return _mm256_set1_epi16(static_cast<int16_t>(v)); }
    static V Set32(int32_t v) { return _mm256_set1_epi32(v); }
    static V And(V a, V b) { return _mm256_and_si256(a, b); }
    // b where mask is set, else a.
    static V Select(V a, V b, V mask) { return _mm256_blendv_epi8(a, b, mask); }
    static V Add16(V a, V b) { return _mm256_add_epi16(a, b); }
    static V Sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
    static V Mul16(V a, V b) { return _mm256_mullo_epi16(a, b); }
    static V MulHiU16(V a, V b) { return _mm256_mulhi_epu16(a, b); }
    static V Min16(V a, V b) { return _mm256_min_epi16(a, b); }
    static V Max16(V a, V b) { return _mm256_max_epi16(a, b); }
    static V CmpGt16(V a, V b) { return _mm256_cmpgt_epi16(a, b); }
    static V Sra16(V a, int n) { return _mm256_srai_epi16(a, n); }
    static V Srl16(V a, int n) { return _mm256_srli_epi16(a, n); }
    static V Add32(V a, V b) { return _mm256_add_epi32(a, b); }
    static V Sub32(V a, V b) { return _mm256_sub_epi32(a, b); }
    static V Mul32(V a, V b) { return _mm256_mullo_epi32(a, b); }
    static V MulAdd16(V a, V b) { return _mm256_madd_epi16(a, b); }
    static V Min32(V a, V b) { return _mm256_min_epi32(a, b); }
    static V Max32(V a, V b) { return _mm256_max_epi32(a, b); }
    static V CmpGt32(V a, V b) { return _mm256_cmpgt_epi32(a, b); }
    static V Sra32(V a, int n) { return _mm256_srai_epi32(a, n); }
    static V Srl32(V a, int n) { return _mm256_srli_epi32(a, n); }
};

inline V Load(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
// 16 bytes at `low` in the low lane, 16 at `high` in the high lane.
inline V Load2(const uint8_t* low, const uint8_t* high) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}
inline void Store(uint8_t* p, V v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// ---- Byte shuffles ---------------------------------------------------------

struct Shuffle {
    int8_t bytes[32];
};

// A vpshufb control that places, in each lane, elements first to
// first + count - 1 (of elementBytes each) from the lane's source bytes
// start + stride x i + component, at byte `position` of the element; every
// other byte becomes 0.
constexpr Shuffle Pick(int elementBytes, int position, int start0, int start1, int stride,
                       int first, int count, int component) {
    Shuffle s{};
    for (int byte = 0; byte < 32; ++byte)
        s.bytes[byte] = -128;
    for (int lane = 0; lane < 2; ++lane) {
        for (int i = 0; i < count; ++i) {
            const int source = (lane == 0 ? start0 : start1) + stride * i + component;
            s.bytes[16 * lane + elementBytes * (first + i) + position] =
                static_cast<int8_t>(source);
        }
    }
    return s;
}

inline V Control(const Shuffle& s) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s.bytes));
}
inline V Apply(V v, const Shuffle& s) {
    return _mm256_shuffle_epi8(v, Control(s));
}

// Luminance at byte 0 of its element (zero-extended), colour differences at
// the top byte, to be shifted down with their sign.
constexpr int TopByte(int elementBytes, int component) {
    return component == kLumaByte ? 0 : elementBytes - 1;
}

// Ycc groups of 16 pixels are loaded as A = bytes 0-15 | 12-27 (pixels 0-3 |
// 4-7 at the start of each lane) and B = bytes 24-39 | 32-47 (pixels 8-11 |
// 12-15 at lane offsets 0 | 4): exactly the group's 48 bytes.
struct YccLoads {
    V a;
    V b;
};
inline YccLoads LoadYccGroup(const uint8_t* p) {
    return {Load2(p, p + 12), Load2(p + 24, p + 32)};
}

// 32-bit element of pixel i of a lane, from A or from B.
constexpr Shuffle YccDwordA(int component) {
    return Pick(4, TopByte(4, component), 0, 0, kYccBytes, 0, 4, component);
}
constexpr Shuffle YccDwordB(int component) {
    return Pick(4, TopByte(4, component), 0, 4, kYccBytes, 0, 4, component);
}
inline constexpr Shuffle kYccDwordA[3] = {YccDwordA(0), YccDwordA(1), YccDwordA(2)};
inline constexpr Shuffle kYccDwordB[3] = {YccDwordB(0), YccDwordB(1), YccDwordB(2)};

// 16-bit elements in the order pixels 0-3, 8-11 | 4-7, 12-15: A fills
// elements 0-3 of each lane, B elements 4-7. Unpacking that order into
// 32-bit halves gives pixels 0-7 and 8-15.
constexpr Shuffle YccWordA(int component) {
    return Pick(2, TopByte(2, component), 0, 0, kYccBytes, 0, 4, component);
}
constexpr Shuffle YccWordB(int component) {
    return Pick(2, TopByte(2, component), 0, 4, kYccBytes, 4, 4, component);
}
inline constexpr Shuffle kYccWordA[3] = {YccWordA(0), YccWordA(1), YccWordA(2)};
inline constexpr Shuffle kYccWordB[3] = {YccWordB(0), YccWordB(1), YccWordB(2)};

// Yc: 8 pixels of a row (16 bytes) in both lanes, pixels 0-3 | 4-7.
constexpr Shuffle YcDword(int component) {
    return Pick(4, TopByte(4, component), 0, 8, kYcBytes, 0, 4, component);
}
inline constexpr Shuffle kYcDwordLuma = YcDword(kLumaByte);
inline constexpr Shuffle kYcDwordChroma = YcDword(kChromaByte);

// ---- Levels of a group as gather indices -------------------------------------

// 32-bit indices 0..255 of 8 pixels.
struct Indices {
    V r;
    V g;
    V b;
};
// Pixels 0-7 and 8-15 of a group.
struct GroupIndices {
    Indices low;
    Indices high;
};

template <bool kSuppress>
Indices DwordIndices(V y, V cr, V cb, const DwordGains<Ops>& gains) {
    Channels<Ops> levels = DwordLevels<Ops, true>(y, cr, cb, gains);
    if constexpr (kSuppress) levels = Grey<Ops>(levels, y, FalseColour32<Ops>(y, cr, cb));
    return {levels.r, levels.g, levels.b};
}

// From 16-bit lanes in the order pixels 0-3, 8-11 | 4-7, 12-15.
template <bool kSuppress>
GroupIndices WordIndices(V y, V cr, V cb, const WordGains<Ops>& gains) {
    Channels<Ops> levels = WordLevels<Ops, true>(y, cr, cb, gains);
    if constexpr (kSuppress) levels = Grey<Ops>(levels, y, FalseColour16<Ops>(y, cr, cb));
    const V zero = _mm256_setzero_si256();
    return {{_mm256_unpacklo_epi16(levels.r, zero), _mm256_unpacklo_epi16(levels.g, zero),
             _mm256_unpacklo_epi16(levels.b, zero)},
            {_mm256_unpackhi_epi16(levels.r, zero), _mm256_unpackhi_epi16(levels.g, zero),
             _mm256_unpackhi_epi16(levels.b, zero)}};
}

inline V Component32(V loaded, const Shuffle& s, int component) {
    const V v = Apply(loaded, s);
    return component == kLumaByte ? v : _mm256_srai_epi32(v, 24);
}
inline V Component16(YccLoads loads, int component) {
    const V v =
        _mm256_or_si256(Apply(loads.a, kYccWordA[component]), Apply(loads.b, kYccWordB[component]));
    return component == kLumaByte ? v : _mm256_srai_epi16(v, 8);
}

// A Ycc group at p, with false colour written grey.
struct YccDwordSource {
    const DwordGains<Ops>& gains;
    GroupIndices operator()(const uint8_t* p) const {
        const YccLoads loads = LoadYccGroup(p);
        const auto indices = [&](V loaded, const Shuffle* s) {
            return DwordIndices<true>(Component32(loaded, s[kLumaByte], kLumaByte),
                                      Component32(loaded, s[kCrByte], kCrByte),
                                      Component32(loaded, s[kCbByte], kCbByte), gains);
        };
        return {indices(loads.a, kYccDwordA), indices(loads.b, kYccDwordB)};
    }
};

struct YccWordSource {
    const WordGains<Ops>& gains;
    GroupIndices operator()(const uint8_t* p) const {
        const YccLoads loads = LoadYccGroup(p);
        return WordIndices<true>(Component16(loads, kLumaByte), Component16(loads, kCrByte),
                                 Component16(loads, kCbByte), gains);
    }
};

// A Yc group of output row `rows` starting at byte offset `offset`.
struct YcDwordSource {
    const DwordGains<Ops>& gains;
    GroupIndices operator()(const YcRows& rows, int32_t offset) const {
        const auto half = [&](int32_t at) {
            const auto row = [&](const uint8_t* r) {
                return _mm256_broadcastsi128_si256(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + at)));
            };
            return DwordIndices<false>(Apply(row(rows.luma), kYcDwordLuma),
                                       _mm256_srai_epi32(Apply(row(rows.red), kYcDwordChroma), 24),
                                       _mm256_srai_epi32(Apply(row(rows.blue), kYcDwordChroma), 24),
                                       gains);
        };
        return {half(offset), half(offset + 8 * kYcBytes)};
    }
};

struct YcWordSource {
    const WordGains<Ops>& gains;
    GroupIndices operator()(const YcRows& rows, int32_t offset) const {
        // 64-bit quarters 0, 2 | 1, 3: pixels 0-3, 8-11 | 4-7, 12-15.
        const auto row = [&](const uint8_t* r) {
            return _mm256_permute4x64_epi64(Load(r + offset), 0xD8);
        };
        const V luma = _mm256_and_si256(row(rows.luma), _mm256_set1_epi16(0xFF));
        return WordIndices<false>(luma, _mm256_srai_epi16(row(rows.red), 8),
                                  _mm256_srai_epi16(row(rows.blue), 8), gains);
    }
};

// ---- Gathers and stores ------------------------------------------------------

inline V Gather(const uint32_t* table, V indices) {
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), indices, 4);
}

// Gamma-corrected levels at their place in a pixel of the output format.
struct RgbTables {
    uint32_t r[256];
    uint32_t g[256];
    uint32_t b[256];
};

inline V Pixels(const RgbTables& tables, const Indices& i) {
    return _mm256_or_si256(_mm256_or_si256(Gather(tables.b, i.b), Gather(tables.g, i.g)),
                           Gather(tables.r, i.r));
}

// 24-bit: blue, green, red in bytes 0-2 of each 32-bit pixel.
struct Bgr24 {
    using Format = Bgr24Format;
    static void Fill(RgbTables& t, const uint8_t* gamma) {
        for (int32_t i = 0; i < 256; ++i) {
            t.b[i] = gamma[i];
            t.g[i] = uint32_t{gamma[i]} << 8;
            t.r[i] = uint32_t{gamma[i]} << 16;
        }
    }
    // The first 24 bytes of the 8 pixels' 32-bit values.
    static V Pack(V pixels) {
        constexpr Shuffle kCompress = {{0,  1,    2,    4,    5,    6,  8,    9,    10,   12,  13,
                                        14, -128, -128, -128, -128, 0,  1,    2,    4,    5,   6,
                                        8,  9,    10,   12,   13,   14, -128, -128, -128, -128}};
        return _mm256_permutevar8x32_epi32(Apply(pixels, kCompress),
                                           _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
    }
    // 48 bytes; `room` pixels from dst to the row's end (at least 16).
    static void Store16(uint8_t* dst, V low, V high, int32_t room) {
        Store(dst, Pack(low));  // its last 8 bytes are rewritten by the next store
        const V second = Pack(high);
        if (room >= 19) {
            Store(dst + 24, second);
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 24), _mm256_castsi256_si128(second));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 40),
                             _mm256_extracti128_si256(second, 1));
        }
    }
};

// 5-5-5: each level's top 5 bits at their place in the 16-bit word.
struct Rgb555 {
    using Format = Rgb555Format;
    static void Fill(RgbTables& t, const uint8_t* gamma) {
        for (int32_t i = 0; i < 256; ++i) {
            const uint32_t level = uint32_t{gamma[i]} >> Rgb555Format::kLevelShift;
            t.b[i] = level;
            t.g[i] = level << Rgb555Format::kGreenPosition;
            t.r[i] = level << Rgb555Format::kRedPosition;
        }
    }
    // 32 bytes.
    static void Store16(uint8_t* dst, V low, V high, int32_t /*room*/) {
        Store(dst, _mm256_permute4x64_epi64(_mm256_packus_epi32(low, high), 0xD8));
    }
};

constexpr int32_t kGroup = 16;

template <class Out>
void StoreGroup(const RgbTables& tables, const GroupIndices& group, uint8_t* dst, int32_t room) {
    Out::Store16(dst, Pixels(tables, group.low), Pixels(tables, group.high), room);
}

template <class Out, class Source>
void YccFrameRows(const OutputFrame& frame, const RgbTables& tables, const Source& source) {
    using Format = typename Out::Format;
    const FrameColour colour = ColourOf(frame);
    ForEachYccRow(frame, Format::kBytes, [&](const uint8_t* src, uint8_t* dst) {
        ForEachGroup<kGroup>(
            frame.width,
            [&](int32_t x, int32_t room) {
                StoreGroup<Out>(tables, source(src + kYccBytes * x), dst + Format::kBytes * x,
                                room);
            },
            [&](int32_t first, int32_t end) {
                YccRgbPixels<Format>(colour, src, dst, first, end);
            });
    });
}

template <class Out, class Source>
void YcFrameRows(const OutputFrame& frame, const RgbTables& tables, const Source& source) {
    using Format = typename Out::Format;
    const FrameColour colour = ColourOf(frame);
    ForEachYcRow(frame, Format::kBytes, [&](const YcRows& rows, uint8_t* dst) {
        ForEachGroup<kGroup>(
            frame.width,
            [&](int32_t x, int32_t room) {
                StoreGroup<Out>(tables, source(rows, kYcBytes * x), dst + Format::kBytes * x, room);
            },
            [&](int32_t first, int32_t end) {
                YcRgbPixels<Format>(colour, rows, dst, first, end);
            });
    });
}

template <class Out>
void YccToRgb(const OutputFrame& frame) {
    RgbTables tables;
    Out::Fill(tables, frame.gamma);
    if (FitsWordLanes(frame.redScale, frame.blueScale)) {
        const WordGains<Ops> gains(frame.redScale, frame.blueScale);
        YccFrameRows<Out>(frame, tables, YccWordSource{gains});
    } else {
        const DwordGains<Ops> gains(frame.redScale, frame.blueScale);
        YccFrameRows<Out>(frame, tables, YccDwordSource{gains});
    }
}

template <class Out>
void YcToRgb(const OutputFrame& frame) {
    RgbTables tables;
    Out::Fill(tables, frame.gamma);
    if (FitsWordLanes(frame.redScale, frame.blueScale)) {
        const WordGains<Ops> gains(frame.redScale, frame.blueScale);
        YcFrameRows<Out>(frame, tables, YcWordSource{gains});
    } else {
        const DwordGains<Ops> gains(frame.redScale, frame.blueScale);
        YcFrameRows<Out>(frame, tables, YcDwordSource{gains});
    }
}

// ---- Packed YUV ----------------------------------------------------------------

// Per pair a 32-bit word U | Y0 << 8 | V << 16 | Y1 << 24.
struct UyvyGatherTables {
    explicit UyvyGatherTables(const OutputFrame& frame) {
        const UyvyTables bytes(frame);
        for (int32_t i = 0; i < 256; ++i) {
            u[i] = bytes.u[i];
            y0[i] = uint32_t{frame.gamma[i]} << 8;
            v[i] = uint32_t{bytes.v[i]} << 16;
            y1[i] = uint32_t{frame.gamma[i]} << 24;
        }
    }
    uint32_t u[256];
    uint32_t y0[256];
    uint32_t v[256];
    uint32_t y1[256];
};

inline V Pairs(const UyvyGatherTables& t, V u, V y0, V v, V y1) {
    return _mm256_or_si256(_mm256_or_si256(Gather(t.u, u), Gather(t.y0, y0)),
                           _mm256_or_si256(Gather(t.v, v), Gather(t.y1, y1)));
}

// Ycc: 8 pairs (48 bytes) loaded as for the RGB groups: A holds pairs 0-1 |
// 2-3 at lane offset 0, B pairs 4-5 | 6-7 at lane offsets 0 | 4. The
// shuffles give pairs 0, 1, 4, 5 | 2, 3, 6, 7, which one permute puts in order.
constexpr int32_t kPairBytes = 2 * kYccBytes;
constexpr Shuffle YccPairA(int byte) {
    return Pick(4, 0, 0, 0, kPairBytes, 0, 2, byte);
}
constexpr Shuffle YccPairB(int byte) {
    return Pick(4, 0, 0, 4, kPairBytes, 2, 2, byte);
}
// U from the first pixel's Cb, Y0, V from the second pixel's Cr, Y1.
constexpr int kYccPairU = kCbByte, kYccPairY0 = kLumaByte, kYccPairV = kYccBytes + kCrByte,
              kYccPairY1 = kYccBytes + kLumaByte;
inline constexpr Shuffle kYccPairA[4] = {YccPairA(kYccPairU), YccPairA(kYccPairY0),
                                         YccPairA(kYccPairV), YccPairA(kYccPairY1)};
inline constexpr Shuffle kYccPairB[4] = {YccPairB(kYccPairU), YccPairB(kYccPairY0),
                                         YccPairB(kYccPairV), YccPairB(kYccPairY1)};

inline void YccToUyvy(const OutputFrame& frame) {
    const UyvyGatherTables gather(frame);
    const UyvyTables bytes(frame);
    const int32_t pairs = YccUyvyPairCount(frame.width);
    ForEachYccRow(frame, kUyvyBytes, [&](const uint8_t* src, uint8_t* dst) {
        ForEachGroup<8>(
            pairs,
            [&](int32_t k, int32_t) {
                const YccLoads loads = LoadYccGroup(src + kPairBytes * k);
                const auto field = [&](int i) {
                    return _mm256_or_si256(Apply(loads.a, kYccPairA[i]),
                                           Apply(loads.b, kYccPairB[i]));
                };
                const V words = Pairs(gather, field(0), field(1), field(2), field(3));
                Store(dst + 2 * kUyvyBytes * k, _mm256_permute4x64_epi64(words, 0xD8));
            },
            [&](int32_t first, int32_t end) { YccUyvyPairs(bytes, src, dst, first, end); });
    });
}

// Yc: 8 pairs of one row are 32 bytes, pairs 0-3 | 4-7.
constexpr Shuffle YcPair(int byte) {
    return Pick(4, 0, 0, 0, 2 * kYcBytes, 0, 4, byte);
}
inline constexpr Shuffle kYcPairU = YcPair(kChromaByte);  // of the even pixel
inline constexpr Shuffle kYcPairY0 = YcPair(kLumaByte);
inline constexpr Shuffle kYcPairV = YcPair(kYcBytes + kChromaByte);  // of the odd pixel
inline constexpr Shuffle kYcPairY1 = YcPair(kYcBytes + kLumaByte);

inline void YcToUyvy(const OutputFrame& frame) {
    const UyvyGatherTables gather(frame);
    const UyvyTables bytes(frame);
    const int32_t pairs = YcUyvyPairCount(frame.width);
    ForEachYcRow(frame, kUyvyBytes, [&](const YcRows& rows, uint8_t* dst) {
        ForEachGroup<8>(
            pairs,
            [&](int32_t k, int32_t) {
                const int32_t offset = 2 * kYcBytes * k;
                const V luma = Load(rows.luma + offset);
                Store(
                    dst + 2 * kUyvyBytes * k,
                    Pairs(gather, Apply(Load(rows.blue + offset), kYcPairU), Apply(luma, kYcPairY0),
                          Apply(Load(rows.red + offset), kYcPairV), Apply(luma, kYcPairY1)));
            },
            [&](int32_t first, int32_t end) { YcUyvyPairs(bytes, rows, dst, first, end); });
    });
}

inline constexpr OutputKernels kKernels = {
    YccToRgb<Bgr24>, YccToRgb<Rgb555>, YccToUyvy, YcToRgb<Bgr24>, YcToRgb<Rgb555>, YcToUyvy,
};

}  // namespace avx2
}  // namespace
}  // namespace teko::pipeline::output

#endif  // __AVX2__
