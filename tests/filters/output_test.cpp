// The nine output stages against a per-pixel reference over sizes and gains
// (extreme gains included), over every width up to 70 and the real frame
// sizes, over patterns that break vector paths and over every (Y, colour
// difference) pair; and fixtures for gains, false-colour suppression and the
// row phase of Yc images.
#include <climits>
#include <iterator>

#include "filter_harness.h"

namespace teko::filter_test {
namespace {

using namespace pipeline;

enum class Format { kBgr24, kRgb555, kUyvy };

int BytesPerPixel(Format f) {
    return f == Format::kBgr24 ? 3 : 2;
}
int RowSize(Format f, int w) {
    return (BytesPerPixel(f) * w + 3) / 4 * 4;
}

struct Gains {
    int32_t red;
    int32_t blue;
};

// Levels before the gamma table.
struct Levels {
    int64_t r, g, b;
};

Levels Convert(int64_t y, int64_t cr, int64_t cb, Gains gains) {
    const int64_t r1 = Shr(Wrap32(cr * gains.red), 3);
    const int64_t b1 = Shr(Wrap32(cb * gains.blue), 3);
    return {Clamp255(Wrap32((y + r1) * gains.red) / 40), Clamp255(y - Shr(r1, 2) - Shr(b1, 2)),
            Clamp255(Wrap32((y + b1) * gains.blue) / 40)};
}

uint8_t Chroma(int64_t difference, int32_t gain) {
    return static_cast<uint8_t>(Clamp255(Wrap32((difference + 32) * gain * 4) / 40));
}

bool FalseColour(int64_t y, int64_t cr, int64_t cb) {
    return y < 100 && ((cr > 15 && cb < -15) || (cb > 15 && cr < -15));
}

// Writes one RGB pixel at column x of a destination row.
void PutRgb(Format f, uint8_t* row, int x, Levels l, const GammaTable& gamma) {
    const uint8_t r = gamma[l.r], g = gamma[l.g], b = gamma[l.b];
    if (f == Format::kBgr24) {
        row[3 * x] = b;
        row[3 * x + 1] = g;
        row[3 * x + 2] = r;
    } else {
        const int word = (r / 8) * 1024 + (g / 8) * 32 + b / 8;
        row[2 * x] = static_cast<uint8_t>(word % 256);
        row[2 * x + 1] = static_cast<uint8_t>(word / 256);
    }
}

struct Pixel {
    int64_t y, cr, cb;
};

Bytes ReferenceYcc(Format f, const Bytes& in, int inWidth, int w, int h, Gains gains,
                   Bytes client) {
    const GammaTable gamma = CurrentGammaTable();
    const int rowSize = RowSize(f, w);
    auto pixel = [&](int y, int x) {
        const std::size_t p = 3 * (static_cast<std::size_t>(y) * inWidth + x);
        return Pixel{At(in, p), AsSigned(At(in, p + 1)), AsSigned(At(in, p + 2))};
    };
    for (int y = 0; y < h; ++y) {
        uint8_t* row = client.data() + static_cast<std::size_t>(h - 1 - y) * rowSize;
        if (f == Format::kUyvy) {
            for (int k = 0; k < (w + 1) / 2; ++k) {
                const Pixel first = pixel(y, 2 * k), second = pixel(y, 2 * k + 1);
                row[4 * k] = Chroma(first.cb, gains.blue);
                row[4 * k + 1] = gamma[first.y];
                row[4 * k + 2] = Chroma(second.cr, gains.red);
                row[4 * k + 3] = gamma[second.y];
            }
            continue;
        }
        for (int x = 0; x < w; ++x) {
            const Pixel p = pixel(y, x);
            PutRgb(f, row, x,
                   FalseColour(p.y, p.cr, p.cb) ? Levels{p.y, p.y, p.y}
                                                : Convert(p.y, p.cr, p.cb, gains),
                   gamma);
        }
    }
    return client;
}

Bytes ReferenceYc(Format f, bool crFirst, const Bytes& in, int inWidth, int w, int h, Gains gains,
                  Bytes client) {
    const GammaTable gamma = CurrentGammaTable();
    const int rowSize = RowSize(f, w);
    auto y_ = [&](int r, int x) { return At(in, 2 * (static_cast<std::size_t>(r) * inWidth + x)); };
    auto c_ = [&](int r, int x) {
        return AsSigned(At(in, 2 * (static_cast<std::size_t>(r) * inWidth + x) + 1));
    };
    for (int r = 0; r < h / 2 * 2; ++r) {
        const bool carriesRed = crFirst == (r % 2 == 0);
        auto cr = [&](int x) { return carriesRed ? c_(r, x) : c_(r + 1, x); };
        auto cb = [&](int x) { return carriesRed ? c_(r + 1, x) : c_(r, x); };
        uint8_t* row = client.data() + static_cast<std::size_t>(h - 1 - r) * rowSize;
        if (f == Format::kUyvy) {
            for (int k = 0; k < w / 2; ++k) {
                row[4 * k] = Chroma(cb(2 * k), gains.blue);
                row[4 * k + 1] = gamma[y_(r, 2 * k)];
                row[4 * k + 2] = Chroma(cr(2 * k + 1), gains.red);
                row[4 * k + 3] = gamma[y_(r, 2 * k + 1)];
            }
            continue;
        }
        for (int x = 0; x < w; ++x)
            PutRgb(f, row, x, Convert(y_(r, x), cr(x), cb(x), gains), gamma);
    }
    return client;
}

// Sizes the stage for w x h, runs it over `input` into a client buffer of
// exactly rowSize x h bytes holding `client`, and returns that buffer.
template <class Stage>
Bytes RunStage(Format f, int w, int h, const Bytes& input, const Bytes& client) {
    SizedFilter<Stage> stage(w, h);
    FrameworkBuffer in(input);
    Bytes destination = client;
    EXPECT_EQ(destination.size(), static_cast<std::size_t>(RowSize(f, w)) * h);
    stage.filter.SetWorkBuffer(destination.data());
    uint8_t* current = in.data();
    stage.filter.Process(current);
    EXPECT_EQ(current, destination.data());
    return destination;
}

constexpr Size kSizes[] = {{1, 1}, {1, 2}, {2, 3}, {3, 2}, {4, 4}, {5, 5}, {6, 1}, {7, 6}};
constexpr Gains kGains[] = {{40, 40},
                            {64, 64},
                            {64, 40},
                            {-7, 123},
                            {0, 0},
                            {-1, -1},
                            {1000003, -999},
                            {INT32_MIN, INT32_MAX},
                            {INT32_MAX, INT32_MIN}};

void SetGains(Gains g) {
    SetRedScale(g.red);
    SetBlueScale(g.blue);
}

class OutputTest : public LevelTest {
  protected:
    void SetUp() override {
        LevelTest::SetUp();
        BuildGammaTable(18);
    }
};

template <class Stage>
void ExpectYccStageMatches(Format f, uint32_t seed) {
    for (const Gains gains : kGains) {
        SetGains(gains);
        for (const Size size : kSizes) {
            SCOPED_TRACE(Describe(size) + " gains " + std::to_string(gains.red) + "," +
                         std::to_string(gains.blue));
            const Bytes input = RandomBytes(3 * static_cast<std::size_t>(size.w) * size.h, seed++);
            const Bytes client =
                RandomBytes(static_cast<std::size_t>(RowSize(f, size.w)) * size.h, seed++);
            EXPECT_TRUE(SameBytes(RunStage<Stage>(f, size.w, size.h, input, client),
                                  ReferenceYcc(f, input, size.w, size.w, size.h, gains, client)));
        }
    }
}

template <class Stage>
void ExpectYcStageMatches(Format f, bool crFirst, uint32_t seed) {
    for (const Gains gains : kGains) {
        SetGains(gains);
        for (const Size size : kSizes) {
            SCOPED_TRACE(Describe(size) + " gains " + std::to_string(gains.red) + "," +
                         std::to_string(gains.blue));
            const Bytes input =
                RandomBytes(2 * static_cast<std::size_t>(size.w) * (size.h + 1), seed++);
            const int rowSize = RowSize(f, size.w);
            const Bytes client = RandomBytes(static_cast<std::size_t>(rowSize) * size.h, seed++);
            const Bytes out = RunStage<Stage>(f, size.w, size.h, input, client);
            EXPECT_TRUE(SameBytes(
                out, ReferenceYc(f, crFirst, input, size.w, size.w, size.h, gains, client)));
            if (size.h % 2 == 1) {
                // The last output row is not made: the client's first row is as it was.
                EXPECT_TRUE(std::equal(out.begin(), out.begin() + rowSize, client.begin()));
            }
            if (f == Format::kRgb555) {
                for (int r = 0; r < size.h; ++r) {
                    for (int x = 0; x < size.w; ++x) {
                        const std::size_t hi = static_cast<std::size_t>(r) * rowSize + 2 * x + 1;
                        if (r == 0 && size.h % 2 == 1) continue;  // the client's own bytes
                        ASSERT_EQ(out[hi] & 0x80, 0) << r << "," << x;
                    }
                }
            }
        }
    }
}

TEST_P(OutputTest, YccStagesMatchReference) {
    ExpectYccStageMatches<CYccToRgb24>(Format::kBgr24, 1);
    ExpectYccStageMatches<CYccToRgb555>(Format::kRgb555, 1000);
    ExpectYccStageMatches<CYccToUyvy>(Format::kUyvy, 2000);
}

TEST_P(OutputTest, YcStagesMatchReference) {
    {
        FrameSize size{5, 7};
        CYcCrFirstToUyvy stage;
        stage.SetOutputSize(size);
        EXPECT_EQ(size.width, 5);
        EXPECT_EQ(size.height, 8);
    }
    ExpectYcStageMatches<CYcCbFirstToRgb24>(Format::kBgr24, false, 1);
    ExpectYcStageMatches<CYcCrFirstToRgb24>(Format::kBgr24, true, 1000);
    ExpectYcStageMatches<CYcCbFirstToRgb555>(Format::kRgb555, false, 2000);
    ExpectYcStageMatches<CYcCrFirstToRgb555>(Format::kRgb555, true, 3000);
    ExpectYcStageMatches<CYcCbFirstToUyvy>(Format::kUyvy, false, 4000);
    ExpectYcStageMatches<CYcCrFirstToUyvy>(Format::kUyvy, true, 5000);
}

// A grey pixel of Y = 100: at gain 40 every level is Y and the chroma 128;
// at 64 red and blue are 160 (the gain scales the level too) and the chroma 204.
TEST_P(OutputTest, GainsOnAGreyPixel) {
    const GammaTable gamma = CurrentGammaTable();
    const struct {
        int32_t gain;
        int redBlue;
        int chroma;
    } cases[] = {{40, 100, 128}, {64, 160, 204}};
    const Bytes grey = {100, 0, 0, 100, 0, 0};  // two Ycc pixels
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gain);
        SetGains({c.gain, c.gain});
        const Bytes bgr = RunStage<CYccToRgb24>(Format::kBgr24, 2, 1, grey, Bytes(8, 0xEE));
        EXPECT_EQ(bgr, (Bytes{gamma[c.redBlue], gamma[100], gamma[c.redBlue], gamma[c.redBlue],
                              gamma[100], gamma[c.redBlue], 0xEE, 0xEE}));  // padding untouched
        const Bytes uyvy = RunStage<CYccToUyvy>(Format::kUyvy, 2, 1, grey, Bytes(4, 0xEE));
        EXPECT_EQ(uyvy, (Bytes{static_cast<uint8_t>(c.chroma), gamma[100],
                               static_cast<uint8_t>(c.chroma), gamma[100]}));
        const Bytes ycUyvy = RunStage<CYcCrFirstToUyvy>(
            Format::kUyvy, 2, 2, {100, 0, 100, 0, 100, 0, 100, 0, 100, 0, 100, 0}, Bytes(8, 0xEE));
        EXPECT_EQ(ycUyvy[0], c.chroma);
        EXPECT_EQ(ycUyvy[2], c.chroma);
    }
}

// Dark pixels with strongly opposed colour differences are grey in the two
// Ycc RGB stages only; the Yc stages always convert.
TEST_P(OutputTest, FalseColourSuppressionOnlyInYccRgbStages) {
    SetGains({40, 40});
    const GammaTable gamma = CurrentGammaTable();
    const struct {
        int y, cr, cb;
        bool grey;
        Levels converted;
    } cases[] = {
        {99, 16, -16, true, {179, 99, 19}},    {99, -16, 16, true, {19, 99, 179}},
        {100, 16, -16, false, {180, 100, 20}}, {99, 15, -16, false, {174, 101, 19}},
        {99, 16, -15, false, {179, 98, 24}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.y) + "," + std::to_string(c.cr) + "," + std::to_string(c.cb));
        const Levels expected = c.grey ? Levels{c.y, c.y, c.y} : c.converted;
        const Bytes bgr = {gamma[expected.b], gamma[expected.g], gamma[expected.r]};
        const Bytes ycc = {static_cast<uint8_t>(c.y), static_cast<uint8_t>(c.cr),
                           static_cast<uint8_t>(c.cb)};
        EXPECT_EQ(RunStage<CYccToRgb24>(Format::kBgr24, 1, 1, ycc, Bytes(4, 0)),
                  (Bytes{bgr[0], bgr[1], bgr[2], 0}));
        const int word = (gamma[expected.r] >> 3) << 10 | (gamma[expected.g] >> 3) << 5 |
                         (gamma[expected.b] >> 3);
        EXPECT_EQ(
            RunStage<CYccToRgb555>(Format::kRgb555, 1, 1, ycc, Bytes(4, 0)),
            (Bytes{static_cast<uint8_t>(word & 0xFF), static_cast<uint8_t>(word >> 8), 0, 0}));
        // The Yc stage: Cr on the top row, Cb on the row below.
        const Bytes yc = {static_cast<uint8_t>(c.y),
                          static_cast<uint8_t>(c.cr),
                          static_cast<uint8_t>(c.y),
                          static_cast<uint8_t>(c.cb),
                          0,
                          0};
        const Bytes ycBgr = RunStage<CYcCrFirstToRgb24>(Format::kBgr24, 1, 2, yc, Bytes(8, 0));
        EXPECT_EQ(ycBgr[4], gamma[c.converted.b]);
        EXPECT_EQ(ycBgr[5], gamma[c.converted.g]);
        EXPECT_EQ(ycBgr[6], gamma[c.converted.r]);
    }
}

// C = 20 on even rows and 0 on odd rows: the Cr-first stage sees Cr = 20,
// Cb = 0 on every output row, the Cb-first stage Cb = 20, Cr = 0.
TEST_P(OutputTest, RowPhaseDecidesWhichDifferenceIsRed) {
    SetGains({40, 40});
    const GammaTable gamma = CurrentGammaTable();
    constexpr int kW = 3, kH = 4;
    Bytes image;
    for (int r = 0; r <= kH; ++r) {
        for (int x = 0; x < kW; ++x)
            image.insert(image.end(), {50, static_cast<uint8_t>(r % 2 == 0 ? 20 : 0)});
    }
    // Y 50 with a difference of 20: that colour 150, green 25, the other 50.
    const Bytes crFirst =
        RunStage<CYcCrFirstToRgb24>(Format::kBgr24, kW, kH, image, Bytes(12 * kH, 0));
    const Bytes cbFirst =
        RunStage<CYcCbFirstToRgb24>(Format::kBgr24, kW, kH, image, Bytes(12 * kH, 0));
    for (int r = 0; r < kH; ++r) {
        for (int x = 0; x < kW; ++x) {
            const std::size_t p = 12 * static_cast<std::size_t>(r) + 3 * x;
            SCOPED_TRACE(std::to_string(r) + "," + std::to_string(x));
            EXPECT_EQ(crFirst[p], gamma[50]);
            EXPECT_EQ(crFirst[p + 1], gamma[25]);
            EXPECT_EQ(crFirst[p + 2], gamma[150]);
            EXPECT_EQ(cbFirst[p], gamma[150]);
            EXPECT_EQ(cbFirst[p + 1], gamma[25]);
            EXPECT_EQ(cbFirst[p + 2], gamma[50]);
        }
    }
}

// ---- Every stage, every level: the cases vector paths get wrong ----------------

struct StageCase {
    const char* name;
    Format format;
    bool yc;
    bool crFirst;
    Bytes (*run)(Format, int, int, const Bytes&, const Bytes&);
};
const StageCase kStages[] = {
    {"CYccToRgb24", Format::kBgr24, false, false, RunStage<CYccToRgb24>},
    {"CYccToRgb555", Format::kRgb555, false, false, RunStage<CYccToRgb555>},
    {"CYccToUyvy", Format::kUyvy, false, false, RunStage<CYccToUyvy>},
    {"CYcCbFirstToRgb24", Format::kBgr24, true, false, RunStage<CYcCbFirstToRgb24>},
    {"CYcCrFirstToRgb24", Format::kBgr24, true, true, RunStage<CYcCrFirstToRgb24>},
    {"CYcCbFirstToRgb555", Format::kRgb555, true, false, RunStage<CYcCbFirstToRgb555>},
    {"CYcCrFirstToRgb555", Format::kRgb555, true, true, RunStage<CYcCrFirstToRgb555>},
    {"CYcCbFirstToUyvy", Format::kUyvy, true, false, RunStage<CYcCbFirstToUyvy>},
    {"CYcCrFirstToUyvy", Format::kUyvy, true, true, RunStage<CYcCrFirstToUyvy>},
};

// Gains inside 1..255 (where narrow arithmetic suffices), its edges and
// everything outside, both equal and mixed.
constexpr Gains kEdgeGains[] = {{40, 40},
                                {64, 64},
                                {1, 1},
                                {255, 255},
                                {0, 0},
                                {-1, -1},
                                {256, 256},
                                {1000, 1000},
                                {INT32_MIN, INT32_MIN},
                                {INT32_MAX, INT32_MAX},
                                {64, 256},
                                {255, 1},
                                {1, 0},
                                {-255, 200},
                                {INT32_MAX, 40},
                                {41, INT32_MIN}};
constexpr int32_t kGammaValues[] = {18, 6, 59, 10};

enum class Pattern { kRandom, kGradient, kAllZero, kAll255, kSignEdge, kCheckerboard };
constexpr Pattern kPatterns[] = {Pattern::kRandom, Pattern::kGradient, Pattern::kAllZero,
                                 Pattern::kAll255, Pattern::kSignEdge, Pattern::kCheckerboard};

// The input a stage reads for a w x h output: Ycc rows, or Yc rows with one more.
Bytes MakeInput(const StageCase& stage, Pattern pattern, int w, int h, uint32_t seed) {
    const int bpp = stage.yc ? 2 : 3;
    const int rows = stage.yc ? h + 1 : h;
    const std::size_t n = static_cast<std::size_t>(bpp) * w * rows;
    if (pattern == Pattern::kRandom) return RandomBytes(n, seed);
    Bytes image(n);
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int j = 0; j < bpp; ++j) {
                uint8_t& byte = image[static_cast<std::size_t>(bpp) * (y * w + x) + j];
                switch (pattern) {
                    case Pattern::kGradient:  // slow ramps, offset per component
                        byte = static_cast<uint8_t>(x * 3 + y * 5 + j * 85);
                        break;
                    case Pattern::kAllZero:
                        byte = 0;
                        break;
                    case Pattern::kAll255:
                        byte = 255;
                        break;
                    case Pattern::kSignEdge:  // 0x80 next to 0x7F along rows and columns
                        byte = (x + y + j) % 2 == 0 ? 0x80 : 0x7F;
                        break;
                    case Pattern::kCheckerboard:  // Y 0 with 127, -128 next to Y 255 with -128, 127
                        byte = (x + y) % 2 == 0 ? (j == 0 ? 0x00 : (j == 1 ? 0x7F : 0x80))
                                                : (j == 0 ? 0xFF : (j == 1 ? 0x80 : 0x7F));
                        break;
                    case Pattern::kRandom:
                        break;
                }
            }
        }
    }
    return image;
}

Bytes Reference(const StageCase& stage, const Bytes& input, int w, int h, Gains gains,
                const Bytes& client) {
    return stage.yc ? ReferenceYc(stage.format, stage.crFirst, input, w, w, h, gains, client)
                    : ReferenceYcc(stage.format, input, w, w, h, gains, client);
}

// Runs the stage into a client buffer of random bytes (so that padding and an
// untouched last row show) and compares every byte with the reference.
void ExpectStageMatches(const StageCase& stage, const Bytes& input, int w, int h, Gains gains,
                        uint32_t seed) {
    SetGains(gains);
    const Bytes client = RandomBytes(static_cast<std::size_t>(RowSize(stage.format, w)) * h, seed);
    EXPECT_TRUE(SameBytes(stage.run(stage.format, w, h, input, client),
                          Reference(stage, input, w, h, gains, client)))
        << stage.name << " " << w << "x" << h << " gains " << gains.red << "," << gains.blue;
}

// Widths 1 to 70 and around 128 and 256 (every vector width, every tail),
// three rows (the Yc stages leave the third alone); gains and gamma tables
// vary with the width.
TEST_P(OutputTest, EveryWidthMatchesReference) {
    constexpr int kExtraWidths[] = {127, 128, 129, 255, 256, 257};
    std::vector<int> widths;
    for (int w = 1; w <= 70; ++w)
        widths.push_back(w);
    widths.insert(widths.end(), std::begin(kExtraWidths), std::end(kExtraWidths));
    uint32_t seed = 7;
    for (const StageCase& stage : kStages) {
        for (const int w : widths) {
            BuildGammaTable(kGammaValues[w % std::size(kGammaValues)]);
            const Gains gains = kEdgeGains[w % std::size(kEdgeGains)];
            ExpectStageMatches(stage, MakeInput(stage, Pattern::kRandom, w, 3, seed), w, 3, gains,
                               seed + 1);
            seed += 2;
        }
    }
}

// Flat, smooth and extreme patterns under every edge gain.
TEST_P(OutputTest, PatternsUnderEdgeGainsMatchReference) {
    constexpr Size kPatternSizes[] = {{37, 3}, {16, 2}};
    uint32_t seed = 100;
    for (const StageCase& stage : kStages) {
        for (const Pattern pattern : kPatterns) {
            for (const Gains gains : kEdgeGains) {
                for (const Size size : kPatternSizes) {
                    SCOPED_TRACE(static_cast<int>(pattern));
                    ExpectStageMatches(stage, MakeInput(stage, pattern, size.w, size.h, seed),
                                       size.w, size.h, gains, seed + 1);
                    seed += 2;
                }
            }
        }
    }
}

// The frame sizes of the real stacks, at the initial gains and at gains
// outside 1..255.
TEST_P(OutputTest, RealFrameSizesMatchReference) {
    constexpr Size kRealSizes[] = {{640, 480}, {320, 240}};
    constexpr Gains kRealGains[] = {{64, 64}, {1000, -7}};
    uint32_t seed = 500;
    for (const StageCase& stage : kStages) {
        for (int i = 0; i < 2; ++i) {
            const Size size = kRealSizes[i];
            ExpectStageMatches(stage, MakeInput(stage, Pattern::kRandom, size.w, size.h, seed),
                               size.w, size.h, kRealGains[i], seed + 1);
            seed += 2;
        }
    }
}

// Every (Y, Cr) and every (Y, Cb) pair at gains across and beyond 1..255,
// each with two gamma tables: all the products the conversion can divide,
// the clamp edges of both gains and the false-colour edges.
TEST_P(OutputTest, EveryLuminanceAndDifferenceMatchesReference) {
    constexpr int32_t kGainsAcross[] = {
        1,   2, 3,  7,   39,   40,   41,  64,   100,    128,     200,       254,
        255, 0, -1, -40, -255, -256, 256, 1000, 0x7FFF, -0x8000, INT32_MIN, INT32_MAX};
    Bytes ycc;
    for (int y = 0; y < 256; ++y) {
        for (int cr = 0; cr < 256; ++cr) {
            // Cb runs through every value for each Y too.
            ycc.insert(ycc.end(), {static_cast<uint8_t>(y), static_cast<uint8_t>(cr),
                                   static_cast<uint8_t>(5 * cr + 3 * y + 7)});
        }
    }
    constexpr std::size_t kCount = std::size(kGainsAcross);
    for (std::size_t i = 0; i < kCount; ++i) {
        BuildGammaTable(kGammaValues[i % 2]);
        // Red runs through the list, blue takes another entry of it.
        const Gains gains{kGainsAcross[i], kGainsAcross[(i + 5) % kCount]};
        const uint32_t seed = 900 + 2 * static_cast<uint32_t>(i);
        ExpectStageMatches(kStages[0], ycc, 256, 256, gains, seed);
        ExpectStageMatches(kStages[0], ycc, 256, 256, {gains.blue, gains.red}, seed + 1);
    }
}

// Without a destination an output stage writes nothing.
TEST_P(OutputTest, NoDestinationWritesNothing) {
    CYccToRgb24 stage;
    FrameSize size{2, 2};
    stage.SetOutputSize(size);
    stage.SetInputSize(size);
    Bytes input(12, 7);
    uint8_t* current = input.data();
    stage.Process(current);
    EXPECT_EQ(current, input.data());
}

INSTANTIATE_TEST_SUITE_P(Levels, OutputTest, ::testing::ValuesIn(pipeline::kSimdLevels),
                         LevelTestName);

}  // namespace
}  // namespace teko::filter_test
