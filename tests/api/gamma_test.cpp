// The gamma table and SetGamma.
#include <cstdint>

#include "pipeline/pipeline.h"
#include "support/library_fixture.h"
#include "teko32/teko32.h"

namespace {

using GammaTest = teko::testing::LibraryTest;
using teko::pipeline::ComputeGammaTable;

TEST(GammaTable, KnownEntriesAtGamma18) {
    const auto t = ComputeGammaTable(18);
    const std::pair<int, int> expected[] = {
        {0, 0},   {1, 0},   {2, 0},   {3, 0},     {4, 11},    {5, 11},    {6, 16},   {31, 47},
        {32, 49}, {33, 51}, {64, 93}, {128, 151}, {192, 194}, {240, 223}, {255, 231}};
    for (auto [index, value] : expected)
        EXPECT_EQ(t[index], value) << "entry " << index;
}

TEST(GammaTable, ShapeForEveryAcceptedGamma) {
    for (int32_t gamma = 6; gamma <= 59; ++gamma) {
        const auto t = ComputeGammaTable(gamma);
        for (int i = 0; i <= 3; ++i)
            EXPECT_EQ(t[i], 0) << gamma;
        EXPECT_EQ(t[240], 223) << gamma;
        for (int k = 1; k <= 14; ++k)
            EXPECT_EQ(t[2 * k + 2], t[2 * k + 3]) << gamma << " " << k;
        for (int i = 1; i < 256; ++i)
            EXPECT_LE(t[i - 1], t[i]) << gamma << " " << i;
        EXPECT_LE(t[255], 248) << gamma;
    }
    EXPECT_EQ(ComputeGammaTable(6)[255], 248);
}

TEST_F(GammaTest, SetGammaAcceptsSixToFiftyNineOnly) {
    const struct {
        int32_t gamma;
        int32_t result;
    } cases[] = {{5, 0}, {6, 1}, {59, 1}, {60, 0}, {0, 0}, {-1, 0}, {-18, 0}, {INT32_MIN, 0}};
    for (const auto& c : cases) {
        teko::pipeline::BuildGammaTable(18);
        EXPECT_EQ(SetGamma(c.gamma), c.result) << c.gamma;
        const auto expected = ComputeGammaTable(c.result ? c.gamma : 18);
        EXPECT_EQ(teko::pipeline::CurrentGammaTable(), expected) << c.gamma;
    }
}

}  // namespace
