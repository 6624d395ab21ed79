// SetFrameSize, the sensor window and EnableZoom against a scripted camera:
// negotiated raw sizes, register traffic, failed writes and refusals.
#include <vector>

#include "api/driver_state.h"
#include "capture/capture.h"
#include "pipeline/pipeline.h"
#include "scripted_camera.h"

namespace {

using teko::link::Register;
using teko::pipeline::BuffersReady;
using teko::pipeline::CFilter;
using teko::pipeline::ConfigurationCode;
using teko::pipeline::Geometry;
using teko::pipeline::GetFilterCount;
using teko::pipeline::OutputStage;
using teko::pipeline::RawFrameBuffer;
using teko::pipeline::RawHeight;
using teko::pipeline::RawWidth;
using teko::pipeline::SetSensorWindow;
using teko::pipeline::Settings;
using teko::testing::kTypeShort;
using teko::testing::kTypeTall;
using teko::testing::MessageRecorder;

using GeometryTest = teko::testing::PipelineTest;

struct SizeCase {
    int32_t zoom, allLines, sharpen;
    int32_t width, height, sensorType;
    int32_t rawWidth, rawHeight, top, left;
};

TEST_F(GeometryTest, RawFrameAndWindowForRequestedSizes) {
    const SizeCase cases[] = {
        {1, 1, 1, 640, 480, kTypeShort, 504, 244, 2, 5},
        {1, 1, 1, 320, 240, kTypeShort, 256, 124, 62, 63},
        {1, 1, 1, 320, 240, kTypeTall, 256, 124, 66, 64},
        // Every third line: the window is three raw lines high per raw line (126).
        {0, 0, 0, 160, 120, kTypeShort, 252, 42, 62, 64},
        {0, 1, 0, 0, 0, kTypeShort, 4, 1, 124, 126},
        {1, 1, 1, 1, 1, kTypeTall, 8, 4, 126, 126},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " zoom " << c.zoom
                                          << " type " << c.sensorType);
        InitFilterStack(c.zoom, c.allLines, c.sharpen);
        SetSensorType(c.sensorType);
        ASSERT_EQ(SetFrameSize(c.width, c.height, 24), 1);
        EXPECT_EQ(RawWidth(), c.rawWidth);
        EXPECT_EQ(RawHeight(), c.rawHeight);
        EXPECT_EQ(LastWindow(), (std::vector<int32_t>{c.top, c.left, 0}));
    }
}

TEST_F(GeometryTest, LeftOffsetFoldsBackAboveFour) {
    SetSensorType(kTypeShort);  // leftBase 4
    struct {
        int32_t rawWidth, left;
    } const cases[] = {{492, 4 + 4}, {488, 1 + 4}, {510, 0 + 4}, {600, 0 + 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rawWidth);
        ASSERT_EQ(SetSensorWindow(c.rawWidth, 100), 1);
        EXPECT_EQ(WritesTo(Register::LeftOffset).back(), c.left);
    }
}

TEST_F(GeometryTest, UnreadSensorTypeKeepsThePreviousGeometry) {
    SetSensorType(kTypeTall);
    ASSERT_EQ(SetFrameSize(320, 240, 24), 1);
    const std::vector<int32_t> window = LastWindow();
    SetSensorType(kTypeShort);
    Refuse(Register::CCDType, 1);
    ASSERT_EQ(SetFrameSize(320, 240, 24), 1);
    EXPECT_EQ(LastWindow(), window);
    EXPECT_EQ(Geometry().sensorLines, 248);
}

struct WindowFault {
    Register refused;
    int refusals;
    const char* message;  // nullptr: the window is written
    int tops, lefts, rights;
};

TEST_F(GeometryTest, FailedWindowWrites) {
    const WindowFault faults[] = {
        {Register::TopOffset, 4, nullptr, 1, 1, 1},
        {Register::TopOffset, 5, "Set TopOffset Fail!", 0, 0, 0},
        {Register::LeftOffset, 1, "Set LeftOffset Fail!", 1, 0, 0},
        {Register::RightOffset, 1, "Set RightOffset Fail!", 1, 1, 0},
    };
    for (const WindowFault& f : faults) {
        SCOPED_TRACE(f.message ? f.message : "TopOffset acknowledged at the fifth attempt");
        TearDown();
        SetUp();
        ClearTraffic();
        messages.Clear();
        Refuse(f.refused, f.refusals);
        EXPECT_EQ(SetFrameSize(320, 240, 24), f.message ? 0 : 1);
        EXPECT_EQ(BuffersReady(), f.message == nullptr);
        EXPECT_EQ(WritesTo(Register::TopOffset).size(), f.tops);
        EXPECT_EQ(WritesTo(Register::LeftOffset).size(), f.lefts);
        EXPECT_EQ(WritesTo(Register::RightOffset).size(), f.rights);
        if (f.refused == Register::TopOffset) {
            EXPECT_EQ(CommandsFor(Register::TopOffset), 5u);
        }
        if (f.message == nullptr) {
            EXPECT_EQ(messages.Count(), 0u);
        } else {
            const std::vector<MessageRecorder::Message> expected{{f.message, "NOTE"}};
            EXPECT_EQ(messages.Shown(), expected);
            // The stack is built and sized, but nothing can run it.
            EXPECT_EQ(RawFrameBuffer(), nullptr);
            ASSERT_EQ(SetFrameSize(320, 240, 24), 1);
        }
    }
}

struct LimitCase {
    int32_t zoom, width, height, depth, result;
};

TEST_F(GeometryTest, RefusedRequestsLeaveAReadyStackAsItWas) {
    const LimitCase cases[] = {
        {1, 641, 480, 24, 0}, {1, 640, 481, 24, 0}, {1, 640, 480, 16, 1}, {0, 321, 240, 24, 0},
        {0, 320, 241, 24, 0}, {0, -1, 0, 24, 0},    {0, 0, -1, 24, 0},    {0, 0, 0, 16, 1},
        {0, 320, 240, 32, 0}, {1, 320, 240, 0, 0},
    };
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.width << "x" << c.height << "x" << c.depth << " zoom " << c.zoom);
        InitFilterStack(c.zoom, 1, 1);
        ASSERT_EQ(SetFrameSize(c.zoom ? 640 : 320, c.zoom ? 480 : 240, 24), 1);
        const CFilter* stage = OutputStage();
        const uint8_t* raw = RawFrameBuffer();
        const auto writes = camera.RegisterLog().size();
        EXPECT_EQ(SetFrameSize(c.width, c.height, c.depth), c.result);
        if (c.result == 0) {
            EXPECT_TRUE(BuffersReady());
            EXPECT_EQ(Settings().outputDepth, 24);
            EXPECT_EQ(OutputStage(), stage);
            EXPECT_EQ(RawFrameBuffer(), raw);
            EXPECT_EQ(camera.RegisterLog().size(), writes);
        } else {
            EXPECT_EQ(Settings().outputDepth, c.depth);
        }
    }
}

TEST_F(GeometryTest, EnableZoomSwitchesOnlyOnAChange) {
    InitFilterStack(0, 1, 1);
    ASSERT_EQ(SetFrameSize(320, 240, 24), 1);
    EXPECT_EQ(EnableZoom(0), 0);
    EXPECT_TRUE(BuffersReady());

    std::vector<uint8_t> frame(4 * 640 * 480);
    ASSERT_EQ(EnableZoom(5), 1);
    EXPECT_EQ(Settings().zoom, 5);
    EXPECT_FALSE(BuffersReady());
    EXPECT_EQ(teko::capture::CaptureFrameWait(frame.data()), 0);
    EXPECT_EQ(EnableZoom(1), 0);  // 5 already counts as on
    EXPECT_EQ(SetFrameSize(640, 480, 24), 1);
    EXPECT_EQ(EnableZoom(0), 1);
    EXPECT_EQ(SetFrameSize(640, 480, 24), 0);
}

TEST_F(GeometryTest, SwitchesTakeEffectAtTheNextSetFrameSize) {
    InitFilterStack(1, 1, 1);
    ASSERT_EQ(SetFrameSize(640, 480, 24), 1);
    InitFilterStack(0, 1, 1);
    SetRealizedFilter(1);
    EXPECT_TRUE(BuffersReady());
    EXPECT_EQ(ConfigurationCode(), 16 + 4 + 1);
    EXPECT_EQ(RawHeight(), 244);
    EXPECT_EQ(SetFrameSize(640, 480, 24), 0);
    EXPECT_TRUE(BuffersReady());
    EXPECT_EQ(RawHeight(), 244);
}

TEST_F(GeometryTest, SuccessDiscardsAnArmedFrameAndResetsTheModeCounter) {
    teko::api::Driver().framePending = 1;
    teko::api::Driver().modeCounter = 7;
    ASSERT_EQ(SetFrameSize(320, 240, 24), 1);
    EXPECT_EQ(teko::api::Driver().framePending, 0);
    EXPECT_EQ(teko::api::Driver().modeCounter, 0);
}

TEST(GeometryWithoutPort, SetFrameSizeRefusesWithoutTouchingThePort) {
    teko::api::ResetLibraryForTesting();
    teko::sim::VirtualCamera camera;
    ASSERT_TRUE(camera.Install());
    teko::api::Driver().framePending = 1;
    EXPECT_EQ(SetFrameSize(320, 240, 16), 0);
    EXPECT_EQ(camera.counters().reads + camera.counters().writes, 0u);
    EXPECT_EQ(GetFilterCount(), 0);
    EXPECT_EQ(Settings().outputDepth, 24);
    EXPECT_EQ(teko::api::Driver().framePending, 1);
    teko::api::ResetLibraryForTesting();
}

}  // namespace
