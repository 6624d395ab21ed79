#include "capture_fixture.h"

#include "api/driver_state.h"
#include "teko32/teko32_ext.h"

namespace teko::testing {

void CaptureTest::SetUp() {
    LibraryTest::SetUp();
    camera = std::make_unique<ScriptedCamera>();
    TekoSetClock(Clock, this);
    TekoSetMessageHandler(Message, this);
}

void CaptureTest::TearDown() {
    LibraryTest::TearDown();
    camera.reset();
}

void CaptureTest::SetIdleTime(uint32_t idle) {
    const api::DriverState& driver = api::Driver();
    clockMs.store(driver.lastFrameEnd + idle - driver.processingTime);
}

std::vector<std::string> CaptureTest::Messages() {
    std::lock_guard lock(messageLock_);
    return messages_;
}

uint32_t TEKO32_CALL CaptureTest::Clock(void* context) {
    // Each reading advances the clock by 1 ms, so a capture has a processing time.
    return static_cast<CaptureTest*>(context)->clockMs.fetch_add(1);
}

void TEKO32_CALL CaptureTest::Message(void* context, const char* text, const char* caption) {
    auto* self = static_cast<CaptureTest*>(context);
    std::lock_guard lock(self->messageLock_);
    self->messages_.push_back(std::string(caption) + ": " + text);
}

}  // namespace teko::testing
