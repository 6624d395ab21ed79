// Vector operations shared by the filter kernels, at two widths, for the
// level an object is built for: V128 (SSSE3 and SSE4.1), V256 (AVX2), and
// Widest, the widest of them, or Scalar where there is none. Internal
// linkage, like every kernel header: each level's object keeps its own copy.
#pragma once

#include <cstdint>

#if defined(__SSSE3__) && defined(__SSE4_1__)
#include <immintrin.h>
#endif

namespace teko::pipeline::filters {
namespace {

// Marks the level with no vector code.
struct Scalar {
    static constexpr bool kVector = false;
};

// ---- Vector operations ------------------------------------------------------
// The same set at two widths. The 256-bit operations that pair or pack
// bytes work inside each 128-bit half, exactly like two 128-bit operations
// side by side, so one kernel template serves both widths.

#if defined(__SSSE3__) && defined(__SSE4_1__)
struct V128 {
    using T = __m128i;
    using Narrower = Scalar;
    static constexpr bool kVector = true;
    static constexpr int32_t kBytes = 16;

    static T Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const T*>(p)); }
    static void Store(uint8_t* p, T v) { _mm_storeu_si128(reinterpret_cast<T*>(p), v); }
    static T Bytes(int32_t b) { return _mm_set1_epi8(static_cast<char>(b)); }
    // Every 16-bit lane holding the bytes `low` (first) and `high`.
    static T Pairs(int32_t low, int32_t high) {
        return _mm_set1_epi16(static_cast<short>((low & 0xFF) | ((high & 0xFF) << 8)));
    }
    static T Zero() { return _mm_setzero_si128(); }
    static T And(T a, T b) { return _mm_and_si128(a, b); }
    static T Or(T a, T b) { return _mm_or_si128(a, b); }
    static T Xor(T a, T b) { return _mm_xor_si128(a, b); }
    // Rounding-up mean of unsigned bytes.
    static T Avg(T a, T b) { return _mm_avg_epu8(a, b); }
    static T Sub8(T a, T b) { return _mm_sub_epi8(a, b); }
    // Bytes of b where the mask byte's top bit is set, else of a.
    static T Select(T mask, T a, T b) { return _mm_blendv_epi8(a, b, mask); }
    // Per 16-bit lane: unsigned bytes of u times signed bytes of s, pairs summed.
    static T MulAddPairs(T u, T s) { return _mm_maddubs_epi16(u, s); }
    static T Add16(T a, T b) { return _mm_add_epi16(a, b); }
    static T Sub16(T a, T b) { return _mm_sub_epi16(a, b); }
    static T Max16(T a, T b) { return _mm_max_epi16(a, b); }
    static T Min16(T a, T b) { return _mm_min_epi16(a, b); }
    template <int kShift>
    static T ShrU16(T v) {
        return _mm_srli_epi16(v, kShift);
    }
    // Bytes of a and b alternating, from the low or high half (of each 128 bits).
    static T ZipLow(T a, T b) { return _mm_unpacklo_epi8(a, b); }
    static T ZipHigh(T a, T b) { return _mm_unpackhi_epi8(a, b); }
    // 16-bit lanes to unsigned bytes, clamped; undoes ZipLow/ZipHigh's order.
    static T PackU8(T low, T high) { return _mm_packus_epi16(low, high); }
    template <int kShift>
    static T ShrS16(T v) {
        return _mm_srai_epi16(v, kShift);
    }
    template <int kShift>
    static T Shl16(T v) {
        return _mm_slli_epi16(v, kShift);
    }
    // 16-bit lanes of a then b to bytes, clamped, in pixel order.
    static T PackedInOrderU8(T a, T b) { return _mm_packus_epi16(a, b); }
    static T PackedInOrderS8(T a, T b) { return _mm_packs_epi16(a, b); }
};
#endif

#if defined(__AVX2__)
struct V256 {
    using T = __m256i;
    using Narrower = V128;
    static constexpr bool kVector = true;
    static constexpr int32_t kBytes = 32;

    static T Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const T*>(p)); }
    static void Store(uint8_t* p, T v) { _mm256_storeu_si256(reinterpret_cast<T*>(p), v); }
    static T Bytes(int32_t b) { return _mm256_set1_epi8(static_cast<char>(b)); }
    static T Pairs(int32_t low, int32_t high) {
        return _mm256_set1_epi16(static_cast<short>((low & 0xFF) | ((high & 0xFF) << 8)));
    }
    static T Zero() { return _mm256_setzero_si256(); }
    static T And(T a, T b) { return _mm256_and_si256(a, b); }
    static T Or(T a, T b) { return _mm256_or_si256(a, b); }
    static T Xor(T a, T b) { return _mm256_xor_si256(a, b); }
    static T Avg(T a, T b) { return _mm256_avg_epu8(a, b); }
    static T Sub8(T a, T b) { return _mm256_sub_epi8(a, b); }
    static T Select(T mask, T a, T b) { return _mm256_blendv_epi8(a, b, mask); }
    static T MulAddPairs(T u, T s) { return _mm256_maddubs_epi16(u, s); }
    static T Add16(T a, T b) { return _mm256_add_epi16(a, b); }
    static T Sub16(T a, T b) { return _mm256_sub_epi16(a, b); }
    static T Max16(T a, T b) { return _mm256_max_epi16(a, b); }
    static T Min16(T a, T b) { return _mm256_min_epi16(a, b); }
    template <int kShift>
    static T ShrU16(T v) {
        return _mm256_srli_epi16(v, kShift);
    }
    static T ZipLow(T a, T b) { return _mm256_unpacklo_epi8(a, b); }
    static T ZipHigh(T a, T b) { return _mm256_unpackhi_epi8(a, b); }
    static T PackU8(T low, T high) { return _mm256_packus_epi16(low, high); }
    template <int kShift>
    static T ShrS16(T v) {
        return _mm256_srai_epi16(v, kShift);
    }
    template <int kShift>
    static T Shl16(T v) {
        return _mm256_slli_epi16(v, kShift);
    }
    // The pack works per half, giving a.low b.low a.high b.high; the 64-bit
    // permute puts them back as a then b.
    static T PackedInOrderU8(T a, T b) {
        return _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
    }
    static T PackedInOrderS8(T a, T b) {
        return _mm256_permute4x64_epi64(_mm256_packs_epi16(a, b), 0xD8);
    }
};
#endif

// The widest vector operations this object is built with, or Scalar.
#if defined(__AVX2__)
using Widest = V256;
#elif defined(__SSSE3__) && defined(__SSE4_1__)
using Widest = V128;
#else
using Widest = Scalar;
#endif

}  // namespace
}  // namespace teko::pipeline::filters
