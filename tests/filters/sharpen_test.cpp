// Sharpening and smoothing filters against per-pixel references, and
// fixtures for the clamps and the colour-difference rules.
#include "filter_harness.h"

namespace teko::filter_test {
namespace {

using pipeline::CYccHorizontalSharpen;
using pipeline::CYccSharpen;
using pipeline::CYccVerticalSmooth;
using pipeline::CYcSharpen;

// A top-down image of `bpp`-byte pixels; component 0 unsigned, the rest signed.
struct Image {
    const Bytes& bytes;
    int bpp;
    int width;
    int64_t c(int x, int y, int j) const {
        const int byte = At(bytes, static_cast<std::size_t>(bpp) * (y * width + x) + j);
        return j == 0 ? byte : AsSigned(byte);
    }
};

enum class Kind { kYccSharpen, kYccHorizontal, kYccSmooth, kYcSharpen };

Bytes Reference(Kind kind, const Image& in, int w, int h) {
    Bytes out(static_cast<std::size_t>(in.bpp) * w * h);
    const int rowOffset = kind == Kind::kYccHorizontal ? 0 : 1;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int cx = x + 1, cy = y + rowOffset;
            uint8_t* o = out.data() + static_cast<std::size_t>(in.bpp) * (y * w + x);
            const int64_t centre = in.c(cx, cy, 0), left = in.c(cx - 1, cy, 0),
                          right = in.c(cx + 1, cy, 0);
            switch (kind) {
                case Kind::kYccSharpen:
                case Kind::kYcSharpen: {
                    const int64_t above = in.c(cx, cy - 1, 0), below = in.c(cx, cy + 1, 0);
                    o[0] = Low8(Clamp255(4 * centre - Shr(above + below, 1) - left - right));
                    if (kind == Kind::kYcSharpen) {
                        o[1] = Low8(in.c(cx, cy, 1));
                    } else {
                        o[1] = Low8(Shr(in.c(cx, cy, 1) + in.c(cx + 1, cy, 1), 1));
                        o[2] = Low8(in.c(cx, cy, 2));
                    }
                    break;
                }
                case Kind::kYccHorizontal:
                    o[0] = Low8(Clamp255(3 * centre - left - right));
                    o[1] = Low8(in.c(cx, cy, 1));
                    o[2] = Low8(in.c(cx, cy, 2));
                    break;
                case Kind::kYccSmooth:
                    for (int j = 0; j < 3; ++j) {
                        o[j] = Low8(
                            Shr(in.c(cx, cy - 1, j) + in.c(cx, cy, j) + in.c(cx, cy + 1, j), 2));
                    }
                    break;
            }
        }
    }
    return out;
}

template <class Filter>
Bytes Sharpened(SizedFilter<Filter>& f, const Bytes& in) {
    FrameworkBuffer input(in);
    uint8_t* current = input.data();
    f.filter.Process(current);
    EXPECT_EQ(current, f.filter.workBuffer);
    return f.Output();
}

template <class Filter>
void ExpectMatchesReference(Kind kind, int bpp, int extraRows, uint32_t seed) {
    constexpr Size kSizes[] = {{1, 1}, {2, 1}, {1, 3}, {4, 4}, {7, 5}, {16, 3}};
    for (const Size size : kSizes) {
        SCOPED_TRACE(Describe(size));
        SizedFilter<Filter> f(size.w, size.h);
        EXPECT_EQ(f.asked.width, size.w + 2);
        EXPECT_EQ(f.asked.height, size.h + extraRows);
        const Bytes in =
            RandomBytes(static_cast<std::size_t>(bpp) * f.asked.width * f.asked.height, seed++);
        EXPECT_TRUE(
            SameBytes(Sharpened(f, in), Reference(kind, {in, bpp, f.asked.width}, size.w, size.h)));
    }
}

using SharpenTest = LevelTest;

TEST_P(SharpenTest, EveryFilterMatchesReference) {
    ExpectMatchesReference<CYccSharpen>(Kind::kYccSharpen, 3, 2, 1);
    ExpectMatchesReference<CYccHorizontalSharpen>(Kind::kYccHorizontal, 3, 0, 100);
    ExpectMatchesReference<CYccVerticalSmooth>(Kind::kYccSmooth, 3, 2, 200);
    ExpectMatchesReference<CYcSharpen>(Kind::kYcSharpen, 2, 2, 300);
}

// Inputs where byte-stream kernels go wrong: noise, smooth ramps, flat
// extremes, and alternations that drive every sum to its limits.
enum class Pattern { kRandom, kRamp, kZero, kFull, kHalfSteps, kChecker };
constexpr Pattern kPatterns[] = {Pattern::kRandom, Pattern::kRamp,      Pattern::kZero,
                                 Pattern::kFull,   Pattern::kHalfSteps, Pattern::kChecker};

Bytes PatternImage(Pattern pattern, int bpp, int w, int h, uint32_t seed) {
    const auto n = static_cast<std::size_t>(bpp) * w * h;
    if (pattern == Pattern::kRandom) return RandomBytes(n, seed);
    Bytes image(n);
    for (std::size_t i = 0; i < n; ++i) {
        const int j = static_cast<int>(i % bpp);
        const int x = static_cast<int>(i / bpp) % w, y = static_cast<int>(i / bpp) / w;
        int v = 0;
        switch (pattern) {
            case Pattern::kRandom:
            case Pattern::kZero:
                break;
            case Pattern::kRamp:
                v = (x + 2 * y + 50 * j) % 256;
                break;
            case Pattern::kFull:
                v = 255;
                break;
            case Pattern::kHalfSteps:  // 0x80 / 0x7F: the signed extremes side by side
                v = (i % 2 == 0) ? 0x80 : 0x7F;
                break;
            case Pattern::kChecker:
                v = (x + y) % 2 == 0 ? 255 : 0;
                break;
        }
        image[i] = static_cast<uint8_t>(v);
    }
    return image;
}

// Processes `in` and checks the output against the reference, the input left
// as it was and the zero spare bytes after the output untouched.
template <class Filter>
::testing::AssertionResult MatchesReference(Kind kind, int bpp, Size size, const Bytes& in) {
    SizedFilter<Filter> f(size.w, size.h);
    FrameworkBuffer input(in);
    uint8_t* current = input.data();
    f.filter.Process(current);
    const Bytes expected = Reference(kind, {in, bpp, f.asked.width}, size.w, size.h);
    const uint8_t* out = f.filter.workBuffer;
    Bytes actual(out, out + expected.size() + pipeline::kBufferSlack);
    for (std::size_t i = expected.size(); i < actual.size(); ++i) {
        if (actual[i] != 0) {
            return ::testing::AssertionFailure() << "spare byte " << i - expected.size() << " written";
        }
    }
    actual.resize(expected.size());
    if (Bytes(input.data(), input.data() + in.size()) != in) {
        return ::testing::AssertionFailure() << "input changed";
    }
    return SameBytes(actual, expected);
}

template <class Filter>
void ExpectPatternsMatch(Kind kind, int bpp, int extraRows) {
    std::vector<Size> sizes;
    for (int w = 1; w <= 70; ++w)
        sizes.push_back({w, 3});
    for (const int w : {95, 96, 97, 127, 128, 129, 213})
        sizes.push_back({w, 2});
    for (const Size size : sizes) {
        for (const Pattern pattern : kPatterns) {
            const Bytes in = PatternImage(pattern, bpp, size.w + 2, size.h + extraRows,
                                          static_cast<uint32_t>(size.w));
            EXPECT_TRUE(MatchesReference<Filter>(kind, bpp, size, in))
                << Describe(size) << " pattern " << static_cast<int>(pattern);
        }
    }
    for (const Size size : {Size{640, 480}, Size{320, 240}}) {
        for (const Pattern pattern : {Pattern::kRandom, Pattern::kChecker}) {
            const Bytes in = PatternImage(pattern, bpp, size.w + 2, size.h + extraRows, 7);
            EXPECT_TRUE(MatchesReference<Filter>(kind, bpp, size, in))
                << Describe(size) << " pattern " << static_cast<int>(pattern);
        }
    }
}

TEST_P(SharpenTest, PatternsAndWidthsMatchReferenceWithinOwnBytes) {
    ExpectPatternsMatch<CYccSharpen>(Kind::kYccSharpen, 3, 2);
    ExpectPatternsMatch<CYccHorizontalSharpen>(Kind::kYccHorizontal, 3, 0);
    ExpectPatternsMatch<CYccVerticalSmooth>(Kind::kYccSmooth, 3, 2);
    ExpectPatternsMatch<CYcSharpen>(Kind::kYcSharpen, 2, 2);
}

// A flat image of `pixel` with an optional change at one input position.
Bytes Flat(int w, int h, const Bytes& pixel) {
    Bytes image;
    for (int i = 0; i < w * h; ++i)
        image.insert(image.end(), pixel.begin(), pixel.end());
    return image;
}

TEST_P(SharpenTest, FlatImagePassesSharpenersUnchanged) {
    const Bytes ycc = {77, 0xFB /* -5 */, 9};
    const Bytes yc = {77, 0xFB};
    SizedFilter<CYccSharpen> a(3, 3);
    EXPECT_EQ(Sharpened(a, Flat(5, 5, ycc)), Flat(3, 3, ycc));
    SizedFilter<CYccHorizontalSharpen> b(3, 3);
    EXPECT_EQ(Sharpened(b, Flat(5, 3, ycc)), Flat(3, 3, ycc));
    SizedFilter<CYcSharpen> c(3, 3);
    EXPECT_EQ(Sharpened(c, Flat(5, 5, yc)), Flat(3, 3, yc));
}

// Y = 100 on a black background: 400 clamps to 255 at the centre, and the
// left and right neighbours clamp from -100 to 0.
TEST_P(SharpenTest, BrightPixelClampsAtCentreAndNeighbours) {
    for (const int bpp : {3, 2}) {
        SCOPED_TRACE(bpp);
        Bytes in(static_cast<std::size_t>(bpp) * 5 * 5);
        in[static_cast<std::size_t>(bpp) * (2 * 5 + 2)] = 100;
        Bytes out;
        if (bpp == 3) {
            SizedFilter<CYccSharpen> f(3, 3);
            out = Sharpened(f, in);
        } else {
            SizedFilter<CYcSharpen> f(3, 3);
            out = Sharpened(f, in);
        }
        EXPECT_EQ(out[bpp * 4], 255);
        EXPECT_EQ(out[bpp * 3], 0);
        EXPECT_EQ(out[bpp * 5], 0);
    }
}

TEST_P(SharpenTest, ColourDifferenceRules) {
    // Vertical smoothing divides the three-row sum by 4: 200 -> 150, -4 -> -3, 5 -> 3.
    SizedFilter<CYccVerticalSmooth> smooth(2, 2);
    EXPECT_EQ(Sharpened(smooth, Flat(4, 4, {200, 0xFC, 5})), Flat(2, 2, {150, 0xFD, 3}));

    // CYccSharpen averages Cr with its right neighbour and copies Cb.
    Bytes in;
    for (int i = 0; i < 5 * 3; ++i) {
        const bool even = (i % 5) % 2 == 0;
        in.insert(in.end(), {50, static_cast<uint8_t>(even ? 10 : 20),
                             static_cast<uint8_t>(even ? 3 : 0xF9)});
    }
    SizedFilter<CYccSharpen> sharpen(3, 1);
    const Bytes out = Sharpened(sharpen, in);
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(out[3 * x + 1], 15) << x;
        EXPECT_EQ(out[3 * x + 2], x % 2 == 0 ? 0xF9 : 3) << x;  // the centre is input x + 1
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, SharpenTest, ::testing::ValuesIn(pipeline::kSimdLevels),
                         LevelTestName);

}  // namespace
}  // namespace teko::filter_test
