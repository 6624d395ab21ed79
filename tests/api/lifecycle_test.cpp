// Opening and closing without a camera: the entries' results and the state
// they leave. Wire-level behaviour is tested with the link and the virtual camera.
#include "api/driver_state.h"
#include "pipeline/pipeline.h"
#include "support/library_fixture.h"
#include "teko32/teko32.h"

namespace {

using LifecycleTest = teko::testing::LibraryTest;

TEST_F(LifecycleTest, OpenWithEmptyListsAndCloseTwice) {
    EXPECT_EQ(HaltTeko(0), 0);
    EXPECT_EQ(InitTeko(nullptr), TEKO32_INIT_RESULT);
    EXPECT_EQ(teko::api::Driver().openCount, 1);
    EXPECT_EQ(teko::pipeline::CurrentGammaTable(), teko::pipeline::ComputeGammaTable(18));
    EXPECT_EQ(InitTeko(nullptr), TEKO32_INIT_RESULT);
    EXPECT_EQ(HaltTeko(0), 1);
    EXPECT_EQ(HaltTeko(0), 0);

    const uint16_t none[] = {0, 0x378};
    EXPECT_EQ(InitTeko(none), TEKO32_INIT_RESULT);
    EXPECT_EQ(teko::api::Driver().openCount, 1);
    EXPECT_EQ(HaltTeko(0), 1);
}

TEST_F(LifecycleTest, OpenResetsSwitchesAndGammaButKeepsSettings) {
    SetShutterSpeed(123);
    SetRedScale(40);
    SetGamma(30);
    InitFilterStack(0, 0, 0);
    SetRealizedFilter(1);
    InitTeko(nullptr);
    const auto& p = teko::pipeline::Settings();
    EXPECT_EQ(p.zoom, 1);
    EXPECT_EQ(p.allLines, 1);
    EXPECT_EQ(p.sharpen, 1);
    EXPECT_EQ(p.realizedFilter, 1);
    EXPECT_EQ(teko::pipeline::CurrentGammaTable(), teko::pipeline::ComputeGammaTable(18));
    EXPECT_EQ(GetShutterSpeed(), 123);
    EXPECT_EQ(teko::pipeline::RedScale(), 40);
    EXPECT_FALSE(teko::pipeline::BuffersReady());
    HaltTeko(0);
    EXPECT_EQ(GetShutterSpeed(), 123);
}

}  // namespace
