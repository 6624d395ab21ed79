// Raw mosaic conversions against a per-pixel reference, and fixtures that pin
// down the signs and the row phase.
#include "filter_harness.h"

namespace teko::filter_test {
namespace {

using pipeline::CMosaicBlockToYcc;
using pipeline::CMosaicInterpolateToYcc;
using pipeline::CMosaicToYcInPlace;

// The negotiation rounds the raw width up to a multiple of 4.
int32_t RawPitch(int32_t width) {
    return (width + 3) / 4 * 4;
}

struct Raw {
    const Bytes& bytes;
    int32_t pitch;
    int s(int r, int c) const { return At(bytes, static_cast<std::size_t>(r) * pitch + c); }
};

void PutYcc(Bytes& out, int w, int y, int x, int64_t luma, int64_t cr, int64_t cb) {
    const std::size_t p = 3 * (static_cast<std::size_t>(y) * w + x);
    out[p] = Low8(luma);
    out[p + 1] = Low8(cr);
    out[p + 2] = Low8(cb);
}

Bytes ReferenceBlock(const Raw& in, int w, int h, Bytes out) {
    for (int i = 0; i < h / 2; ++i) {
        for (int x = 0; x < w; ++x) {
            const int c = 2 * x, r0 = 2 * i, r1 = 2 * i + 1, r2 = 2 * i + 2;
            PutYcc(out, w, r0, x,
                   Shr(in.s(r0, c) + in.s(r0, c + 1) + in.s(r0, c + 2) + in.s(r0, c + 3), 2),
                   Shr((in.s(r0, c) + in.s(r0, c + 2)) - (in.s(r0, c + 1) + in.s(r0, c + 3)), 2),
                   Shr((in.s(r1, c + 1) + in.s(r1, c + 3)) - (in.s(r1, c) + in.s(r1, c + 2)), 2));
            PutYcc(out, w, r1, x,
                   Shr(in.s(r1, c) + in.s(r1, c + 1) + in.s(r1, c + 2) + in.s(r1, c + 3), 2),
                   Shr((in.s(r2, c) + in.s(r2, c + 2)) - (in.s(r2, c + 1) + in.s(r2, c + 3)), 2),
                   Shr((in.s(r1, c + 1) + in.s(r1, c + 3)) - (in.s(r1, c) + in.s(r1, c + 2)), 2));
        }
    }
    return out;
}

Bytes ReferenceInterpolate(const Raw& in, int w, int h) {
    Bytes out(3 * static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int r = y + 1, c = x + 1;
            const int64_t p = in.s(r, c);
            const int64_t hs = Shr(in.s(r, c - 1) + in.s(r, c + 1), 1);
            const int64_t vs = Shr(in.s(r - 1, c) + in.s(r + 1, c), 1);
            const int64_t ds = Shr(
                in.s(r - 1, c - 1) + in.s(r - 1, c + 1) + in.s(r + 1, c - 1) + in.s(r + 1, c + 1),
                2);
            int64_t cr = 0, cb = 0;
            if (y % 2 == 0 && x % 2 == 0) cr = Shr(ds - vs, 1), cb = Shr(p - hs, 1);
            if (y % 2 == 0 && x % 2 == 1) cr = Shr(vs - ds, 1), cb = Shr(hs - p, 1);
            if (y % 2 == 1 && x % 2 == 1) cr = Shr(p - hs, 1), cb = Shr(ds - vs, 1);
            if (y % 2 == 1 && x % 2 == 0) cr = Shr(hs - p, 1), cb = Shr(vs - ds, 1);
            PutYcc(out, w, y, x, Shr(p + hs, 1), cr, cb);
        }
    }
    return out;
}

// Reads the unconverted frame throughout: the filter must only ever see raw samples.
Bytes ReferenceInPlace(const Raw& in, int w, int h) {
    Bytes out = in.bytes;
    for (int r = 0; r < h / 2 * 2; ++r) {
        for (int x = 0; x < w; ++x) {
            const int c = 2 * x;
            const int a = in.s(r, c) + in.s(r, c + 2), b = in.s(r, c + 1) + in.s(r, c + 3);
            const std::size_t at = static_cast<std::size_t>(r) * in.pitch + c;
            out[at] = Low8(Shr(a + b, 2));
            out[at + 1] = Low8(r % 2 == 0 ? Shr(a - b, 2) : Shr(b - a, 2));
        }
    }
    return out;
}

constexpr Size kSizes[] = {{1, 1}, {1, 2}, {2, 3}, {3, 2}, {4, 5}, {7, 4}, {16, 9}, {33, 6}};

using MosaicTest = LevelTest;

TEST_P(MosaicTest, BlockConversionMatchesReference) {
    uint32_t seed = 1;
    for (const Size size : kSizes) {
        SCOPED_TRACE(Describe(size));
        SizedFilter<CMosaicBlockToYcc> f(size.w, size.h, RawPitch(2 * size.w + 2));
        EXPECT_EQ(f.asked.width, 2 * size.w + 2);
        EXPECT_EQ(f.asked.height, size.h + 1);
        const Bytes raw =
            RandomBytes(static_cast<std::size_t>(f.filter.inputWidth) * (size.h + 1), seed++);
        const Bytes before = RandomBytes(3 * static_cast<std::size_t>(size.w) * size.h, seed++);
        FrameworkBuffer input(raw);
        f.Prefill(before);
        uint8_t* current = input.data();
        f.filter.Process(current);
        EXPECT_EQ(current, f.filter.workBuffer);
        // An odd last row keeps what the buffer held.
        EXPECT_TRUE(SameBytes(f.Output(),
                              ReferenceBlock({raw, f.filter.inputWidth}, size.w, size.h, before)));
    }
}

TEST_P(MosaicTest, InterpolationMatchesReference) {
    uint32_t seed = 100;
    for (const Size size : kSizes) {
        SCOPED_TRACE(Describe(size));
        SizedFilter<CMosaicInterpolateToYcc> f(size.w, size.h, RawPitch(size.w + 2));
        EXPECT_EQ(f.asked.width, size.w + 2);
        EXPECT_EQ(f.asked.height, size.h + 2);
        const Bytes raw =
            RandomBytes(static_cast<std::size_t>(f.filter.inputWidth) * (size.h + 2), seed++);
        FrameworkBuffer input(raw);
        uint8_t* current = input.data();
        f.filter.Process(current);
        EXPECT_EQ(current, f.filter.workBuffer);
        EXPECT_TRUE(SameBytes(f.Output(),
                              ReferenceInterpolate({raw, f.filter.inputWidth}, size.w, size.h)));
    }
}

// Raw frames where vector kernels go wrong: noise, a smooth ramp, flat
// extremes, and alternations that drive every difference to its limits.
enum class Pattern { kRandom, kRamp, kZero, kFull, kHalfSteps, kChecker, kStripes };
constexpr Pattern kPatterns[] = {Pattern::kRandom, Pattern::kRamp,      Pattern::kZero,
                                 Pattern::kFull,   Pattern::kHalfSteps, Pattern::kChecker,
                                 Pattern::kStripes};

Bytes RawPattern(Pattern pattern, int32_t pitch, int32_t rows, uint32_t seed) {
    const auto n = static_cast<std::size_t>(pitch) * rows;
    if (pattern == Pattern::kRandom) return RandomBytes(n, seed);
    Bytes raw(n);
    for (std::size_t i = 0; i < n; ++i) {
        const int c = static_cast<int>(i % pitch), r = static_cast<int>(i / pitch);
        int v = 0;
        switch (pattern) {
            case Pattern::kRandom:
            case Pattern::kZero:
                break;
            case Pattern::kRamp:
                v = (3 * c + 5 * r) % 256;
                break;
            case Pattern::kFull:
                v = 255;
                break;
            case Pattern::kHalfSteps:
                v = (c + r) % 2 == 0 ? 0x80 : 0x7F;
                break;
            case Pattern::kChecker:
                v = (c + r) % 2 == 0 ? 255 : 0;
                break;
            case Pattern::kStripes:
                v = c % 2 == 0 ? 255 : 0;
                break;
        }
        raw[i] = static_cast<uint8_t>(v);
    }
    return raw;
}

enum class Conversion { kBlock, kInterpolate, kInPlace };

// Runs one conversion on `raw` and checks its output against the reference,
// an odd last block row left as the buffer held it, the raw frame untouched
// (or, in place, converted as the reference says) and the zero spare bytes
// after the written buffer left zero.
template <class Filter>
void ExpectConversion(Conversion conversion, Size size, Pattern pattern, int32_t askedWidth,
                      int32_t rows) {
    SizedFilter<Filter> f(size.w, size.h, RawPitch(askedWidth));
    const int32_t pitch = f.filter.inputWidth;
    const Bytes raw = RawPattern(pattern, pitch, rows, static_cast<uint32_t>(size.w));
    FrameworkBuffer input(raw);
    uint8_t* current = input.data();
    Bytes expected;
    const uint8_t* out = nullptr;
    if (conversion == Conversion::kInPlace) {
        f.filter.Process(current);
        expected = ReferenceInPlace({raw, pitch}, f.filter.outputWidth, size.h);
        out = input.data();
    } else {
        const Bytes before = RandomBytes(3 * static_cast<std::size_t>(size.w) * size.h, 9);
        f.Prefill(before);
        f.filter.Process(current);
        expected = conversion == Conversion::kBlock
                       ? ReferenceBlock({raw, pitch}, size.w, size.h, before)
                       : ReferenceInterpolate({raw, pitch}, size.w, size.h);
        out = f.filter.workBuffer;
        EXPECT_EQ(Bytes(input.data(), input.data() + raw.size()), raw);
    }
    EXPECT_TRUE(SameBytes(Bytes(out, out + expected.size()), expected));
    EXPECT_EQ(Bytes(out + expected.size(), out + expected.size() + pipeline::kBufferSlack),
              Bytes(pipeline::kBufferSlack, 0));
}

// Every row width around the vector widths and the real sizes, each pattern,
// for the three conversions.
TEST_P(MosaicTest, ConversionsMatchReferenceOverPatternsAndWidths) {
    std::vector<Size> sizes;
    for (int w = 1; w <= 70; ++w)
        sizes.push_back({w, 3});
    for (const int w : {95, 96, 97, 127, 128, 129, 213})
        sizes.push_back({w, 2});
    for (const Size real : {Size{502, 242}, Size{250, 122}, Size{320, 240}, Size{160, 81}})
        sizes.push_back(real);
    for (const Size size : sizes) {
        for (const Pattern pattern : kPatterns) {
            SCOPED_TRACE(Describe(size) + " pattern " + std::to_string(static_cast<int>(pattern)));
            ExpectConversion<CMosaicBlockToYcc>(Conversion::kBlock, size, pattern, 2 * size.w + 2,
                                                size.h + 1);
            ExpectConversion<CMosaicInterpolateToYcc>(Conversion::kInterpolate, size, pattern,
                                                      size.w + 2, size.h + 2);
            ExpectConversion<CMosaicToYcInPlace>(Conversion::kInPlace, size, pattern,
                                                 2 * size.w + 1, size.h);
        }
    }
}

TEST_P(MosaicTest, InPlaceConversionMatchesReference) {
    uint32_t seed = 200;
    for (const Size size : kSizes) {
        // Both the rounded pitch of a real stack and the bare width asked for.
        for (const bool rounded : {true, false}) {
            SCOPED_TRACE(Describe(size) + (rounded ? " rounded" : " bare"));
            const int32_t asked = 2 * size.w + 1;
            SizedFilter<CMosaicToYcInPlace> f(size.w, size.h, rounded ? RawPitch(asked) : asked);
            EXPECT_EQ(f.asked.width, asked);
            EXPECT_EQ(f.asked.height, size.h);
            EXPECT_EQ(f.filter.outputWidth, f.filter.inputWidth / 2);
            EXPECT_EQ(f.filter.workBuffer, nullptr);
            const Bytes raw =
                RandomBytes(static_cast<std::size_t>(f.filter.inputWidth) * size.h, seed++);
            FrameworkBuffer frame(raw);
            uint8_t* current = frame.data();
            f.filter.Process(current);
            EXPECT_EQ(current, frame.data());
            const Bytes expected =
                ReferenceInPlace({raw, f.filter.inputWidth}, f.filter.outputWidth, size.h);
            EXPECT_TRUE(SameBytes(Bytes(frame.data(), frame.data() + raw.size()), expected));
        }
    }
}

TEST_P(MosaicTest, InPlaceReportsHalfTheRawPitch) {
    const struct {
        int32_t pitch;
        int32_t width;
    } cases[] = {{504, 252}, {7, 3}, {1, 0}};
    for (const auto c : cases) {
        CMosaicToYcInPlace filter;
        FrameSize size{320, 240};
        filter.SetOutputSize(size);
        size = {c.pitch, 240};
        filter.SetInputSize(size);
        EXPECT_EQ(size.width, c.width) << c.pitch;
        EXPECT_EQ(size.height, 240);
        EXPECT_EQ(filter.outputWidth, c.width);
    }
}

// Even columns a, odd columns b: the colour differences' signs and the
// flooring shift, through all three conversions.
TEST_P(MosaicTest, AlternatingColumnsGiveSignedDifferences) {
    const struct {
        int a, b;
        int y, blockCr, blockCb, interpCr, interpCb;
    } cases[] = {
        {90, 90, 90, 0, 0, 0, 0},
        {255, 0, 127, 127, -128, 127, -128},
        {0, 255, 127, -128, 127, -128, 127},
        {7, 4, 5, 1, -2, 1, -2},
    };
    constexpr int kW = 5, kH = 4;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.a) + "," + std::to_string(c.b));
        auto columns = [&](int32_t pitch, int32_t rows) {
            Bytes raw(static_cast<std::size_t>(pitch) * rows);
            for (std::size_t i = 0; i < raw.size(); ++i)
                raw[i] = static_cast<uint8_t>((i % pitch) % 2 == 0 ? c.a : c.b);
            return raw;
        };
        auto expectAll = [&](const Bytes& out, std::size_t stride, std::size_t count, int cr,
                             int cb, bool yc) {
            for (std::size_t p = 0; p < count; ++p) {
                const uint8_t* px = out.data() + p * stride;
                ASSERT_EQ(px[0], c.y) << p;
                if (yc) {
                    ASSERT_EQ(AsSigned(px[1]), (p / kW) % 2 == 0 ? cr : cb) << p;
                } else {
                    ASSERT_EQ(AsSigned(px[1]), cr) << p;
                    ASSERT_EQ(AsSigned(px[2]), cb) << p;
                }
            }
        };
        {
            SizedFilter<CMosaicBlockToYcc> f(kW, kH, 2 * kW + 2);
            FrameworkBuffer in(columns(f.filter.inputWidth, kH + 1));
            uint8_t* current = in.data();
            f.filter.Process(current);
            expectAll(f.Output(), 3, kW * kH, c.blockCr, c.blockCb, false);
        }
        {
            SizedFilter<CMosaicInterpolateToYcc> f(kW, kH, kW + 2);
            FrameworkBuffer in(columns(f.filter.inputWidth, kH + 2));
            uint8_t* current = in.data();
            f.filter.Process(current);
            expectAll(f.Output(), 3, kW * kH, c.interpCr, c.interpCb, false);
        }
        {
            // Pitch 2W: every pixel's four samples lie on its own row, the
            // last pixel's two extra ones on the next row (same pattern).
            SizedFilter<CMosaicToYcInPlace> f(kW, kH, 2 * kW);
            const Bytes raw = columns(2 * kW, kH + 1);  // one more row stands for the spare bytes
            FrameworkBuffer frame(raw);
            uint8_t* current = frame.data();
            f.filter.Process(current);
            Bytes out(frame.data(), frame.data() + 2 * kW * kH);
            expectAll(out, 2, kW * kH, c.blockCr, c.blockCb, true);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, MosaicTest, ::testing::ValuesIn(pipeline::kSimdLevels),
                         LevelTestName);

}  // namespace
}  // namespace teko::filter_test
