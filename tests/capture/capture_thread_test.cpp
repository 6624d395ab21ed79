// The capture thread: one capture per cleared flag word, the word set only
// after the frame is complete, and stop and restart requests that wait for
// a capture in progress.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "api/driver_state.h"
#include "capture/capture.h"
#include "capture_fixture.h"
#include "pipeline/pipeline.h"
#include "teko32/teko32.h"

namespace {

using teko::testing::RecordingStage;
using FlagRef = std::atomic_ref<uint16_t>;

constexpr uint8_t kUntouched = 0xA5;

void WaitUntil(const auto& condition) {
    while (!condition())
        std::this_thread::yield();
}

uint16_t ReadFlag(uint16_t& word) {
    return FlagRef(word).load(std::memory_order_acquire);
}
void RequestFrame(uint16_t& word) {
    FlagRef(word).store(0, std::memory_order_release);
}

class CaptureThreadTest : public teko::testing::CaptureTest {
  protected:
    void SetUp() override {
        CaptureTest::SetUp();
        stage = teko::testing::InstallTestStack(16, 6);
        EnableAutoShutterSpeed(0);
    }

    std::vector<uint8_t> Frame() { return std::vector<uint8_t>(RecordingStage::kFrameBytes); }

    RecordingStage* stage = nullptr;
    alignas(4) uint16_t flag = 1;
};

TEST_F(CaptureThreadTest, OneCapturePerClearedWord) {
    std::vector<uint8_t> frame = Frame();
    ASSERT_EQ(SetupCaptureIsr(0, frame.data(), &flag, 0), 1);
    for (int request = 1; request <= 3; ++request) {
        RequestFrame(flag);
        WaitUntil([&] { return ReadFlag(flag) == 1; });
        // The whole frame is in the buffer once the word reads 1.
        EXPECT_EQ(frame, std::vector<uint8_t>(frame.size(), static_cast<uint8_t>(request)));
    }
    EXPECT_EQ(SetupCaptureIsr(0, nullptr, &flag, 0), 1);
    EXPECT_EQ(stage->runs.load(), 3);                       // nothing while the word stayed 1
    EXPECT_EQ(SetupCaptureIsr(0, nullptr, nullptr, 0), 1);  // a stop with no thread
}

TEST_F(CaptureThreadTest, WordBecomesOneOnlyAfterTheFrameAndStopWaitsForIt) {
    std::vector<uint8_t> frame = Frame();
    ASSERT_EQ(SetupCaptureIsr(0, frame.data(), &flag, 0), 1);
    stage->hold = true;
    RequestFrame(flag);
    WaitUntil([&] { return stage->inside.load() == 1; });
    EXPECT_EQ(ReadFlag(flag), 0);

    // Stop while the capture is held: the stop returns only after the word is 1.
    std::atomic<int> flagWhenStopped{-1};
    std::thread stopper([&] {
        SetupCaptureIsr(0, nullptr, &flag, 0);
        flagWhenStopped = ReadFlag(flag);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // room for an early return
    EXPECT_EQ(flagWhenStopped.load(), -1);
    stage->hold = false;
    stopper.join();
    EXPECT_EQ(flagWhenStopped.load(), 1);
    EXPECT_EQ(frame, std::vector<uint8_t>(frame.size(), 1));

    // Stopped: a cleared word stays 0.
    RequestFrame(flag);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(ReadFlag(flag), 0);
    EXPECT_EQ(stage->runs.load(), 1);
}

TEST_F(CaptureThreadTest, StartWhileRunningEndsTheOldThreadFirst) {
    std::vector<uint8_t> first = Frame();
    std::vector<uint8_t> second = Frame();
    alignas(4) uint16_t secondFlag = 1;
    ASSERT_EQ(SetupCaptureIsr(0, first.data(), &flag, 0), 1);
    stage->hold = true;
    RequestFrame(flag);
    WaitUntil([&] { return stage->inside.load() == 1; });

    std::atomic<int> oldFlagWhenStarted{-1};
    std::thread restarter([&] {
        EXPECT_EQ(SetupCaptureIsr(0, second.data(), &secondFlag, 0), 1);
        oldFlagWhenStarted = ReadFlag(flag);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(oldFlagWhenStarted.load(), -1);
    stage->hold = false;
    restarter.join();
    EXPECT_EQ(oldFlagWhenStarted.load(), 1);

    // Only the new thread answers, into the new buffer.
    RequestFrame(flag);
    RequestFrame(secondFlag);
    WaitUntil([&] { return ReadFlag(secondFlag) == 1; });
    EXPECT_EQ(second, std::vector<uint8_t>(second.size(), 2));
    EXPECT_EQ(SetupCaptureIsr(0, nullptr, &secondFlag, 0), 1);
    EXPECT_EQ(ReadFlag(flag), 0);
    EXPECT_EQ(stage->maxInside.load(), 1);
}

TEST_F(CaptureThreadTest, UnusableFlagWordIsRefused) {
    std::vector<uint8_t> frame = Frame();
    EXPECT_EQ(SetupCaptureIsr(0, frame.data(), nullptr, 0), 0);
    alignas(4) uint8_t bytes[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    auto* misaligned = reinterpret_cast<uint16_t*>(bytes + 1);
    EXPECT_EQ(SetupCaptureIsr(0, frame.data(), misaligned, 0), 0);
    EXPECT_EQ(stage->runs.load(), 0);
    EXPECT_EQ(EnableIsr(12345), 1);
}

struct StopFromHandler {
    uint16_t* flag;
    std::atomic<int32_t> stopResult{-1};
    std::atomic<int32_t> startResult{-1};
};

void TEKO32_CALL StopCaptures(void* context, const char*, const char*) {
    auto* self = static_cast<StopFromHandler*>(context);
    std::vector<uint8_t> other(RecordingStage::kFrameBytes);
    alignas(4) uint16_t otherFlag = 1;
    self->startResult = SetupCaptureIsr(0, other.data(), &otherFlag, 0);
    self->stopResult = SetupCaptureIsr(0, nullptr, self->flag, 0);
}

TEST_F(CaptureThreadTest, FailureMessageHandlerMayStopTheThread) {
    // The handler runs on the capture thread: its stop ends the thread after
    // this capture, and a start from there is refused.
    camera->refusedRegisters = {10};
    SetShutterSpeed(60);
    StopFromHandler handler{&flag};
    TekoSetMessageHandler(StopCaptures, &handler);
    std::vector<uint8_t> frame = Frame();
    ASSERT_EQ(SetupCaptureIsr(0, frame.data(), &flag, 0), 1);
    RequestFrame(flag);
    WaitUntil([&] { return ReadFlag(flag) == 1; });
    EXPECT_EQ(handler.startResult.load(), 0);
    EXPECT_EQ(handler.stopResult.load(), 1);
    RequestFrame(flag);  // the thread has ended or is ending: nothing more is captured
    EXPECT_EQ(SetupCaptureIsr(0, nullptr, &flag, 0), 1);
    EXPECT_EQ(ReadFlag(flag), 0);
}

TEST_F(CaptureThreadTest, WithoutSizedPipelineTheWordStillBecomesOne) {
    teko::pipeline::SetBuffersReady(false);
    std::vector<uint8_t> frame(RecordingStage::kFrameBytes, kUntouched);
    ASSERT_EQ(SetupCaptureIsr(0, frame.data(), &flag, 0), 1);
    for (int request = 0; request < 2; ++request) {
        RequestFrame(flag);
        WaitUntil([&] { return ReadFlag(flag) == 1; });
    }
    EXPECT_EQ(SetupCaptureIsr(0, nullptr, &flag, 0), 1);
    EXPECT_EQ(frame, std::vector<uint8_t>(frame.size(), kUntouched));
    EXPECT_EQ(camera->portAccesses, 0u);
}

TEST_F(CaptureThreadTest, SettingsEntriesFromAnotherThreadDuringCaptures) {
    std::vector<uint8_t> frame = Frame();
    ASSERT_EQ(SetupCaptureIsr(0, frame.data(), &flag, 0), 1);
    std::atomic<bool> done{false};
    std::thread settings([&] {
        for (int32_t i = 0; !done.load(); ++i) {
            SetShutterSpeed(100 + (i & 63));
            SetBrightNess(i & 31);
            SetShutterThreshold(60 + (i & 15));
            SetRedScale(60 + (i & 7));
            SetBlueScale(60 + (i & 7));
            EnableAutoShutterSpeed(i & 1);
            SetGamma(10 + (i & 15));
            ForceCCDType(1, (i & 1) ? 2 : 0);
            GetShutterSpeed();
            GetCCDType();
        }
    });
    for (int request = 0; request < 20; ++request) {
        RequestFrame(flag);
        WaitUntil([&] { return ReadFlag(flag) == 1; });
    }
    done = true;
    settings.join();
    EXPECT_EQ(SetupCaptureIsr(0, nullptr, &flag, 0), 1);
    EXPECT_EQ(stage->runs.load(), 20);

    // The last values set reach the camera at the next capture.
    EnableAutoShutterSpeed(0);
    SetShutterSpeed(321);
    SetBrightNess(20);
    camera->Clear();
    ASSERT_EQ(CaptureFrameWait(frame.data()), 1);
    const std::vector<teko::testing::WireEvent> written = {
        {teko::testing::Wire::RegisterWrite, 10, 321}, {teko::testing::Wire::RegisterWrite, 8, 11}};
    EXPECT_EQ(camera->RegisterWrites(), written);
}

}  // namespace
