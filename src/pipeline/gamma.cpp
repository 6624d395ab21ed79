// The gamma table every output stage looks intensities up in.
#include <bit>
#include <cmath>

#include "pipeline/pipeline.h"

namespace teko::pipeline {
namespace {

// Reference level of the power curve: it maps to itself for every gamma.
constexpr double kReferenceLevel = 223.0;
// Below this input the curve rises at half slope; above it, one for one less 15.
constexpr int kKnee = 30;
constexpr int kKneeOffset = 15;
constexpr int kBlackOffset = 2;

std::array<std::atomic<uint8_t>, 256> gTable{};

// Same table on every build. For every accepted gamma but one, the power curve
// stays more than 3e-6 away from an integer between n = 0 and n = 223, far
// beyond any difference between the platforms' pow or between double and x87
// extended precision, so the truncation is the same everywhere. The exception
// is gamma 10 (exponent 1): v = 223 * (n / 223) is an integer in exact
// arithmetic, and in double precision it falls one unit in the last place
// below it for some n, while the 32-bit x87 build would keep it whole. For
// that gamma the two double roundings are carried out in integers.
constexpr int32_t kUnitGamma = 10;
constexpr int kDoubleMantissaBits = 53;
constexpr uint64_t kMantissaLimit = uint64_t{1} << kDoubleMantissaBits;
constexpr uint64_t kReference = 223;

// Rounds value * 2^-scale to a 53-bit mantissa (nearest, ties to even);
// returns the mantissa and adjusts scale.
constexpr uint64_t RoundToDouble(uint64_t value, int& scale) {
    const int excess = std::bit_width(value) - kDoubleMantissaBits;
    if (excess <= 0) return value;
    const uint64_t rest = value & ((uint64_t{1} << excess) - 1);
    const uint64_t half = uint64_t{1} << (excess - 1);
    uint64_t mantissa = value >> excess;
    if (rest > half || (rest == half && (mantissa & 1) != 0)) ++mantissa;
    scale -= excess;
    return mantissa;
}

// trunc(223.0 * (n / 223.0)) in IEEE double arithmetic, for 0 <= n <= 255.
constexpr int UnitGammaEntry(int n) {
    if (n == 0) return 0;
    // The quotient n / 223 as mantissa * 2^-scale, 2^52 <= mantissa < 2^53.
    int scale = 0;
    while ((static_cast<uint64_t>(n) << scale) / kReference < kMantissaLimit / 2)
        ++scale;
    const uint64_t numerator = static_cast<uint64_t>(n) << scale;
    uint64_t quotient = numerator / kReference;
    if (2 * (numerator % kReference) > kReference) ++quotient;  // 223 is odd: no ties
    if (quotient == kMantissaLimit) {
        quotient /= 2;
        --scale;
    }
    // The product 223 * quotient, rounded to double, then truncated.
    const uint64_t product = RoundToDouble(kReference * quotient, scale);
    return static_cast<int>(product >> scale);
}

}  // namespace

GammaTable ComputeGammaTable(int32_t gamma) {
    GammaTable table{};
    const double exponent = 1.0 / (static_cast<double>(gamma) / 10.0);
    for (int i = 0; i < 256; ++i) {
        int n = i - kBlackOffset;
        if (n < 0) n = 0;
        n = n < kKnee ? n / 2 : n - kKneeOffset;
        if (gamma == kUnitGamma) {
            table[i] = static_cast<uint8_t>(UnitGammaEntry(n));
            continue;
        }
        const double v =
            kReferenceLevel * std::pow(static_cast<double>(n) / kReferenceLevel, exponent);
        table[i] = static_cast<uint8_t>(static_cast<int>(v));  // truncated, never above 248
    }
    return table;
}

void BuildGammaTable(int32_t gamma) {
    const GammaTable table = ComputeGammaTable(gamma);
    for (int i = 0; i < 256; ++i)
        gTable[i].store(table[i], std::memory_order_relaxed);
}

GammaTable CurrentGammaTable() {
    GammaTable table{};
    for (int i = 0; i < 256; ++i)
        table[i] = gTable[i].load(std::memory_order_relaxed);
    return table;
}

void ResetGammaForTesting() {
    for (auto& entry : gTable)
        entry.store(0, std::memory_order_relaxed);
}

}  // namespace teko::pipeline
