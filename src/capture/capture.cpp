// The capture engine. TODO(capture): frames, exposure, the capture thread.
#include "capture/capture.h"

namespace teko::capture {

int32_t CaptureFrameWait(void* /*buffer*/) { return 0; }
int32_t AutoExposureStep(int32_t shutter) { return shutter; }
int32_t SetupCaptureIsr(void* /*buffer*/, uint16_t* /*flagWord*/) { return 0; }
void ResetForTesting() {}

}  // namespace teko::capture
