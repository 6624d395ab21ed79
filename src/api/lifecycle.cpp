// Opening and closing the camera.
#include "api/driver_state.h"
#include "capture/capture_status.h"
#include "link/link.h"
#include "pipeline/pipeline.h"
#include "platform/platform.h"
#include "teko32/teko32.h"

namespace teko::api {
namespace {

constexpr int kMaxProbedPorts = 4;
constexpr int32_t kGammaAtOpen = 18;

}  // namespace

uint32_t InitTeko(const uint16_t* ports) {
    DriverState& driver = Driver();
    if (driver.openCount != 0) return TEKO32_INIT_RESULT;
    capture::ResetCaptureStatus();

    pipeline::BuildGammaTable(kGammaAtOpen);
    pipeline::SetBuffersReady(false);
    pipeline::InitFilterStack(1, 1, 1);

    // A null list is an empty list. The link stays on the last port probed.
    for (int i = 0; ports != nullptr && i < kMaxProbedPorts && ports[i] != 0; ++i) {
        if (link::ProbePort(ports[i]) & link::kCameraPresent) break;
    }

    driver.openCount = 1;
    CcdType().DetectCcdType();
    driver.framePending = 0;
    driver.lastFrameEnd = platform::NowMs();
    return TEKO32_INIT_RESULT;
}

int32_t HaltTeko() {
    DriverState& driver = Driver();
    if (driver.openCount == 0) return 0;
    driver.openCount = 0;
    DiscardPendingFrame();
    pipeline::ReleaseFilterBuffers();
    pipeline::DestroyFilters();
    pipeline::SetBuffersReady(false);
    link::ReleasePort();
    return 1;
}

}  // namespace teko::api
