// The output kernels for x86-64 v2 (SSE4.2 and SSSE3): 16 pixels at a time,
// the levels in 16-bit lanes (gains 1..255) or 32-bit lanes (any other
// gain), packed to bytes with saturation (which is the clamp to 0..255) and
// staged; with no gather at this level the gamma table is then read with
// one scalar look-up per staged level. The packed YUV stages are table
// look-ups only and use the per-pixel code.
//
// A row narrower than a group goes through the per-pixel code; the group at
// the end of a wider row is moved back to end at the row's end, overlapping
// the one before it. Loads stay inside the bytes the per-pixel code reads.
#pragma once

#if defined(__SSSE3__) && defined(__SSE4_1__)

#include <immintrin.h>

#include <cstdint>

#include "pipeline/filters/output_kernels.h"
#include "pipeline/filters/output_simd.h"

namespace teko::pipeline::output {
namespace {
namespace sse {

using V = __m128i;

struct Ops {
    using V = __m128i;
    static V Zero() { return _mm_setzero_si128(); }
    static V Set16(int32_t v) { return _mm_set1_epi16(static_cast<int16_t>(v)); }
    static V Set32(int32_t v) { return _mm_set1_epi32(v); }
    static V And(V a, V b) { return _mm_and_si128(a, b); }
    // b where mask is set, else a.
    static V Select(V a, V b, V mask) { return _mm_blendv_epi8(a, b, mask); }
    static V Add16(V a, V b) { return _mm_add_epi16(a, b); }
    static V Sub16(V a, V b) { return _mm_sub_epi16(a, b); }
    static V Mul16(V a, V b) { return _mm_mullo_epi16(a, b); }
    static V MulHiU16(V a, V b) { return _mm_mulhi_epu16(a, b); }
    static V Min16(V a, V b) { return _mm_min_epi16(a, b); }
    static V Max16(V a, V b) { return _mm_max_epi16(a, b); }
    static V CmpGt16(V a, V b) { return _mm_cmpgt_epi16(a, b); }
    static V Sra16(V a, int n) { return _mm_srai_epi16(a, n); }
    static V Srl16(V a, int n) { return _mm_srli_epi16(a, n); }
    static V Add32(V a, V b) { return _mm_add_epi32(a, b); }
    static V Sub32(V a, V b) { return _mm_sub_epi32(a, b); }
    static V Mul32(V a, V b) { return _mm_mullo_epi32(a, b); }
    static V MulAdd16(V a, V b) { return _mm_madd_epi16(a, b); }
    static V Min32(V a, V b) { return _mm_min_epi32(a, b); }
    static V Max32(V a, V b) { return _mm_max_epi32(a, b); }
    static V CmpGt32(V a, V b) { return _mm_cmpgt_epi32(a, b); }
    static V Sra32(V a, int n) { return _mm_srai_epi32(a, n); }
    static V Srl32(V a, int n) { return _mm_srli_epi32(a, n); }
};

inline V Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint8_t* p, V v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

constexpr int32_t kGroup = 16;

// The three components of 16 pixels, one byte each (differences as signed
// bytes), or in 16-bit lanes, pixels 0-7 and 8-15.
struct Bytes16 {
    V y;
    V cr;
    V cb;
};
struct Words16 {
    V y[2];
    V cr[2];
    V cb[2];
};

// ---- Ycc groups: 48 bytes to three planes of 16 bytes -------------------------

struct Shuffle {
    int8_t bytes[16];
};

// Picks component `component` of the pixels whose bytes lie in the 16-byte
// load `part` (0..2) of a 48-byte group; other bytes become 0.
constexpr Shuffle PlaneFrom(int part, int component) {
    Shuffle s{};
    for (int i = 0; i < 16; ++i) {
        const int source = kYccBytes * i + component - 16 * part;
        s.bytes[i] = source >= 0 && source < 16 ? static_cast<int8_t>(source) : int8_t{-128};
    }
    return s;
}
inline constexpr Shuffle kPlanes[3][3] = {
    {PlaneFrom(0, 0), PlaneFrom(1, 0), PlaneFrom(2, 0)},
    {PlaneFrom(0, 1), PlaneFrom(1, 1), PlaneFrom(2, 1)},
    {PlaneFrom(0, 2), PlaneFrom(1, 2), PlaneFrom(2, 2)},
};

inline V Apply(V v, const Shuffle& s) {
    return _mm_shuffle_epi8(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.bytes)));
}

inline Bytes16 LoadYccGroup(const uint8_t* p) {
    const V parts[3] = {Load(p), Load(p + 16), Load(p + 32)};
    const auto plane = [&](int c) {
        return _mm_or_si128(
            _mm_or_si128(Apply(parts[0], kPlanes[c][0]), Apply(parts[1], kPlanes[c][1])),
            Apply(parts[2], kPlanes[c][2]));
    };
    return {plane(kLumaByte), plane(kCrByte), plane(kCbByte)};
}

inline Words16 Widen(const Bytes16& b) {
    const V zero = _mm_setzero_si128();
    return {{_mm_cvtepu8_epi16(b.y), _mm_unpackhi_epi8(b.y, zero)},
            {_mm_cvtepi8_epi16(b.cr), _mm_cvtepi8_epi16(_mm_srli_si128(b.cr, 8))},
            {_mm_cvtepi8_epi16(b.cb), _mm_cvtepi8_epi16(_mm_srli_si128(b.cb, 8))}};
}

// All ones where a pixel is false colour, on bytes: Y <= 99 unsigned, and
// min(Cr, -Cb) or min(Cb, -Cr) above 15 (negation saturating, so -(-128)
// is 127, still above 15).
inline V FalseColourBytes(const Bytes16& b) {
    const V zero = _mm_setzero_si128();
    const V dark = _mm_cmpeq_epi8(_mm_min_epu8(b.y, _mm_set1_epi8(kFalseColourLumaLimit - 1)), b.y);
    const V opposed = _mm_max_epi8(_mm_min_epi8(b.cr, _mm_subs_epi8(zero, b.cb)),
                                   _mm_min_epi8(b.cb, _mm_subs_epi8(zero, b.cr)));
    return _mm_and_si128(dark, _mm_cmpgt_epi8(opposed, _mm_set1_epi8(kFalseColourDifference)));
}

// ---- Levels of 16 pixels as bytes ------------------------------------------------

struct LevelBytes {
    V r;
    V g;
    V b;
};

inline LevelBytes WordLevelBytes(const Words16& w, const WordGains<Ops>& gains) {
    const Channels<Ops> low = WordLevels<Ops, false>(w.y[0], w.cr[0], w.cb[0], gains);
    const Channels<Ops> high = WordLevels<Ops, false>(w.y[1], w.cr[1], w.cb[1], gains);
    return {_mm_packus_epi16(low.r, high.r), _mm_packus_epi16(low.g, high.g),
            _mm_packus_epi16(low.b, high.b)};
}

// 32-bit lanes of pixels 4i to 4i + 3 from 16-bit lanes.
inline V Quarter(const V words[2], int i, bool isSigned) {
    const V half = words[i / 2];
    const V part = (i % 2) == 0 ? half : _mm_srli_si128(half, 8);
    return isSigned ? _mm_cvtepi16_epi32(part) : _mm_cvtepu16_epi32(part);
}

inline LevelBytes DwordLevelBytes(const Words16& w, const DwordGains<Ops>& gains) {
    Channels<Ops> q[4];
    for (int i = 0; i < 4; ++i) {
        q[i] = DwordLevels<Ops, false>(Quarter(w.y, i, false), Quarter(w.cr, i, true),
                                       Quarter(w.cb, i, true), gains);
    }
    // Signed saturation to 16 bits, then unsigned to 8: the clamp of G.
    const auto pack = [](V a, V b, V c, V d) {
        return _mm_packus_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d));
    };
    return {pack(q[0].r, q[1].r, q[2].r, q[3].r), pack(q[0].g, q[1].g, q[2].g, q[3].g),
            pack(q[0].b, q[1].b, q[2].b, q[3].b)};
}

// A Ycc group at p, with false colour written grey.
struct YccWordSource {
    const WordGains<Ops>& gains;
    LevelBytes operator()(const uint8_t* p) const {
        const Bytes16 bytes = LoadYccGroup(p);
        const LevelBytes levels = WordLevelBytes(Widen(bytes), gains);
        const V grey = FalseColourBytes(bytes);
        return {Ops::Select(levels.r, bytes.y, grey), Ops::Select(levels.g, bytes.y, grey),
                Ops::Select(levels.b, bytes.y, grey)};
    }
};

struct YccDwordSource {
    const DwordGains<Ops>& gains;
    LevelBytes operator()(const uint8_t* p) const {
        const Bytes16 bytes = LoadYccGroup(p);
        const LevelBytes levels = DwordLevelBytes(Widen(bytes), gains);
        const V grey = FalseColourBytes(bytes);
        return {Ops::Select(levels.r, bytes.y, grey), Ops::Select(levels.g, bytes.y, grey),
                Ops::Select(levels.b, bytes.y, grey)};
    }
};

// A Yc group of output row `rows` at byte offset `offset`: 32 bytes of each row.
inline Words16 LoadYcGroup(const YcRows& rows, int32_t offset) {
    const V mask = _mm_set1_epi16(0xFF);
    const auto luma = [&](int half) {
        return _mm_and_si128(Load(rows.luma + offset + 16 * half), mask);
    };
    const auto chroma = [&](const uint8_t* row, int half) {
        return _mm_srai_epi16(Load(row + offset + 16 * half), 8);
    };
    return {{luma(0), luma(1)},
            {chroma(rows.red, 0), chroma(rows.red, 1)},
            {chroma(rows.blue, 0), chroma(rows.blue, 1)}};
}

struct YcWordSource {
    const WordGains<Ops>& gains;
    LevelBytes operator()(const YcRows& rows, int32_t offset) const {
        return WordLevelBytes(LoadYcGroup(rows, offset), gains);
    }
};

struct YcDwordSource {
    const DwordGains<Ops>& gains;
    LevelBytes operator()(const YcRows& rows, int32_t offset) const {
        return DwordLevelBytes(LoadYcGroup(rows, offset), gains);
    }
};

// ---- Gamma look-ups and stores ----------------------------------------------------

struct StagedLevels {
    uint8_t r[kGroup];
    uint8_t g[kGroup];
    uint8_t b[kGroup];
};

inline void Stage(StagedLevels& staged, const LevelBytes& levels) {
    Store(staged.r, levels.r);
    Store(staged.g, levels.g);
    Store(staged.b, levels.b);
}

struct Bgr24 {
    using Format = Bgr24Format;
    struct Tables {
        explicit Tables(const uint8_t* g) : gamma(g) {}
        const uint8_t* gamma;
    };
    static void Store16(const Tables& t, const StagedLevels& s, uint8_t* dst) {
        for (int32_t i = 0; i < kGroup; ++i, dst += Format::kBytes) {
            dst[0] = t.gamma[s.b[i]];
            dst[1] = t.gamma[s.g[i]];
            dst[2] = t.gamma[s.r[i]];
        }
    }
};

// Each level's top 5 bits already at their place in the 16-bit word.
struct Rgb555 {
    using Format = Rgb555Format;
    struct Tables {
        explicit Tables(const uint8_t* gamma) {
            for (int32_t i = 0; i < 256; ++i) {
                const auto level = static_cast<uint16_t>(gamma[i] >> Format::kLevelShift);
                b[i] = level;
                g[i] = static_cast<uint16_t>(level << Format::kGreenPosition);
                r[i] = static_cast<uint16_t>(level << Format::kRedPosition);
            }
        }
        uint16_t r[256];
        uint16_t g[256];
        uint16_t b[256];
    };
    static void Store16(const Tables& t, const StagedLevels& s, uint8_t* dst) {
        for (int32_t i = 0; i < kGroup; ++i, dst += Format::kBytes) {
            const uint32_t word = t.r[s.r[i]] | t.g[s.g[i]] | t.b[s.b[i]];
            dst[0] = static_cast<uint8_t>(word);
            dst[1] = static_cast<uint8_t>(word >> 8);
        }
    }
};

template <class Out, class Source>
void YccFrameRows(const OutputFrame& frame, const Source& source) {
    using Format = typename Out::Format;
    const FrameColour colour = ColourOf(frame);
    const typename Out::Tables tables(frame.gamma);
    StagedLevels staged;
    ForEachYccRow(frame, Format::kBytes, [&](const uint8_t* src, uint8_t* dst) {
        ForEachGroup<kGroup>(
            frame.width,
            [&](int32_t x, int32_t) {
                Stage(staged, source(src + kYccBytes * x));
                Out::Store16(tables, staged, dst + Format::kBytes * x);
            },
            [&](int32_t first, int32_t end) {
                YccRgbPixels<Format>(colour, src, dst, first, end);
            });
    });
}

template <class Out, class Source>
void YcFrameRows(const OutputFrame& frame, const Source& source) {
    using Format = typename Out::Format;
    const FrameColour colour = ColourOf(frame);
    const typename Out::Tables tables(frame.gamma);
    StagedLevels staged;
    ForEachYcRow(frame, Format::kBytes, [&](const YcRows& rows, uint8_t* dst) {
        ForEachGroup<kGroup>(
            frame.width,
            [&](int32_t x, int32_t) {
                Stage(staged, source(rows, kYcBytes * x));
                Out::Store16(tables, staged, dst + Format::kBytes * x);
            },
            [&](int32_t first, int32_t end) {
                YcRgbPixels<Format>(colour, rows, dst, first, end);
            });
    });
}

template <class Out>
void YccToRgb(const OutputFrame& frame) {
    if (FitsWordLanes(frame.redScale, frame.blueScale)) {
        const WordGains<Ops> gains(frame.redScale, frame.blueScale);
        YccFrameRows<Out>(frame, YccWordSource{gains});
    } else {
        const DwordGains<Ops> gains(frame.redScale, frame.blueScale);
        YccFrameRows<Out>(frame, YccDwordSource{gains});
    }
}

template <class Out>
void YcToRgb(const OutputFrame& frame) {
    if (FitsWordLanes(frame.redScale, frame.blueScale)) {
        const WordGains<Ops> gains(frame.redScale, frame.blueScale);
        YcFrameRows<Out>(frame, YcWordSource{gains});
    } else {
        const DwordGains<Ops> gains(frame.redScale, frame.blueScale);
        YcFrameRows<Out>(frame, YcDwordSource{gains});
    }
}

inline constexpr OutputKernels kKernels = {
    YccToRgb<Bgr24>, YccToRgb<Rgb555>, PortableYccToUyvy,
    YcToRgb<Bgr24>,  YcToRgb<Rgb555>,  PortableYcToUyvy,
};

}  // namespace sse
}  // namespace
}  // namespace teko::pipeline::output

#endif  // __SSSE3__ && __SSE4_1__
