// The colour conversion on vector registers, shared by the x86-64 v2 and v3
// output kernels: `Ops` names the register type and its operations (see
// output_sse.h and output_avx2.h). Two forms, chosen once per frame:
//
// 16-bit lanes, for gains 1..255. Every intermediate value fits:
//   C x gain lies in -128 x 255 .. 127 x 255 = -32640 .. 32385, so
//   r1 = (C x gain) >> 3 lies in -4080 .. 4048 and G in -2024 .. 2295.
//   The product (Y + r1) x gain would not fit, but clamp(product / 40) only
//   depends on the factor t = Y + r1 through clamp(t, 0, T) with
//   T = ceil(10240 / gain), the least t whose product reaches 256 x 40:
//   t <= 0 gives 0, t >= T gives 255, and in between the product is below
//   10240. The clamped product is at most T x gain < 10240 + gain <= 10494,
//   where the multiply-shift of colour.h equals the division (checked there
//   up to 16383); the quotient is at most 262 and is clamped to 255.
//
// 32-bit lanes, for every other gain: the wrapping products as the
// per-pixel formulas compute them, then clamp(product / 40) as GainLevel
// computes it (the product clamped to 0..10239 first).
#pragma once

#include <cstdint>

#include "pipeline/filters/colour.h"

namespace teko::pipeline::output {
namespace {

using namespace filters;

// Whether both gains fit the 16-bit form.
inline bool FitsWordLanes(int32_t redScale, int32_t blueScale) {
    return redScale >= 1 && redScale <= 255 && blueScale >= 1 && blueScale <= 255;
}

// The least factor whose product with `gain` (1..255) reaches 256 x 40.
inline constexpr int32_t SaturatingFactor(int32_t gain) {
    return (256 * kUnityGain + gain - 1) / gain;
}
static_assert(SaturatingFactor(1) * 1 <= 10494 && SaturatingFactor(255) * 255 <= 10494 &&
              10494 < kDiv40ExactBelow);

template <class Ops>
struct Channels {
    typename Ops::V r;
    typename Ops::V g;
    typename Ops::V b;
};

template <class Ops>
struct WordGains {
    explicit WordGains(int32_t redScale, int32_t blueScale)
        : red(Ops::Set16(redScale)),
          blue(Ops::Set16(blueScale)),
          redLimit(Ops::Set16(SaturatingFactor(redScale))),
          blueLimit(Ops::Set16(SaturatingFactor(blueScale))) {}
    typename Ops::V red;
    typename Ops::V blue;
    typename Ops::V redLimit;
    typename Ops::V blueLimit;
};

// Levels of 16-bit lanes of Y (0..255) and signed differences. With
// kClamp every level is 0..255; without, R and B are 0..262 and G is any
// 16-bit value, for kernels that saturate when they pack to bytes.
template <class Ops, bool kClamp>
Channels<Ops> WordLevels(typename Ops::V y, typename Ops::V cr, typename Ops::V cb,
                         const WordGains<Ops>& gains) {
    using V = typename Ops::V;
    const V zero = Ops::Zero();
    const V r1 = Ops::Sra16(Ops::Mul16(cr, gains.red), kDifferenceShift);
    const V b1 = Ops::Sra16(Ops::Mul16(cb, gains.blue), kDifferenceShift);
    const V divisor = Ops::Set16(kDiv40Multiplier);
    const auto scaled = [&](V r, V gain, V limit) {
        const V factor = Ops::Min16(Ops::Max16(Ops::Add16(y, r), zero), limit);
        // (product x 13108) >> 19: the high half of the 16-bit product, >> 3.
        return Ops::Srl16(Ops::MulHiU16(Ops::Mul16(factor, gain), divisor), kDiv40Shift - 16);
    };
    V r = scaled(r1, gains.red, gains.redLimit);
    V g = Ops::Sub16(Ops::Sub16(y, Ops::Sra16(r1, kGreenShift)), Ops::Sra16(b1, kGreenShift));
    V b = scaled(b1, gains.blue, gains.blueLimit);
    if constexpr (kClamp) {
        const V top = Ops::Set16(255);
        r = Ops::Min16(r, top);
        g = Ops::Min16(Ops::Max16(g, zero), top);
        b = Ops::Min16(b, top);
    }
    return {r, g, b};
}

template <class Ops>
struct DwordGains {
    explicit DwordGains(int32_t redScale, int32_t blueScale)
        : red(Ops::Set32(redScale)), blue(Ops::Set32(blueScale)) {}
    typename Ops::V red;
    typename Ops::V blue;
};

// Levels of 32-bit lanes. R and B are 0..255; G is clamped with kClamp,
// otherwise it is any value the formula gives (|G| < 2^28).
template <class Ops, bool kClamp>
Channels<Ops> DwordLevels(typename Ops::V y, typename Ops::V cr, typename Ops::V cb,
                          const DwordGains<Ops>& gains) {
    using V = typename Ops::V;
    const V zero = Ops::Zero();
    const V r1 = Ops::Sra32(Ops::Mul32(cr, gains.red), kDifferenceShift);
    const V b1 = Ops::Sra32(Ops::Mul32(cb, gains.blue), kDifferenceShift);
    const V last = Ops::Set32(kLastUnclampedProduct);
    const V divisor = Ops::Set32(kDiv40Multiplier);  // 16-bit pairs (13108, 0)
    const auto scaled = [&](V r, V gain) {
        const V product = Ops::Min32(Ops::Max32(Ops::Mul32(Ops::Add32(y, r), gain), zero), last);
        // Below 2^15 the product is one 16-bit lane and its pair is 0.
        return Ops::Srl32(Ops::MulAdd16(product, divisor), kDiv40Shift);
    };
    V g = Ops::Sub32(Ops::Sub32(y, Ops::Sra32(r1, kGreenShift)), Ops::Sra32(b1, kGreenShift));
    if constexpr (kClamp) g = Ops::Min32(Ops::Max32(g, zero), Ops::Set32(255));
    return {scaled(r1, gains.red), g, scaled(b1, gains.blue)};
}

// All ones where a pixel is false colour: Y < 100 and one difference above
// 15 with the other below -15, i.e. min(Cr, -Cb) or min(Cb, -Cr) above 15.
template <class Ops>
typename Ops::V FalseColour16(typename Ops::V y, typename Ops::V cr, typename Ops::V cb) {
    using V = typename Ops::V;
    const V zero = Ops::Zero();
    const V opposed =
        Ops::Max16(Ops::Min16(cr, Ops::Sub16(zero, cb)), Ops::Min16(cb, Ops::Sub16(zero, cr)));
    return Ops::And(Ops::CmpGt16(Ops::Set16(kFalseColourLumaLimit), y),
                    Ops::CmpGt16(opposed, Ops::Set16(kFalseColourDifference)));
}

template <class Ops>
typename Ops::V FalseColour32(typename Ops::V y, typename Ops::V cr, typename Ops::V cb) {
    using V = typename Ops::V;
    const V zero = Ops::Zero();
    const V opposed =
        Ops::Max32(Ops::Min32(cr, Ops::Sub32(zero, cb)), Ops::Min32(cb, Ops::Sub32(zero, cr)));
    return Ops::And(Ops::CmpGt32(Ops::Set32(kFalseColourLumaLimit), y),
                    Ops::CmpGt32(opposed, Ops::Set32(kFalseColourDifference)));
}

// Every level Y where `grey` is set.
template <class Ops>
Channels<Ops> Grey(Channels<Ops> levels, typename Ops::V y, typename Ops::V grey) {
    return {Ops::Select(levels.r, y, grey), Ops::Select(levels.g, y, grey),
            Ops::Select(levels.b, y, grey)};
}

}  // namespace
}  // namespace teko::pipeline::output
