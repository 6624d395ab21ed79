// What the captures since InitTeko did, for TekoGetCaptureStatus: how many
// returned a frame, how many of those arrived short, the last capture's line
// counts and duration, and the failed register writes.
#pragma once

#include <cstdint>

#include "teko32/teko32_ext.h"

namespace teko::capture {

struct CaptureOutcome {
    bool delivered = false;  // the capture returned 1
    uint32_t linesExpected = 0;
    uint32_t linesRead = 0;
    uint32_t elapsedMs = 0;
};

// Counts one capture that reached the camera (returned 1, or 0 after a failed
// register write).
void RecordCapture(const CaptureOutcome& outcome);
// Back to nothing captured and no message (InitTeko).
void ResetCaptureStatus();
// Fills *status; false for a null pointer or a size other than the struct's.
bool ReadCaptureStatus(TekoCaptureStatus* status);

}  // namespace teko::capture
