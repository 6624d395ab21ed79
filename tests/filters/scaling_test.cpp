// Stretch, line doubler and line tripler against per-pixel references, and
// fixtures for the stretch phase and the two rounding rules.
#include "filter_harness.h"

namespace teko::filter_test {
namespace {

using pipeline::CYccHorizontalStretch;
using pipeline::CYccLineDoubler;
using pipeline::CYccLineTripler;
using pipeline::CYcHorizontalStretch;

// Component j of a pixel: byte 0 is luminance (unsigned), the rest signed.
int64_t Comp(const Bytes& image, std::size_t offset, int j) {
    const int byte = At(image, offset + j);
    return j == 0 ? byte : AsSigned(byte);
}

Bytes ReferenceStretch(const Bytes& in, int bpp, int inWidth, int w, int h) {
    Bytes out(static_cast<std::size_t>(bpp) * w * h);
    for (int y = 0; y < h; ++y) {
        int d = 0, k = 0;
        for (int x = 0; x < w; ++x) {
            const std::size_t src = static_cast<std::size_t>(bpp) * (y * inWidth + k);
            const std::size_t dst = static_cast<std::size_t>(bpp) * (y * w + x);
            for (int j = 0; j < bpp; ++j) {
                out[dst + j] =
                    d == 0 ? static_cast<uint8_t>(At(in, src + j))
                           : Low8(Shr(Comp(in, src, j) * (32 - d) + Comp(in, src + bpp, j) * d, 5));
            }
            d += 25;
            if (d >= 32) d -= 32, ++k;
        }
    }
    return out;
}

Bytes ReferenceDoubler(const Bytes& in, int w, int hIn, int hOut) {
    Bytes out(3 * static_cast<std::size_t>(w) * hOut);
    const std::size_t row = 3 * static_cast<std::size_t>(w);
    auto copy = [&](int from, int to) {
        for (std::size_t b = 0; b < row; ++b)
            out[to * row + b] = in[from * row + b];
    };
    for (int r = 0; r <= hIn - 2; ++r) {
        copy(r, 2 * r);
        for (std::size_t b = 0; b < row; ++b) {
            const int j = static_cast<int>(b % 3);
            out[(2 * r + 1) * row + b] =
                Low8(Shr(Comp(in, r * row + b - j, j) + Comp(in, (r + 1) * row + b - j, j), 1));
        }
    }
    if (hOut % 2 == 1) copy(hIn - 1, 2 * (hIn - 1));
    return out;
}

Bytes ReferenceTripler(const Bytes& in, int w, int h) {
    Bytes out(3 * static_cast<std::size_t>(w) * h);
    const std::size_t row = 3 * static_cast<std::size_t>(w);
    int k = 0;
    for (int r = 0; r < h; ++r) {
        for (std::size_t b = 0; b < row; ++b) {
            const int j = static_cast<int>(b % 3);
            const int64_t a = Comp(in, k * row + b - j, j);
            const int64_t next = Comp(in, (k + 1) * row + b - j, j);
            const int64_t v =
                r % 3 == 0 ? a : (r % 3 == 1 ? (2 * a + next) / 3 : (a + 2 * next) / 3);
            out[r * row + b] = Low8(v);
        }
        if (r % 3 == 2) ++k;
    }
    return out;
}

using ScalingTest = LevelTest;

// Runs a sized filter twice over `in`: a filter that keeps state between
// frames (the tripler's phase) gives a different second frame.
template <class Filter>
Bytes RunTwice(SizedFilter<Filter>& f, const Bytes& in) {
    FrameworkBuffer input(in);
    uint8_t* current = input.data();
    f.filter.Process(current);
    EXPECT_EQ(current, f.filter.workBuffer);
    const Bytes first = f.Output();
    current = input.data();
    f.filter.Process(current);
    EXPECT_TRUE(SameBytes(f.Output(), first)) << "second frame differs";
    return first;
}

TEST_P(ScalingTest, StretchesMatchReference) {
    constexpr Size kSizes[] = {{1, 1},  {2, 2},  {5, 3},  {31, 2},
                               {32, 1}, {33, 3}, {64, 2}, {320, 2}};
    uint32_t seed = 1;
    for (const Size size : kSizes) {
        // The Yc stretch may get a wider pitch than it asked for (the raw pitch
        // of the in-place conversion).
        for (const int extra : {0, 3}) {
            SCOPED_TRACE(Describe(size) + " extra " + std::to_string(extra));
            const int32_t asked = (25 * size.w + 31) / 32;
            {
                SizedFilter<CYccHorizontalStretch> f(size.w, size.h, asked + extra);
                EXPECT_EQ(f.asked.width, asked);
                EXPECT_EQ(f.asked.height, size.h);
                const Bytes in =
                    RandomBytes(3 * static_cast<std::size_t>(asked + extra) * size.h, seed++);
                EXPECT_TRUE(SameBytes(RunTwice(f, in),
                                      ReferenceStretch(in, 3, asked + extra, size.w, size.h)));
            }
            {
                SizedFilter<CYcHorizontalStretch> f(size.w, size.h, asked + extra);
                const Bytes in =
                    RandomBytes(2 * static_cast<std::size_t>(asked + extra) * size.h, seed++);
                EXPECT_TRUE(SameBytes(RunTwice(f, in),
                                      ReferenceStretch(in, 2, asked + extra, size.w, size.h)));
            }
        }
    }
}

TEST_P(ScalingTest, StretchPhaseSequence) {
    // Input Y = 8k and a colour difference of -1 at pixel 0 only: output x
    // samples 25x / 32, so Y = 8k + d / 4 for phase d = 0, 25, 18, 11, 4, 29.
    constexpr int kW = 64;
    const int32_t in = (25 * kW + 31) / 32;
    const int expectedY[] = {0, 6, 12, 18, 25, 31};
    for (const int bpp : {3, 2}) {
        SCOPED_TRACE(bpp);
        Bytes row(static_cast<std::size_t>(bpp) * in);
        for (int k = 0; k < in; ++k)
            row[bpp * k] = static_cast<uint8_t>(8 * k);
        for (int j = 1; j < bpp; ++j)
            row[j] = 0xFF;  // -1
        Bytes out;
        if (bpp == 3) {
            SizedFilter<CYccHorizontalStretch> f(kW, 1);
            out = RunTwice(f, row);
        } else {
            SizedFilter<CYcHorizontalStretch> f(kW, 1);
            out = RunTwice(f, row);
        }
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(out[bpp * x], expectedY[x]) << x;
        // Output 0 and output 32 are exact copies of inputs 0 and 25.
        for (int j = 0; j < bpp; ++j)
            EXPECT_EQ(out[j], row[j]);
        for (int j = 0; j < bpp; ++j)
            EXPECT_EQ(out[bpp * 32 + j], row[bpp * 25 + j]);
        // (-1 x 7 + 0 x 25) >> 5 is -1: an arithmetic shift, not a truncation.
        for (int j = 1; j < bpp; ++j)
            EXPECT_EQ(AsSigned(out[bpp + j]), -1);
    }
}

TEST_P(ScalingTest, LineDoublerMatchesReference) {
    constexpr Size kSizes[] = {{1, 1}, {1, 2}, {4, 3}, {5, 4}, {3, 7}, {6, 8}};
    uint32_t seed = 300;
    for (const Size size : kSizes) {
        SCOPED_TRACE(Describe(size));
        SizedFilter<CYccLineDoubler> f(size.w, size.h);
        EXPECT_EQ(f.asked.height, size.h / 2 + 1);
        const Bytes in = RandomBytes(3 * static_cast<std::size_t>(size.w) * f.asked.height, seed++);
        EXPECT_TRUE(
            SameBytes(RunTwice(f, in), ReferenceDoubler(in, size.w, f.asked.height, size.h)));
    }
}

TEST_P(ScalingTest, LineTriplerMatchesReference) {
    constexpr Size kSizes[] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {2, 6}, {3, 7}, {4, 480}};
    uint32_t seed = 400;
    for (const Size size : kSizes) {
        SCOPED_TRACE(Describe(size));
        SizedFilter<CYccLineTripler> f(size.w, size.h);
        EXPECT_EQ(f.asked.height, (size.h + 2) / 3 + 1);
        const Bytes in = RandomBytes(3 * static_cast<std::size_t>(size.w) * f.asked.height, seed++);
        EXPECT_TRUE(SameBytes(RunTwice(f, in), ReferenceTripler(in, size.w, size.h)));
    }
}

// Rows of Y 1, Cr -1, Cb -2 over rows of zeros: the doubler's mean floors
// (-1 and 0 give -1), the tripler's thirds truncate ((2 x -1 + 0) / 3 is 0).
TEST_P(ScalingTest, DoublerFloorsAndTriplerTruncates) {
    const Bytes in = {1, 0xFF, 0xFE, 0, 0, 0};  // a 1-pixel image of two rows
    {
        SizedFilter<CYccLineDoubler> f(1, 2);
        const Bytes out = RunTwice(f, in);
        EXPECT_EQ(out, (Bytes{1, 0xFF, 0xFE, 0, 0xFF, 0xFF}));
    }
    {
        SizedFilter<CYccLineTripler> f(1, 3);
        const Bytes out = RunTwice(f, in);
        // copy; (2a + b) / 3 = (2, -2, -4) / 3; (a + 2b) / 3 = (1, -1, -2) / 3
        EXPECT_EQ(out, (Bytes{1, 0xFF, 0xFE, 0, 0, 0xFF, 0, 0, 0}));
    }
}

// Inputs the vector paths get wrong: the extremes of both signednesses,
// alternations that flip every sign bit, smooth ramps and noise.
enum class Pattern { Random, Ramp, Zeros, Ones, Alternate80And7F, Checker };
constexpr Pattern kPatterns[] = {
    Pattern::Random,           Pattern::Ramp,   Pattern::Zeros, Pattern::Ones,
    Pattern::Alternate80And7F, Pattern::Checker};

Bytes Fill(Pattern pattern, std::size_t n, std::size_t rowBytes, uint32_t seed) {
    Bytes bytes = pattern == Pattern::Random ? RandomBytes(n, seed) : Bytes(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t x = i % rowBytes, y = i / rowBytes;
        switch (pattern) {
            case Pattern::Random:
                break;
            case Pattern::Ramp:
                bytes[i] = static_cast<uint8_t>(x / 3 + 7 * y);
                break;
            case Pattern::Zeros:
                bytes[i] = 0;
                break;
            case Pattern::Ones:
                bytes[i] = 0xFF;
                break;
            case Pattern::Alternate80And7F:
                bytes[i] = (x + y) % 2 == 0 ? 0x80 : 0x7F;
                break;
            case Pattern::Checker:
                bytes[i] = (x / 3 + y) % 2 == 0 ? 0x00 : 0xFF;
                break;
        }
    }
    return bytes;
}

// The output matches the reference and the spare bytes after the work buffer
// (which later filters read as zeros) stay zero.
template <class Filter>
::testing::AssertionResult MatchesAndSparesZero(SizedFilter<Filter>& f, const Bytes& in,
                                                const Bytes& expected) {
    const Bytes out = RunTwice(f, in);
    const uint8_t* spare = f.filter.workBuffer + f.filter.GetWorkBufferSize();
    for (std::size_t i = 0; i < pipeline::kBufferSlack; ++i) {
        if (spare[i] != 0) return ::testing::AssertionFailure() << "spare byte " << i << " written";
    }
    return SameBytes(out, expected);
}

TEST_P(ScalingTest, PatternsAtEveryWidthMatchReference) {
    // Every width up to 70 and both sides of the 48- and 96-byte blocks.
    std::vector<Size> narrow;
    for (int32_t w = 1; w <= 70; ++w)
        narrow.push_back({w, 5});
    for (const int32_t w : {95, 96, 97, 127, 128, 129, 191, 192, 193})
        narrow.push_back({w, 4});
    uint32_t seed = 500;
    for (const Pattern pattern : kPatterns) {
        std::vector<Size> sizes = narrow;
        // The real stage sizes, in the patterns that differ most.
        if (pattern == Pattern::Random || pattern == Pattern::Checker) {
            sizes.push_back({320, 240});
            sizes.push_back({642, 482});
        }
        for (const Size size : sizes) {
            SCOPED_TRACE(Describe(size) + " pattern " + std::to_string(static_cast<int>(pattern)));
            {
                SizedFilter<CYccLineDoubler> f(size.w, size.h);
                const Bytes in =
                    Fill(pattern, 3 * static_cast<std::size_t>(size.w) * f.asked.height,
                         3 * static_cast<std::size_t>(size.w), seed++);
                EXPECT_TRUE(MatchesAndSparesZero(
                    f, in, ReferenceDoubler(in, size.w, f.asked.height, size.h)));
            }
            {
                SizedFilter<CYccLineTripler> f(size.w, size.h);
                const Bytes in =
                    Fill(pattern, 3 * static_cast<std::size_t>(size.w) * f.asked.height,
                         3 * static_cast<std::size_t>(size.w), seed++);
                EXPECT_TRUE(MatchesAndSparesZero(f, in, ReferenceTripler(in, size.w, size.h)));
            }
            const int32_t asked = (25 * size.w + 31) / 32;
            {
                SizedFilter<CYccHorizontalStretch> f(size.w, size.h);
                const Bytes in = Fill(pattern, 3 * static_cast<std::size_t>(asked) * size.h,
                                      3 * static_cast<std::size_t>(asked), seed++);
                EXPECT_TRUE(
                    MatchesAndSparesZero(f, in, ReferenceStretch(in, 3, asked, size.w, size.h)));
            }
            {
                SizedFilter<CYcHorizontalStretch> f(size.w, size.h);
                const Bytes in = Fill(pattern, 2 * static_cast<std::size_t>(asked) * size.h,
                                      2 * static_cast<std::size_t>(asked), seed++);
                EXPECT_TRUE(
                    MatchesAndSparesZero(f, in, ReferenceStretch(in, 2, asked, size.w, size.h)));
            }
        }
    }
}

// Every pair of bytes (a, b) as every component of two rows: the whole range
// of the doubler's sums and the tripler's 2a + b (-384 to 765) is checked.
TEST_P(ScalingTest, EveryPairOfBytesMatchesReference) {
    constexpr int32_t kW = 256 * 256;
    Bytes in(3 * static_cast<std::size_t>(kW) * 2);
    for (int32_t p = 0; p < kW; ++p) {
        for (int j = 0; j < 3; ++j) {
            in[3 * static_cast<std::size_t>(p) + j] = static_cast<uint8_t>(p);
            in[3 * static_cast<std::size_t>(kW + p) + j] = static_cast<uint8_t>(p >> 8);
        }
    }
    {
        SizedFilter<CYccLineDoubler> f(kW, 3);
        ASSERT_EQ(f.asked.height, 2);
        EXPECT_TRUE(SameBytes(RunTwice(f, in), ReferenceDoubler(in, kW, 2, 3)));
    }
    {
        SizedFilter<CYccLineTripler> f(kW, 3);
        ASSERT_EQ(f.asked.height, 2);
        EXPECT_TRUE(SameBytes(RunTwice(f, in), ReferenceTripler(in, kW, 3)));
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, ScalingTest, ::testing::ValuesIn(pipeline::kSimdLevels),
                         LevelTestName);

}  // namespace
}  // namespace teko::filter_test
