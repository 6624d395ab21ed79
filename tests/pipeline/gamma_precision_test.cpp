// The gamma table is computed so that every build gives the same entries; on
// this (SSE2 double) build they must equal the plain double-precision formula.
#include <gtest/gtest.h>

#include <cmath>

#include "pipeline/pipeline.h"

namespace {

TEST(GammaPrecision, EveryAcceptedGammaMatchesTheDoubleFormula) {
    for (int32_t gamma = 6; gamma <= 59; ++gamma) {
        const auto table = teko::pipeline::ComputeGammaTable(gamma);
        // Kept in variables so that each step is rounded to double.
        volatile double exponent = 1.0 / (gamma / 10.0);
        for (int i = 0; i < 256; ++i) {
            int n = i < 2 ? 0 : i - 2;
            n = n < 30 ? n / 2 : n - 15;
            volatile double quotient = n / 223.0;
            volatile double power = std::pow(quotient, exponent);
            volatile double v = 223.0 * power;
            EXPECT_EQ(table[i], static_cast<int>(v)) << "gamma " << gamma << " entry " << i;
        }
    }
    // Entry 46 at gamma 10 is 223 * (29 / 223), just below 29 in double precision.
    EXPECT_EQ(teko::pipeline::ComputeGammaTable(10)[46], 28);
}

}  // namespace
