// One capture against the scripted camera: arming on demand and running
// free, the register writes after a frame, and the failure paths.
#include <gtest/gtest.h>

#include <vector>

#include "api/driver_state.h"
#include "capture/capture.h"
#include "capture_fixture.h"
#include "pipeline/pipeline.h"
#include "teko32/teko32.h"

namespace {

using teko::testing::RecordingStage;
using teko::testing::Wire;
using teko::testing::WireEvent;

constexpr int32_t kShutterRegister = 10;
constexpr int32_t kBrightnessRegister = 8;
constexpr int32_t kRawWidth = 16;
constexpr int32_t kRawHeight = 6;

class CaptureFrameTest : public teko::testing::CaptureTest {
  protected:
    void SetUp() override {
        CaptureTest::SetUp();
        stage = teko::testing::InstallTestStack(kRawWidth, kRawHeight);
        client.assign(RecordingStage::kFrameBytes, kUntouched);
    }

    // The wire events of one capture after `idle` ms, without the sample reads.
    std::vector<Wire> CaptureAfter(uint32_t idle) {
        camera->Clear();
        SetIdleTime(idle);
        EXPECT_EQ(CaptureFrameWait(client.data()), 1);
        std::vector<Wire> kinds;
        for (const WireEvent& e : camera->events) {
            if (e.kind != Wire::RegisterWrite) kinds.push_back(e.kind);
        }
        return kinds;
    }

    static constexpr uint8_t kUntouched = 0xA5;
    RecordingStage* stage = nullptr;
    std::vector<uint8_t> client;
};

TEST_F(CaptureFrameTest, FirstCaptureWritesShutterFromAutoExposureThenBrightness) {
    SetIdleTime(1000);
    ASSERT_EQ(CaptureFrameWait(client.data()), 1);
    // A dark frame (samples below the threshold) is very dark: 50 + step 20.
    const std::vector<WireEvent> expected = {{Wire::RegisterWrite, kShutterRegister, 70},
                                             {Wire::RegisterWrite, kBrightnessRegister, 12}};
    EXPECT_EQ(camera->RegisterWrites(), expected);
    EXPECT_EQ(GetShutterSpeed(), 70);
    EXPECT_EQ(client, std::vector<uint8_t>(RecordingStage::kFrameBytes, 1));
    EXPECT_EQ(teko::pipeline::OutputStage()->workBuffer, nullptr);
    EXPECT_FALSE(camera->interruptsMasked);

    // Nothing pending and the automatic shutter off: no register is written.
    EnableAutoShutterSpeed(0);
    camera->Clear();
    ASSERT_EQ(CaptureFrameWait(client.data()), 1);
    EXPECT_TRUE(camera->RegisterWrites().empty());
    // A value set while automatic shutter is off is written unchanged.
    SetShutterSpeed(0x1234);
    SetBrightNess(31);
    camera->Clear();
    ASSERT_EQ(CaptureFrameWait(client.data()), 1);
    const std::vector<WireEvent> set = {{Wire::RegisterWrite, kShutterRegister, 0x1234},
                                        {Wire::RegisterWrite, kBrightnessRegister, 0}};
    EXPECT_EQ(camera->RegisterWrites(), set);
}

TEST_F(CaptureFrameTest, SwitchesToFreeRunningAndBack) {
    // Start just before the clock wraps, so idle times are taken across the wrap.
    teko::api::Driver().lastFrameEnd = 0xFFFFFFE0u;
    const std::vector<Wire> onDemand = {Wire::StartFrame, Wire::SampleRead, Wire::FilterRun};
    for (int call = 1; call <= 5; ++call) {
        SCOPED_TRACE(call);
        EXPECT_EQ(CaptureAfter(69), onDemand);
        EXPECT_EQ(teko::api::Driver().modeCounter, 2 * call);
    }
    // The sixth fast call switches and arms the next frame before the filters run.
    const std::vector<Wire> switching = {Wire::StartFrame, Wire::SampleRead, Wire::StartFrame,
                                         Wire::FilterRun};
    EXPECT_EQ(CaptureAfter(69), switching);
    EXPECT_EQ(teko::api::Driver().freeRun, 1);
    EXPECT_EQ(teko::api::Driver().modeCounter, 0);

    // Free-running: the armed frame is read, the next one armed at once.
    const std::vector<Wire> freeRunning = {Wire::SampleRead, Wire::StartFrame, Wire::FilterRun};
    EXPECT_EQ(CaptureAfter(160), freeRunning);
    EXPECT_EQ(CaptureAfter(30), freeRunning);
    EXPECT_EQ(teko::api::Driver().modeCounter, 0);

    // Slow calls find a stale frame ready: skip it and arm anew; the sixth switches back.
    const std::vector<Wire> stale = {Wire::SkipLine, Wire::StartFrame, Wire::SampleRead,
                                     Wire::StartFrame, Wire::FilterRun};
    for (int call = 1; call <= 5; ++call) {
        SCOPED_TRACE(call);
        EXPECT_EQ(CaptureAfter(161), stale);
        EXPECT_EQ(teko::api::Driver().freeRun, 1);
    }
    EXPECT_EQ(teko::api::Driver().modeCounter, 10);
    const std::vector<Wire> switchingBack = {Wire::SkipLine, Wire::StartFrame, Wire::SampleRead,
                                             Wire::FilterRun};
    EXPECT_EQ(CaptureAfter(161), switchingBack);
    EXPECT_EQ(teko::api::Driver().freeRun, 0);
    EXPECT_EQ(teko::api::Driver().modeCounter, 0);
    EXPECT_EQ(camera->skipLineWrites, 6u * 240u * 4u);  // four holds per skipped line
}

TEST_F(CaptureFrameTest, LeakyCounterAndReadyLine) {
    // On demand, a call 70 ms or more after the last transfer lowers the counter.
    teko::api::Driver().modeCounter = 8;
    CaptureAfter(70);
    EXPECT_EQ(teko::api::Driver().modeCounter, 7);
    teko::api::Driver().modeCounter = 0;
    CaptureAfter(5000);
    EXPECT_EQ(teko::api::Driver().modeCounter, 0);

    // Free-running and slow, but the camera reports no frame ready: no skip.
    teko::api::Driver().freeRun = 1;
    teko::api::Driver().framePending = 1;
    teko::api::Driver().modeCounter = 3;
    camera->lineReady = false;
    camera->Clear();
    SetIdleTime(500);
    CaptureFrameWait(client.data());
    EXPECT_EQ(camera->skipLineWrites, 0u);
    EXPECT_EQ(teko::api::Driver().modeCounter, 2);
}

TEST_F(CaptureFrameTest, RefusedShutterWriteFailsEveryCaptureAndKeepsState) {
    camera->refusedRegisters = {kShutterRegister, kBrightnessRegister};
    auto& driver = teko::api::Driver();
    driver.processingTime = 7;
    driver.lastFrameEnd = 100;
    for (int call = 1; call <= 3; ++call) {
        SCOPED_TRACE(call);
        camera->Clear();
        SetIdleTime(200);
        EXPECT_EQ(CaptureFrameWait(client.data()), 0);
        const std::vector<WireEvent> tried = {{Wire::RegisterRefused, kShutterRegister}};
        EXPECT_EQ(camera->RegisterWrites(), tried);
        // Nothing armed after the read, no filter run, the buffer untouched.
        EXPECT_EQ(camera->events.back().kind, Wire::RegisterRefused);
        EXPECT_EQ(stage->runs.load(), 0);
        EXPECT_EQ(client, std::vector<uint8_t>(RecordingStage::kFrameBytes, kUntouched));
        EXPECT_EQ(driver.framePending, 0);
        EXPECT_EQ(driver.processingTime, 7u);
        EXPECT_EQ(driver.lastFrameEnd, 100u);
        EXPECT_TRUE(teko::api::Settings().shutter.Load().pending);
        EXPECT_TRUE(teko::api::Settings().brightness.Load().pending);
        EXPECT_EQ(teko::pipeline::OutputStage()->workBuffer, nullptr);
    }
    EXPECT_EQ(Messages(), std::vector<std::string>(3, "NOTE: Set ShutterSpeed Fail!"));
}

TEST_F(CaptureFrameTest, RefusedBrightnessWriteKeepsOnlyBrightnessPending) {
    camera->refusedRegisters = {kBrightnessRegister};
    EnableAutoShutterSpeed(0);
    SetIdleTime(200);
    EXPECT_EQ(CaptureFrameWait(client.data()), 0);
    EXPECT_EQ(Messages(), std::vector<std::string>{"NOTE: Set BrightNess Fail!"});
    EXPECT_FALSE(teko::api::Settings().shutter.Load().pending);
    EXPECT_TRUE(teko::api::Settings().brightness.Load().pending);
    EXPECT_EQ(stage->runs.load(), 0);

    // The next capture writes only the brightness.
    camera->refusedRegisters.clear();
    camera->Clear();
    EXPECT_EQ(CaptureFrameWait(client.data()), 1);
    const std::vector<WireEvent> retried = {{Wire::RegisterWrite, kBrightnessRegister, 12}};
    EXPECT_EQ(camera->RegisterWrites(), retried);
}

TEST_F(CaptureFrameTest, FreeRunningAfterFailedWriteArmsAtOnceWithoutModeEvent) {
    auto& driver = teko::api::Driver();
    driver.freeRun = 1;
    driver.framePending = 1;
    driver.modeCounter = 4;
    camera->refusedRegisters = {kShutterRegister};
    SetIdleTime(10);
    EXPECT_EQ(CaptureFrameWait(client.data()), 0);
    EXPECT_EQ(driver.framePending, 0);
    EXPECT_EQ(driver.modeCounter, 3);

    camera->refusedRegisters.clear();
    const std::vector<Wire> rearmed = {Wire::StartFrame, Wire::SampleRead, Wire::StartFrame,
                                       Wire::FilterRun};
    EXPECT_EQ(CaptureAfter(500), rearmed);
    EXPECT_EQ(driver.modeCounter, 3);
    EXPECT_EQ(driver.framePending, 1);
}

TEST_F(CaptureFrameTest, RefusedWithoutSizedPipelineOrBuffer) {
    // A null buffer is refused even with a sized stack.
    EXPECT_EQ(CaptureFrameWait(nullptr), 0);
    EXPECT_EQ(camera->portAccesses, 0u);
    EXPECT_EQ(stage->runs.load(), 0);

    teko::pipeline::SetBuffersReady(false);
    const auto before = teko::api::Driver();
    EXPECT_EQ(CaptureFrameWait(client.data()), 0);
    EXPECT_EQ(camera->portAccesses, 0u);
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(client, std::vector<uint8_t>(RecordingStage::kFrameBytes, kUntouched));
    EXPECT_EQ(teko::api::Driver().lastFrameEnd, before.lastFrameEnd);
    EXPECT_EQ(teko::api::Driver().modeCounter, before.modeCounter);
    EXPECT_TRUE(teko::api::Settings().shutter.Load().pending);
}

TEST_F(CaptureFrameTest, LineThatNeverComesEndsWithinItsPollLimit) {
    camera->lineReady = false;
    SetIdleTime(1000);
    // The transfer's failure is not a capture failure: the stack runs over the old samples.
    EXPECT_EQ(CaptureFrameWait(client.data()), 1);
    EXPECT_EQ(stage->runs.load(), 1);
    // The first line's look plus its long wait; the register writes poll once each.
    EXPECT_GE(camera->statusReads, teko::link::kFirstLineAckPolls);
    EXPECT_LE(camera->statusReads, teko::link::kFirstLineAckPolls + 1 + 2);
    EXPECT_FALSE(camera->interruptsMasked);
}

}  // namespace
