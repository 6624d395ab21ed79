// Opening and closing without a camera: the entries' results and the state
// they leave. Wire-level behaviour is tested with the link and the virtual camera.
#include <cstdlib>
#include <vector>

#include "api/driver_state.h"
#include "pipeline/pipeline.h"
#include "support/library_fixture.h"
#include "support/row_size.h"
#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"
#include "teko32sim/virtual_camera.h"

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

namespace {

TEST_F(LifecycleTest, NoFramesOnAClosedCameraUntilItIsOpenedAndSizedAgain) {
    teko::sim::VirtualCamera camera;
    ASSERT_TRUE(camera.Install());
    const uint16_t ports[] = {camera.config().base, 0};
    std::vector<uint8_t> frame(teko::testing::PaddedPictureBytes(3, 320, 240));

    InitTeko(ports);
    ASSERT_EQ(SetFrameSize(320, 240, 24), 1);
    EXPECT_EQ(CaptureFrameWait(frame.data()), 1);
    ASSERT_EQ(HaltTeko(0), 1);

    // The port has been given back: nothing is programmed or captured on it.
    const uint64_t accessesAfterHalt = camera.counters().reads + camera.counters().writes;
    EXPECT_EQ(SetFrameSize(320, 240, 24), 0);
    EXPECT_EQ(CaptureFrameWait(frame.data()), 0);
    EXPECT_EQ(camera.counters().reads + camera.counters().writes, accessesAfterHalt);

    InitTeko(ports);
    EXPECT_EQ(CaptureFrameWait(frame.data()), 0);
    ASSERT_EQ(SetFrameSize(320, 240, 24), 1);
    EXPECT_EQ(CaptureFrameWait(frame.data()), 1);
    HaltTeko(0);
    TekoSetPortIo(nullptr);
}

TEST(LifecycleExitTest, ProcessEndsWhileTheCaptureThreadRuns) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static std::vector<uint8_t> frame(64);
            static uint16_t flagWord = 1;  // never cleared: the thread only polls
            if (SetupCaptureIsr(0, frame.data(), &flagWord, 0) != 1) std::exit(3);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
