// The fixture of the capture tests: the library at its load state, the
// scripted camera on the port, a test clock and a message recorder.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "scripted_camera.h"
#include "support/library_fixture.h"

namespace teko::testing {

class CaptureTest : public LibraryTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Sets the clock so that the next capture sees `idle` ms since the last transfer.
    void SetIdleTime(uint32_t idle);
    std::vector<std::string> Messages();

    std::atomic<uint32_t> clockMs{0};
    std::unique_ptr<ScriptedCamera> camera;

  private:
    static uint32_t TEKO32_CALL Clock(void* context);
    static void TEKO32_CALL Message(void* context, const char* text, const char* caption);
    std::mutex messageLock_;
    std::vector<std::string> messages_;
};

}  // namespace teko::testing
