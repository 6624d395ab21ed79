// The gamma table every output stage looks intensities up in.
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

}  // namespace

GammaTable ComputeGammaTable(int32_t gamma) {
    GammaTable table{};
    const double exponent = 1.0 / (static_cast<double>(gamma) / 10.0);
    for (int i = 0; i < 256; ++i) {
        int n = i - kBlackOffset;
        if (n < 0) n = 0;
        n = n < kKnee ? n / 2 : n - kKneeOffset;
        const double v = kReferenceLevel * std::pow(static_cast<double>(n) / kReferenceLevel, exponent);
        table[i] = static_cast<uint8_t>(static_cast<int>(v));  // truncated, never above 248
    }
    return table;
}

void BuildGammaTable(int32_t gamma) {
    const GammaTable table = ComputeGammaTable(gamma);
    for (int i = 0; i < 256; ++i) gTable[i].store(table[i], std::memory_order_relaxed);
}

GammaTable CurrentGammaTable() {
    GammaTable table{};
    for (int i = 0; i < 256; ++i) table[i] = gTable[i].load(std::memory_order_relaxed);
    return table;
}

void ResetGammaForTesting() {
    for (auto& entry : gTable) entry.store(0, std::memory_order_relaxed);
}

}  // namespace teko::pipeline
