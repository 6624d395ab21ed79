#include "capture_fixture.h"

#include "api/driver_state.h"

namespace teko::testing {

void CaptureTest::SetUp() {
    LibraryTest::SetUp();
    camera = std::make_unique<ScriptedCamera>();
    // Each reading advances the clock by 1 ms, so a capture has a processing time.
    clock.Install();
    messages_.Install();
}

void CaptureTest::TearDown() {
    LibraryTest::TearDown();
    camera.reset();
}

void CaptureTest::SetIdleTime(uint32_t idle) {
    const api::DriverState& driver = api::Driver();
    clock.Set(driver.lastFrameEnd + idle - driver.processingTime);
}

std::vector<std::string> CaptureTest::Messages() const {
    return messages_.Lines();
}

}  // namespace teko::testing
