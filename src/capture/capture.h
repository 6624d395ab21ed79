// The capture engine: one frame from the camera into the client's buffer with
// automatic exposure, and the optional capture thread.
#pragma once

#include <cstdint>

namespace teko::capture {

// 1 when a frame was processed into `buffer`; 0 when refused or a camera
// register write failed (reported through the message handler).
int32_t CaptureFrameWait(void* buffer);
// The next shutter value from the last frame's statistics; updates the band.
int32_t AutoExposureStep(int32_t shutter);

// Starts (buffer not null) or stops (buffer null) the capture thread.
int32_t SetupCaptureIsr(void* buffer, uint16_t* flagWord);

// Stops a running capture thread and returns the capture state to its load values.
void ResetForTesting();

}  // namespace teko::capture
