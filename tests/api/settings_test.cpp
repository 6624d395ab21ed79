// The settings entries store values exactly; their values at load.
#include <cstdint>
#include <limits>

#include "api/driver_state.h"
#include "link/link.h"
#include "pipeline/pipeline.h"
#include "support/library_fixture.h"
#include "teko32/teko32.h"

namespace {

using SettingsTest = teko::testing::LibraryTest;

TEST_F(SettingsTest, ValuesAtLoad) {
    auto& settings = teko::api::Settings();
    const auto shutter = settings.shutter.Load();
    const auto brightness = settings.brightness.Load();
    EXPECT_EQ(shutter.value, 50);
    EXPECT_TRUE(shutter.pending);
    EXPECT_EQ(brightness.value, 12);
    EXPECT_TRUE(brightness.pending);
    EXPECT_EQ(settings.autoShutter.load(), 1);
    EXPECT_EQ(teko::link::ShutterThreshold(), 80);
    EXPECT_EQ(teko::pipeline::RedScale(), 64);
    EXPECT_EQ(teko::pipeline::BlueScale(), 64);
    EXPECT_EQ(GetShutterSpeed(), 50);
    EXPECT_EQ(GetCCDType(), 0);
    for (uint8_t entry : teko::pipeline::CurrentGammaTable())
        EXPECT_EQ(entry, 0);
}

struct BrightnessCase {
    int32_t argument;
    int32_t stored;
    int32_t returned;
};

TEST_F(SettingsTest, BrightnessMapsAndClamps) {
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    const BrightnessCase cases[] = {
        {0, 31, 31},
        {31, 0, 0},
        {19, 12, 12},
        {-5, 31, 36},
        {40, 0, -9},
        // 31 - INT_MIN wraps to a negative number on 32-bit hardware.
        {kMin, 0, static_cast<int32_t>(31u - static_cast<uint32_t>(kMin))},
        {kMax, 0, 31 - kMax},
    };
    for (const auto& c : cases) {
        teko::api::Settings().brightness.MarkWritten(teko::api::Settings().brightness.Load());
        EXPECT_EQ(SetBrightNess(c.argument), c.returned) << c.argument;
        const auto stored = teko::api::Settings().brightness.Load();
        EXPECT_EQ(stored.value, c.stored) << c.argument;
        EXPECT_TRUE(stored.pending) << c.argument;
    }
}

TEST_F(SettingsTest, PlainSettersStoreAndReturnTheirArgument) {
    for (int32_t v : {0, 1, -1, 120, std::numeric_limits<int32_t>::min(),
                      std::numeric_limits<int32_t>::max()}) {
        EXPECT_EQ(SetShutterSpeed(v), v);
        EXPECT_EQ(GetShutterSpeed(), v);
        EXPECT_TRUE(teko::api::Settings().shutter.Load().pending);
        EXPECT_EQ(SetShutterThreshold(v), v);
        EXPECT_EQ(teko::link::ShutterThreshold(), v);
        EXPECT_EQ(SetRedScale(v), v);
        EXPECT_EQ(teko::pipeline::RedScale(), v);
        EXPECT_EQ(SetBlueScale(v), v);
        EXPECT_EQ(teko::pipeline::BlueScale(), v);
        EXPECT_EQ(EnableAutoShutterSpeed(v), v);
        EXPECT_EQ(teko::api::Settings().autoShutter.load(), v);
        EXPECT_EQ(EnableIsr(v), 1);
        EXPECT_EQ(SetRealizedFilter(v), 1);
        EXPECT_EQ(teko::pipeline::Settings().realizedFilter, v);
    }
}

TEST_F(SettingsTest, PendingFlagSurvivesAValueSetDuringAWrite) {
    auto& shutter = teko::api::Settings().shutter;
    const auto beingWritten = shutter.Load();
    SetShutterSpeed(77);  // arrives while the capture writes the old value
    shutter.MarkWritten(beingWritten);
    EXPECT_TRUE(shutter.Load().pending);
    EXPECT_EQ(shutter.Value(), 77);
    shutter.MarkWritten(shutter.Load());
    EXPECT_FALSE(shutter.Load().pending);
}

TEST_F(SettingsTest, ExposureAdjustmentNeverOverwritesAClientValue) {
    auto& shutter = teko::api::Settings().shutter;
    const auto seen = shutter.Load();
    EXPECT_TRUE(shutter.Replace(seen, 70));
    EXPECT_EQ(shutter.Value(), 70);

    const auto stale = shutter.Load();
    SetShutterSpeed(120);  // the client, while the capture computes its adjustment
    EXPECT_FALSE(shutter.Replace(stale, 75));
    EXPECT_EQ(shutter.Value(), 120);
    EXPECT_TRUE(shutter.Load().pending);
}

TEST_F(SettingsTest, ForceCcdType) {
    EXPECT_EQ(ForceCCDType(0, 2), 0);
    EXPECT_EQ(GetCCDType(), 0);
    EXPECT_EQ(teko::link::State().extraLeadSample.load(), 0);

    EXPECT_EQ(ForceCCDType(1, 2), 0);
    EXPECT_EQ(GetCCDType(), 2);
    EXPECT_EQ(teko::link::State().extraLeadSample.load(), 1);

    // Lifting the force keeps the type until the next detection.
    EXPECT_EQ(ForceCCDType(0, 5), 0);
    EXPECT_EQ(GetCCDType(), 2);
    EXPECT_EQ(teko::api::CcdType().Forced(), 0);

    ForceCCDType(1, 7);
    EXPECT_EQ(GetCCDType(), 7);
    EXPECT_EQ(teko::link::State().extraLeadSample.load(), 0);
}

}  // namespace
