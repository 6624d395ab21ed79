// Driver state, the CCD-type record and the return to the state at load.
#include "api/driver_state.h"

#include "capture/capture.h"
#include "capture/capture_status.h"
#include "link/link.h"
#include "pipeline/pipeline.h"
#include "platform/platform.h"

namespace teko::api {
namespace {

constexpr int32_t kSkipLinesOnDiscard = 240;

DriverState gDriver;
ImageSettings gSettings;
CCcdType gCcdType;

}  // namespace

DriverState& Driver() {
    return gDriver;
}
ImageSettings& Settings() {
    return gSettings;
}
CCcdType& CcdType() {
    return gCcdType;
}

void DiscardPendingFrame() {
    if (gDriver.framePending == 0) return;
    link::SkipLines(kSkipLinesOnDiscard);
    gDriver.framePending = 0;
}

void CCcdType::DetectCcdType() {
    if (forced_.load(std::memory_order_relaxed) != 0) return;
    ccdType_.store(link::ReadSensorType(), std::memory_order_relaxed);
    ApplyCcdType();
}

void CCcdType::ApplyCcdType() {
    link::SetExtraLeadSample(link::ReadsExtraLeadSample(Type()) ? 1 : 0);
}

void CCcdType::ForceCcdType(int32_t flag, int32_t type) {
    forced_.store(flag, std::memory_order_relaxed);
    if (flag != 0 && type != Type()) {
        ccdType_.store(type, std::memory_order_relaxed);
        ApplyCcdType();
    }
}

void CCcdType::Reset() {
    forced_.store(0, std::memory_order_relaxed);
    ccdType_.store(0, std::memory_order_relaxed);
}

void ResetLibraryForTesting() {
    capture::ResetForTesting();
    capture::ResetCaptureStatus();
    pipeline::ResetForTesting();
    link::ResetForTesting();
    gDriver = DriverState{};
    gSettings.shutter.Reset(50);
    gSettings.brightness.Reset(12);
    gSettings.autoShutter.store(1, std::memory_order_relaxed);
    gCcdType.Reset();
    platform::ResetForTesting();
}

}  // namespace teko::api
