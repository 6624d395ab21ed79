// The fixture of the capture tests: the library at its load state, the
// scripted camera on the port, a test clock and a message recorder.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scripted_camera.h"
#include "support/library_fixture.h"
#include "support/message_recorder.h"
#include "support/test_clock.h"

namespace teko::testing {

class CaptureTest : public LibraryTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Sets the clock so that the next capture sees `idle` ms since the last transfer.
    void SetIdleTime(uint32_t idle);
    // The messages shown, each as "caption: text".
    std::vector<std::string> Messages() const;

    SteppingClock clock;
    std::unique_ptr<ScriptedCamera> camera;

  private:
    MessageRecorder messages_;
};

}  // namespace teko::testing
