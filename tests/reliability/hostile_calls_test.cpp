// Every entry with extreme arguments and in the wrong order: each refuses
// what it cannot use with its refusal value, touches no port it has not
// probed, and leaves the library able to capture.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "api/driver_state.h"
#include "link/link.h"
#include "pipeline/pipeline.h"
#include "support/hostile_cases.h"
#include "support/library_fixture.h"
#include "support/message_recorder.h"
#include "support/row_size.h"
#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"
#include "teko32sim/virtual_camera.h"

namespace {

using teko::testing::hostile::kDepthRgb24;
using teko::testing::hostile::kDepthRgb555;
using teko::testing::hostile::kExtremes;
using teko::testing::hostile::kMax;
using teko::testing::hostile::kMin;
using teko::testing::hostile::kSizes;
using teko::testing::hostile::SizeCase;

constexpr uint16_t kPort = 0x378;

std::size_t BufferBytes(int32_t width, int32_t height, int32_t depth) {
    const int32_t bytesPerPixel = depth == kDepthRgb24 ? 3 : 2;
    return teko::testing::PaddedPictureBytes(bytesPerPixel, width, height);
}

class HostileCallsTest : public teko::testing::LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        camera = std::make_unique<teko::sim::VirtualCamera>();
        ASSERT_TRUE(camera->Install());
        messages.Install();
    }
    void TearDown() override {
        SetupCaptureIsr(0, nullptr, nullptr, 0);
        HaltTeko(0);
        LibraryTest::TearDown();
        camera.reset();
    }

    void Open() {
        const uint16_t ports[] = {kPort, 0};
        ASSERT_EQ(InitTeko(ports), TEKO32_INIT_RESULT);
    }
    // Sizes the picture and captures one frame into a buffer of its size.
    int32_t SizeAndCapture(int32_t zoom, int32_t width, int32_t height, int32_t depth) {
        InitFilterStack(zoom, 1, 1);
        if (SetFrameSize(width, height, depth) != 1) return -1;
        return Capture(width, height, depth);
    }
    int32_t Capture(int32_t width, int32_t height, int32_t depth) {
        buffer.assign(std::max<std::size_t>(1, BufferBytes(width, height, depth)), 0);
        return CaptureFrameWait(buffer.data());
    }
    uint64_t PortAccesses() const { return camera->counters().reads + camera->counters().writes; }

    std::unique_ptr<teko::sim::VirtualCamera> camera;
    std::vector<uint8_t> buffer;
    teko::testing::MessageRecorder messages;
};

TEST_F(HostileCallsTest, ExtremeSettingsNeverBreakACapture) {
    Open();
    ASSERT_EQ(SizeAndCapture(0, 160, 120, kDepthRgb24), 1);
    for (const int32_t value : kExtremes) {
        SCOPED_TRACE(value);
        EXPECT_EQ(SetShutterSpeed(value), value);
        EXPECT_EQ(GetShutterSpeed(), value);
        SetBrightNess(value);
        const int32_t brightness = teko::api::Settings().brightness.Value();
        EXPECT_GE(brightness, 0);
        EXPECT_LE(brightness, 31);
        EXPECT_EQ(SetShutterThreshold(value), value);
        EXPECT_EQ(SetRedScale(value), value);
        EXPECT_EQ(SetBlueScale(value), value);
        EXPECT_EQ(SetGamma(value), 0);
        EXPECT_EQ(EnableAutoShutterSpeed(0), 0);
        ForceCCDType(value, value);
        SetRealizedFilter(value);
        EXPECT_EQ(EnableIsr(value), 1);
        // Any nonzero switch is on; 160 x 120 fits zoomed and unzoomed.
        InitFilterStack(value, value, value);
        ASSERT_EQ(SetFrameSize(160, 120, kDepthRgb24), 1);
        EXPECT_EQ(Capture(160, 120, kDepthRgb24), 1);
        // The register takes the low 16 bits of the value the client set.
        EXPECT_EQ(camera->RegisterValue(10), value & 0xFFFF);
        EnableAutoShutterSpeed(value);
        EXPECT_EQ(Capture(160, 120, kDepthRgb24), 1);
    }
    EXPECT_EQ(messages.Lines(), std::vector<std::string>{});
    EXPECT_FALSE(camera->InterruptsMasked());
}

TEST_F(HostileCallsTest, GammaIsAcceptedOnlyInItsRange) {
    for (const int32_t gamma : {5, 6, 18, 59, 60, -6, kMin, kMax}) {
        EXPECT_EQ(SetGamma(gamma), gamma >= 6 && gamma <= 59 ? 1 : 0) << gamma;
    }
}

TEST_F(HostileCallsTest, SizesPastTheLimitsAreRefusedAndKeepThePreviousSize) {
    Open();
    for (const SizeCase& size : kSizes) {
        SCOPED_TRACE(::testing::Message() << "zoom " << size.zoom << " " << size.width << "x"
                                          << size.height << " depth " << size.depth);
        InitFilterStack(size.zoom, 1, 1);
        ASSERT_EQ(SetFrameSize(160, 120, kDepthRgb24), 1);
        EXPECT_EQ(SetFrameSize(size.width, size.height, size.depth), size.result);
        if (size.result == 1) {
            EXPECT_EQ(Capture(size.width, size.height, size.depth), 1);
        } else {
            EXPECT_EQ(Capture(160, 120, kDepthRgb24), 1);
        }
    }
    EXPECT_EQ(messages.Lines(), std::vector<std::string>{});
}

TEST_F(HostileCallsTest, NullPointersAreRefused) {
    EXPECT_EQ(InitTeko(nullptr), TEKO32_INIT_RESULT);  // an empty list: opens, probes nothing
    EXPECT_EQ(PortAccesses(), 0u);
    EXPECT_EQ(SetFrameSize(160, 120, kDepthRgb24), 0);
    EXPECT_EQ(CaptureFrameWait(nullptr), 0);
    EXPECT_EQ(HaltTeko(0), 1);
    EXPECT_EQ(PortAccesses(), 0u);

    Open();
    ASSERT_EQ(SizeAndCapture(0, 160, 120, kDepthRgb24), 1);
    const uint64_t accesses = PortAccesses();
    EXPECT_EQ(CaptureFrameWait(nullptr), 0);
    EXPECT_EQ(PortAccesses(), accesses);
    uint16_t flag = 1;
    EXPECT_EQ(SetupCaptureIsr(0, buffer.data(), nullptr, 0), 0);
    EXPECT_EQ(SetupCaptureIsr(kMin, nullptr, &flag, kMax), 1);  // a stop with nothing running
    EXPECT_EQ(SetupCaptureIsr(0, nullptr, nullptr, 0), 1);
    EXPECT_EQ(flag, 1);

    EXPECT_EQ(TekoGetCaptureStatus(nullptr), 0);
    for (const uint32_t size : {0u, uint32_t{sizeof(TekoCaptureStatus) - 1},
                                uint32_t{sizeof(TekoCaptureStatus) + 1}, 0xFFFFFFFFu}) {
        TekoCaptureStatus status{};
        status.size = size;
        status.frames = 77;
        EXPECT_EQ(TekoGetCaptureStatus(&status), 0) << size;
        EXPECT_EQ(status.frames, 77u) << "a refused call must not write";
    }

    const TekoPortIo incomplete{};
    EXPECT_EQ(TekoSetPortIo(&incomplete), 0);
    EXPECT_EQ(TekoSetAllocator(
                  nullptr, [](void*, void*) {}, nullptr),
              0);
    // The refused tables changed nothing: the camera still answers.
    EXPECT_EQ(Capture(160, 120, kDepthRgb24), 1);
    EXPECT_EQ(messages.Lines(), std::vector<std::string>{});
}

// The capture status counts from InitTeko, and times a capture from its call
// to its return on the client's clock.
TEST_F(HostileCallsTest, CaptureStatusCountsSinceInitTekoAndTimesTheLastCapture) {
    std::atomic<uint32_t> ticks{1000};  // one millisecond per clock read
    TekoSetClock(
        [](void* context) -> uint32_t { return (*static_cast<std::atomic<uint32_t>*>(context))++; },
        &ticks);
    Open();
    ASSERT_EQ(SizeAndCapture(0, 160, 120, kDepthRgb24), 1);
    const uint32_t before = ticks.load();
    ASSERT_EQ(Capture(160, 120, kDepthRgb24), 1);
    const uint32_t after = ticks.load();

    TekoCaptureStatus status{};
    status.size = sizeof status;
    ASSERT_EQ(TekoGetCaptureStatus(&status), 1);
    EXPECT_EQ(status.frames, 2u);
    EXPECT_EQ(status.incompleteFrames, 0u);
    EXPECT_EQ(status.failures, 0u);
    EXPECT_EQ(status.linesRead, status.linesExpected);
    EXPECT_EQ(status.linesExpected, static_cast<uint32_t>(teko::pipeline::RawHeight()));
    // The first clock read of the call and its last one.
    EXPECT_EQ(status.lastFrameMs, after - 1 - before);
    EXPECT_STREQ(status.lastMessage, "");

    ASSERT_EQ(HaltTeko(0), 1);
    Open();
    ASSERT_EQ(TekoGetCaptureStatus(&status), 1);
    EXPECT_EQ(status.frames, 0u);
    EXPECT_EQ(status.linesExpected, 0u);
    EXPECT_EQ(status.lastFrameMs, 0u);
    TekoSetClock(nullptr, nullptr);
}

TEST_F(HostileCallsTest, CallsInTheWrongOrderAreRefusedWithoutPortAccess) {
    std::vector<uint8_t> frame(BufferBytes(160, 120, kDepthRgb24));
    EXPECT_EQ(CaptureFrameWait(frame.data()), 0);
    EXPECT_EQ(SetFrameSize(160, 120, kDepthRgb24), 0);
    EXPECT_EQ(HaltTeko(0), 0);
    EXPECT_EQ(EnableZoom(1), 1);
    EXPECT_EQ(EnableZoom(1), 0);
    EXPECT_EQ(CaptureFrameWait(frame.data()), 0);
    EXPECT_EQ(PortAccesses(), 0u);

    Open();
    const uint64_t afterProbe = PortAccesses();
    const uint16_t ports[] = {kPort, 0};
    EXPECT_EQ(InitTeko(ports), TEKO32_INIT_RESULT);  // already open: probes nothing
    EXPECT_EQ(PortAccesses(), afterProbe);
    EXPECT_EQ(CaptureFrameWait(frame.data()), 0);  // not sized yet
    EXPECT_EQ(PortAccesses(), afterProbe);

    ASSERT_EQ(SizeAndCapture(0, 160, 120, kDepthRgb24), 1);
    EXPECT_EQ(HaltTeko(0), 1);
    EXPECT_EQ(HaltTeko(0), 0);
    const uint64_t afterHalt = PortAccesses();
    EXPECT_EQ(CaptureFrameWait(frame.data()), 0);
    EXPECT_EQ(SetFrameSize(160, 120, kDepthRgb24), 0);
    EXPECT_EQ(PortAccesses(), afterHalt);

    // A reopened library needs a new size before it captures.
    Open();
    EXPECT_EQ(CaptureFrameWait(frame.data()), 0);
    EXPECT_EQ(SizeAndCapture(0, 160, 120, kDepthRgb24), 1);
    EXPECT_EQ(messages.Lines(), std::vector<std::string>{});
}

TEST_F(HostileCallsTest, ZoomBetweenCapturesUnsizesThePicture) {
    Open();
    ASSERT_EQ(SizeAndCapture(0, 160, 120, kDepthRgb24), 1);
    EXPECT_EQ(EnableZoom(0), 0);  // unchanged: the size stays
    EXPECT_EQ(Capture(160, 120, kDepthRgb24), 1);
    EXPECT_EQ(EnableZoom(kMin), 1);
    EXPECT_FALSE(teko::pipeline::BuffersReady());
    const uint64_t accesses = PortAccesses();
    EXPECT_EQ(Capture(160, 120, kDepthRgb24), 0);
    EXPECT_EQ(PortAccesses(), accesses);
    EXPECT_EQ(EnableZoom(kMax), 0);
    ASSERT_EQ(SetFrameSize(640, 480, kDepthRgb24), 1);
    EXPECT_EQ(Capture(640, 480, kDepthRgb24), 1);
    EXPECT_EQ(EnableZoom(0), 1);
    EXPECT_EQ(SetFrameSize(640, 480, kDepthRgb24), 0);  // past the unzoomed limit
    ASSERT_EQ(SetFrameSize(320, 240, kDepthRgb24), 1);
    EXPECT_EQ(Capture(320, 240, kDepthRgb24), 1);
    EXPECT_EQ(messages.Lines(), std::vector<std::string>{});
}

// The clock is read inside every capture: a clock that changes the settings
// makes settings calls that land in the middle of captures, deterministically.
struct MidCapture {
    int32_t calls = 0;
    int32_t lastShutter = 0;
};

uint32_t TEKO32_CALL MeddlingClock(void* context) {
    auto* state = static_cast<MidCapture*>(context);
    const int32_t n = ++state->calls;
    state->lastShutter = kExtremes[static_cast<std::size_t>(n) % std::size(kExtremes)];
    SetShutterSpeed(state->lastShutter);
    SetBrightNess(n % 2 == 0 ? kMin : kMax);
    SetRedScale(n % 2 == 0 ? kMax : kMin);
    SetBlueScale(n % 2 == 0 ? kMin : kMax);
    SetShutterThreshold(n % 2 == 0 ? kMax : kMin);
    SetGamma(n % 60);
    return static_cast<uint32_t>(n) * 1000u;
}

TEST_F(HostileCallsTest, SettingsChangedDuringCapturesAreKeptAndWrittenNext) {
    Open();
    ASSERT_EQ(SizeAndCapture(0, 160, 120, kDepthRgb24), 1);
    EnableAutoShutterSpeed(0);
    MidCapture state;
    TekoSetClock(MeddlingClock, &state);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Capture(160, 120, kDepthRgb24), 1);
    TekoSetClock(nullptr, nullptr);
    EXPECT_GT(state.calls, 0);
    // The value set last, during the last capture, waits for the next one.
    EXPECT_EQ(GetShutterSpeed(), state.lastShutter);
    EXPECT_EQ(Capture(160, 120, kDepthRgb24), 1);
    EXPECT_EQ(camera->RegisterValue(10), state.lastShutter & 0xFFFF);
    EXPECT_EQ(messages.Lines(), std::vector<std::string>{});
    EXPECT_FALSE(camera->InterruptsMasked());
}

}  // namespace
