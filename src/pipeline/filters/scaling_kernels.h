// The row kernels of the scaling filters, compiled once per processor level:
// scaling.cpp (any processor), scaling_v2.cpp and scaling_v3.cpp include this
// header, and each defines its table. Every kernel gives the same bytes as the
// straightforward per-component formula it replaces, for every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSSE3__) || defined(__AVX2__)
#include <immintrin.h>
#endif

#include "pipeline/filters/pixel.h"

namespace teko::pipeline {

// One processor level's row kernels. `bytes` counts the bytes of a Ycc row;
// a kernel writes exactly out[0, bytes) and reads a and b over the same range.
struct ScalingKernels {
    // (a + b) >> 1 per component.
    void (*meanRow)(const uint8_t* a, const uint8_t* b, uint8_t* out, int32_t bytes);
    // (2a + b) / 3 into nearA and (a + 2b) / 3 into nearB per component,
    // truncating toward zero; thirdRow writes nearA only.
    void (*thirdsRows)(const uint8_t* a, const uint8_t* b, uint8_t* nearA, uint8_t* nearB,
                       int32_t bytes);
    void (*thirdRow)(const uint8_t* a, const uint8_t* b, uint8_t* nearA, int32_t bytes);
    // A whole frame of the 25-to-32 stretch: `rows` rows of `outWidth`
    // pixels from rows `inPitch` bytes apart.
    void (*stretchYcc)(const uint8_t* in, int32_t inPitch, uint8_t* out, int32_t outWidth,
                       int32_t rows);
    void (*stretchYc)(const uint8_t* in, int32_t inPitch, uint8_t* out, int32_t outWidth,
                      int32_t rows);
};

extern const ScalingKernels kScalingPortable;
extern const ScalingKernels kScalingV2;
extern const ScalingKernels kScalingV3;
extern const ScalingKernels kScalingV4;

namespace scaling_kernels {
// Internal linkage: each level file keeps its own copy of every kernel.
namespace {

using filters::Component;
using filters::kYccBytes;
using filters::Low8;

// Bytes handled per step of the vector loops: a whole number of Ycc pixels
// and of vectors, so that one set of per-byte constants serves every step.
#if defined(__AVX2__)
inline constexpr int32_t kBlockBytes = 96;
#else
inline constexpr int32_t kBlockBytes = 48;
#endif

// 0x80 on the colour-difference bytes of a Ycc stream, 0 on the luminance.
// XOR with it maps a signed colour difference s to the unsigned s + 128 and
// leaves the luminance as it is, so one unsigned formula serves every byte.
struct SignMask {
    uint8_t bytes[kBlockBytes];
};
constexpr SignMask MakeSignMask() {
    SignMask mask{};
    for (int32_t i = 0; i < kBlockBytes; ++i)
        mask.bytes[i] = i % kYccBytes == 0 ? 0 : 0x80;
    return mask;
}
inline constexpr SignMask kSignMask = MakeSignMask();

// ---- the mean row of the line doubler ----

// The per-component formula, for the bytes after the last whole block.
inline void MeanTail(const uint8_t* a, const uint8_t* b, uint8_t* out, int32_t from,
                     int32_t bytes) {
    for (int32_t i = from; i < bytes; ++i) {
        const int32_t j = i % kYccBytes;
        out[i] = Low8((Component(a + i - j, j) + Component(b + i - j, j)) >> 1);
    }
}

#if defined(__AVX2__)
// floor((x + y) / 2) of unsigned bytes: the rounding-up average less the bit
// it rounded up by.
inline __m256i FloorMean(__m256i x, __m256i y) {
    const __m256i odd = _mm256_and_si256(_mm256_xor_si256(x, y), _mm256_set1_epi8(1));
    return _mm256_sub_epi8(_mm256_avg_epu8(x, y), odd);
}
inline __m256i Load(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline void Store(uint8_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}
using Vector = __m256i;
inline constexpr int32_t kVectorBytes = 32;
inline Vector Xor(Vector x, Vector y) {
    return _mm256_xor_si256(x, y);
}
#elif defined(__SSSE3__)
inline __m128i FloorMean(__m128i x, __m128i y) {
    const __m128i odd = _mm_and_si128(_mm_xor_si128(x, y), _mm_set1_epi8(1));
    return _mm_sub_epi8(_mm_avg_epu8(x, y), odd);
}
inline __m128i Load(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
using Vector = __m128i;
inline constexpr int32_t kVectorBytes = 16;
inline Vector Xor(Vector x, Vector y) {
    return _mm_xor_si128(x, y);
}
#endif

#if defined(__AVX2__) || defined(__SSSE3__)
inline constexpr int32_t kBlockVectors = kBlockBytes / kVectorBytes;  // 3
static_assert(kBlockVectors * kVectorBytes == kBlockBytes);

void MeanRow(const uint8_t* a, const uint8_t* b, uint8_t* out, int32_t bytes) {
    Vector mask[kBlockVectors];
    for (int32_t v = 0; v < kBlockVectors; ++v)
        mask[v] = Load(kSignMask.bytes + v * kVectorBytes);
    int32_t i = 0;
    for (; i + kBlockBytes <= bytes; i += kBlockBytes) {
        for (int32_t v = 0; v < kBlockVectors; ++v) {
            const int32_t at = i + v * kVectorBytes;
            const Vector x = Xor(Load(a + at), mask[v]);
            const Vector y = Xor(Load(b + at), mask[v]);
            Store(out + at, Xor(FloorMean(x, y), mask[v]));
        }
    }
    MeanTail(a, b, out, i, bytes);
}
#else
// Plain loop over whole blocks: floor((x + y) / 2) = (x & y) + ((x ^ y) >> 1)
// in 8 bits, which the vectoriser turns into byte vectors where it can.
void MeanRow(const uint8_t* a, const uint8_t* b, uint8_t* out, int32_t bytes) {
    int32_t i = 0;
    for (; i + kBlockBytes <= bytes; i += kBlockBytes) {
        for (int32_t j = 0; j < kBlockBytes; ++j) {
            const uint8_t m = kSignMask.bytes[j];
            const auto x = static_cast<uint8_t>(a[i + j] ^ m);
            const auto y = static_cast<uint8_t>(b[i + j] ^ m);
            out[i + j] = static_cast<uint8_t>(((x & y) + ((x ^ y) >> 1)) ^ m);
        }
    }
    MeanTail(a, b, out, i, bytes);
}
#endif

// ---- the blended rows of the line tripler ----

inline constexpr int32_t kThirds = 3;

template <int32_t kWeightA, int32_t kWeightB>
inline uint8_t Third(const uint8_t* a, const uint8_t* b, int32_t i) {
    const int32_t j = i % kYccBytes;
    return Low8((kWeightA * Component(a + i - j, j) + kWeightB * Component(b + i - j, j)) /
                kThirds);
}

template <bool kBoth>
void ThirdsTail(const uint8_t* a, const uint8_t* b, uint8_t* nearA, uint8_t* nearB, int32_t from,
                int32_t bytes) {
    for (int32_t i = from; i < bytes; ++i) {
        nearA[i] = Third<2, 1>(a, b, i);
        if constexpr (kBoth) nearB[i] = Third<1, 2>(a, b, i);
    }
}

#if defined(__AVX2__) || defined(__SSSE3__)
#if defined(__AVX2__)
inline Vector Zero() {
    return _mm256_setzero_si256();
}
inline Vector Set16(int16_t v) {
    return _mm256_set1_epi16(v);
}
inline Vector Add16(Vector x, Vector y) {
    return _mm256_add_epi16(x, y);
}
inline Vector Sub16(Vector x, Vector y) {
    return _mm256_sub_epi16(x, y);
}
inline Vector UnpackLo8(Vector x, Vector y) {
    return _mm256_unpacklo_epi8(x, y);
}
inline Vector UnpackHi8(Vector x, Vector y) {
    return _mm256_unpackhi_epi8(x, y);
}
inline Vector MulAddPairs(Vector unsignedBytes, Vector signedBytes) {
    return _mm256_maddubs_epi16(unsignedBytes, signedBytes);
}
inline Vector MulHigh16(Vector x, Vector y) {
    return _mm256_mulhi_epi16(x, y);
}
inline Vector SignWord(Vector x) {
    return _mm256_srai_epi16(x, 15);
}
inline Vector PackLow8(Vector lo, Vector hi) {
    const Vector low8 = _mm256_set1_epi16(0xFF);
    return _mm256_packus_epi16(_mm256_and_si256(lo, low8), _mm256_and_si256(hi, low8));
}
#else
inline Vector Zero() {
    return _mm_setzero_si128();
}
inline Vector Set16(int16_t v) {
    return _mm_set1_epi16(v);
}
inline Vector Add16(Vector x, Vector y) {
    return _mm_add_epi16(x, y);
}
inline Vector Sub16(Vector x, Vector y) {
    return _mm_sub_epi16(x, y);
}
inline Vector UnpackLo8(Vector x, Vector y) {
    return _mm_unpacklo_epi8(x, y);
}
inline Vector UnpackHi8(Vector x, Vector y) {
    return _mm_unpackhi_epi8(x, y);
}
inline Vector MulAddPairs(Vector unsignedBytes, Vector signedBytes) {
    return _mm_maddubs_epi16(unsignedBytes, signedBytes);
}
inline Vector MulHigh16(Vector x, Vector y) {
    return _mm_mulhi_epi16(x, y);
}
inline Vector SignWord(Vector x) {
    return _mm_srai_epi16(x, 15);
}
inline Vector PackLow8(Vector lo, Vector hi) {
    const Vector low8 = _mm_set1_epi16(0xFF);
    return _mm_packus_epi16(_mm_and_si128(lo, low8), _mm_and_si128(hi, low8));
}
#endif

// v / 3 truncated toward zero for -384 <= v <= 765: the high half of
// v x 21846 is floor(v / 3) for v >= 0 (21846 / 65536 exceeds 1/3 by less
// than 1 / (3 x 765 x 3)), one less for v < 0, which the sign word restores.
inline Vector DivideBy3(Vector v) {
    return Sub16(MulHigh16(v, Set16(21846)), SignWord(v));
}

// (wa x a + wb x b) / 3 of 16-bit lanes: pairs holds x, y interleaved (the
// bytes XORed with the sign mask, so unsigned), bias (wa + wb) x 128 on the
// colour-difference lanes takes the 128 back off.
inline Vector ThirdsWords(Vector pairs, Vector weights, Vector bias) {
    return DivideBy3(Sub16(MulAddPairs(pairs, weights), bias));
}

template <bool kBoth>
void ThirdsVectors(const uint8_t* a, const uint8_t* b, uint8_t* nearA, uint8_t* nearB,
                   int32_t bytes) {
    // Weights as signed byte pairs (for x, for y) in each 16-bit lane.
    const Vector twoOne = Set16(2 | (1 << 8));
    const Vector oneTwo = Set16(1 | (2 << 8));
    Vector mask[kBlockVectors];
    Vector biasLo[kBlockVectors];
    Vector biasHi[kBlockVectors];
    for (int32_t v = 0; v < kBlockVectors; ++v) {
        mask[v] = Load(kSignMask.bytes + v * kVectorBytes);
        const Vector lo = UnpackLo8(mask[v], Zero());
        const Vector hi = UnpackHi8(mask[v], Zero());
        biasLo[v] = Add16(Add16(lo, lo), lo);
        biasHi[v] = Add16(Add16(hi, hi), hi);
    }
    int32_t i = 0;
    for (; i + kBlockBytes <= bytes; i += kBlockBytes) {
        for (int32_t v = 0; v < kBlockVectors; ++v) {
            const int32_t at = i + v * kVectorBytes;
            const Vector x = Xor(Load(a + at), mask[v]);
            const Vector y = Xor(Load(b + at), mask[v]);
            const Vector lo = UnpackLo8(x, y);
            const Vector hi = UnpackHi8(x, y);
            Store(nearA + at,
                  PackLow8(ThirdsWords(lo, twoOne, biasLo[v]), ThirdsWords(hi, twoOne, biasHi[v])));
            if constexpr (kBoth) {
                Store(nearB + at, PackLow8(ThirdsWords(lo, oneTwo, biasLo[v]),
                                           ThirdsWords(hi, oneTwo, biasHi[v])));
            }
        }
    }
    ThirdsTail<kBoth>(a, b, nearA, nearB, i, bytes);
}
#else
// Plain loop over whole blocks: with the sign mask XORed in, every byte is
// unsigned and the bias takes the 128 back off the colour differences.
template <bool kBoth>
void ThirdsVectors(const uint8_t* a, const uint8_t* b, uint8_t* nearA, uint8_t* nearB,
                   int32_t bytes) {
    int32_t i = 0;
    for (; i + kBlockBytes <= bytes; i += kBlockBytes) {
        for (int32_t j = 0; j < kBlockBytes; ++j) {
            const int32_t m = kSignMask.bytes[j];
            const int32_t x = a[i + j] ^ m;
            const int32_t y = b[i + j] ^ m;
            nearA[i + j] = Low8((2 * x + y - 3 * m) / kThirds);
            if constexpr (kBoth) nearB[i + j] = Low8((x + 2 * y - 3 * m) / kThirds);
        }
    }
    ThirdsTail<kBoth>(a, b, nearA, nearB, i, bytes);
}
#endif

void ThirdsRows(const uint8_t* a, const uint8_t* b, uint8_t* nearA, uint8_t* nearB, int32_t bytes) {
    ThirdsVectors<true>(a, b, nearA, nearB, bytes);
}
void ThirdRow(const uint8_t* a, const uint8_t* b, uint8_t* nearA, int32_t bytes) {
    ThirdsVectors<false>(a, b, nearA, nullptr, bytes);
}

// ---- the 25-to-32 stretch ----

// The stretch steps its sampling position in 32nds of an input pixel.
inline constexpr int32_t kPhaseOne = 32;
inline constexpr int32_t kPhaseShift = 5;
inline constexpr int32_t kPhaseStep = 25;

template <int32_t kBytes>
void StretchRow(const uint8_t* in, uint8_t* out, int32_t width) {
    int32_t d = 0;
    for (int32_t x = 0; x < width; ++x, out += kBytes) {
        const uint8_t* next = in + kBytes;
        for (int32_t j = 0; j < kBytes; ++j) {
            out[j] =
                Low8((Component(in, j) * (kPhaseOne - d) + Component(next, j) * d) >> kPhaseShift);
        }
        d += kPhaseStep;
        if (d >= kPhaseOne) {
            d -= kPhaseOne;
            in = next;
        }
    }
}

#if defined(__SSSE3__)
// The stretch of 32 output pixels from 25 input pixels (and the first of the
// next 25) in fixed steps: each group of 8 output bytes takes its 8 pairs
// (in[k], in[k + 1]) with one shuffle of a 16-byte window of the block's input
// and weighs them (32 - d, d) with one multiply-add. Luminance bytes are
// unsigned; the colour differences are XORed with 0x80 into unsigned bytes
// first, which adds 32 x 128 to the sum and so 128 to its shift by 5, and the
// result is XORed back.
inline constexpr int32_t kBlockOut = 32;
inline constexpr int32_t kBlockIn = 25;
inline constexpr int32_t kGroupBytes = 8;

struct StretchGroup {
    alignas(16) uint8_t shuffle[16];
    alignas(16) int8_t weights[16];
    alignas(16) uint8_t sign[16];
    int32_t window;  // byte offset of the window in the block's input
};

template <int32_t kBytes>
struct StretchPlan {
    static constexpr int32_t kGroups = kBlockOut * kBytes / kGroupBytes;
    StretchGroup groups[kGroups];
    alignas(16) uint8_t outSign[kBlockOut * kBytes];
};

template <int32_t kBytes>
constexpr StretchPlan<kBytes> MakeStretchPlan() {
    StretchPlan<kBytes> plan{};
    constexpr int32_t kInputBytes = (kBlockIn + 1) * kBytes;
    for (int32_t g = 0; g < StretchPlan<kBytes>::kGroups; ++g) {
        StretchGroup& group = plan.groups[g];
        int32_t first = kInputBytes;
        for (int32_t t = 0; t < kGroupBytes; ++t) {
            const int32_t b = kGroupBytes * g + t;
            const int32_t k = kBlockIn * (b / kBytes) / kBlockOut;
            first = first < kBytes * k + b % kBytes ? first : kBytes * k + b % kBytes;
        }
        group.window = first < kInputBytes - 16 ? first : kInputBytes - 16;
        for (int32_t t = 0; t < kGroupBytes; ++t) {
            const int32_t b = kGroupBytes * g + t;
            const int32_t x = b / kBytes;
            const int32_t c = b % kBytes;
            const int32_t k = kBlockIn * x / kBlockOut;
            const int32_t d = kBlockIn * x % kBlockOut;
            const int32_t lo = kBytes * k + c - group.window;
            const int32_t hi = lo + kBytes;
            // A shuffle index outside the window fails the constant evaluation.
            if (lo < 0 || hi >= 16) throw "stretch window too narrow";
            group.shuffle[2 * t] = static_cast<uint8_t>(lo);
            group.shuffle[2 * t + 1] = static_cast<uint8_t>(hi);
            group.weights[2 * t] = static_cast<int8_t>(kPhaseOne - d);
            group.weights[2 * t + 1] = static_cast<int8_t>(d);
            group.sign[2 * t] = group.sign[2 * t + 1] = c == 0 ? 0 : 0x80;
        }
    }
    for (int32_t b = 0; b < kBlockOut * kBytes; ++b)
        plan.outSign[b] = b % kBytes == 0 ? 0 : 0x80;
    return plan;
}

template <int32_t kBytes>
inline constexpr StretchPlan<kBytes> kStretchPlan = MakeStretchPlan<kBytes>();

template <int32_t kBytes>
inline __m128i StretchGroupWords(const uint8_t* in, const StretchGroup& group) {
    const __m128i window = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + group.window));
    const __m128i pairs = _mm_xor_si128(
        _mm_shuffle_epi8(window, _mm_load_si128(reinterpret_cast<const __m128i*>(group.shuffle))),
        _mm_load_si128(reinterpret_cast<const __m128i*>(group.sign)));
    const __m128i sums =
        _mm_maddubs_epi16(pairs, _mm_load_si128(reinterpret_cast<const __m128i*>(group.weights)));
    return _mm_srli_epi16(sums, kPhaseShift);
}

#if defined(__AVX2__)
inline __m256i Pair(const uint8_t* low, const uint8_t* high) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(high)), 1);
}

// Two groups at once, one in each 128-bit lane.
inline __m256i StretchPairWords(const uint8_t* in, const StretchGroup& low,
                                const StretchGroup& high) {
    const __m256i window = Pair(in + low.window, in + high.window);
    const __m256i pairs = _mm256_xor_si256(
        _mm256_shuffle_epi8(window, Pair(low.shuffle, high.shuffle)), Pair(low.sign, high.sign));
    const __m256i sums =
        _mm256_maddubs_epi16(pairs, Pair(reinterpret_cast<const uint8_t*>(low.weights),
                                         reinterpret_cast<const uint8_t*>(high.weights)));
    return _mm256_srli_epi16(sums, kPhaseShift);
}
#endif

template <int32_t kBytes>
void StretchRowBlocks(const uint8_t* in, uint8_t* out, int32_t width) {
    const StretchPlan<kBytes>& plan = kStretchPlan<kBytes>;
    int32_t x = 0;
    for (; x + kBlockOut <= width; x += kBlockOut) {
#if defined(__AVX2__)
        for (int32_t v = 0; v < StretchPlan<kBytes>::kGroups / 4; ++v) {
            // packus works within 128-bit lanes: groups 4v and 4v + 2 in
            // one vector, 4v + 1 and 4v + 3 in the other, come out in order.
            const __m256i a = StretchPairWords(in, plan.groups[4 * v], plan.groups[4 * v + 2]);
            const __m256i b = StretchPairWords(in, plan.groups[4 * v + 1], plan.groups[4 * v + 3]);
            const __m256i sign =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(plan.outSign + 32 * v));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32 * v),
                                _mm256_xor_si256(_mm256_packus_epi16(a, b), sign));
        }
#else
        for (int32_t v = 0; v < StretchPlan<kBytes>::kGroups / 2; ++v) {
            const __m128i lo = StretchGroupWords<kBytes>(in, plan.groups[2 * v]);
            const __m128i hi = StretchGroupWords<kBytes>(in, plan.groups[2 * v + 1]);
            const __m128i sign =
                _mm_load_si128(reinterpret_cast<const __m128i*>(plan.outSign + 16 * v));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * v),
                             _mm_xor_si128(_mm_packus_epi16(lo, hi), sign));
        }
#endif
        in += kBlockIn * kBytes;
        out += kBlockOut * kBytes;
    }
    // Past the last whole block the phase starts again at 0.
    StretchRow<kBytes>(in, out, width - x);
}
#else
template <int32_t kBytes>
void StretchRowBlocks(const uint8_t* in, uint8_t* out, int32_t width) {
    StretchRow<kBytes>(in, out, width);
}
#endif

template <int32_t kBytes>
void Stretch(const uint8_t* in, int32_t inPitch, uint8_t* out, int32_t outWidth, int32_t rows) {
    for (int32_t y = 0; y < rows; ++y) {
        StretchRowBlocks<kBytes>(in + static_cast<std::ptrdiff_t>(y) * inPitch,
                                 out + static_cast<std::ptrdiff_t>(y) * kBytes * outWidth,
                                 outWidth);
    }
}

inline constexpr ScalingKernels kKernels{MeanRow, ThirdsRows, ThirdRow, Stretch<filters::kYccBytes>,
                                         Stretch<filters::kYcBytes>};

}  // namespace
}  // namespace scaling_kernels
}  // namespace teko::pipeline
