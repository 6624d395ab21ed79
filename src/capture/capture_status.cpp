// The capture status: counters written by the capturing thread and read by
// any other, under one lock so that a reader sees them as one set.
#include "capture/capture_status.h"

#include <mutex>

#include "platform/platform.h"

namespace teko::capture {
namespace {

struct Counters {
    uint32_t frames = 0;
    uint32_t incompleteFrames = 0;
    uint32_t linesExpected = 0;
    uint32_t linesRead = 0;
    uint32_t failures = 0;
    uint32_t lastFrameMs = 0;
};

std::mutex gMutex;
Counters gCounters;

}  // namespace

void RecordCapture(const CaptureOutcome& outcome) {
    const std::lock_guard lock(gMutex);
    if (outcome.delivered) {
        ++gCounters.frames;
        if (outcome.linesRead < outcome.linesExpected) ++gCounters.incompleteFrames;
    } else {
        ++gCounters.failures;
    }
    gCounters.linesExpected = outcome.linesExpected;
    gCounters.linesRead = outcome.linesRead;
    gCounters.lastFrameMs = outcome.elapsedMs;
}

void ResetCaptureStatus() {
    {
        const std::lock_guard lock(gMutex);
        gCounters = Counters{};
    }
    platform::ClearLastMessage();
}

bool ReadCaptureStatus(TekoCaptureStatus* status) {
    if (status == nullptr || status->size != sizeof(TekoCaptureStatus)) return false;
    Counters counters;
    {
        const std::lock_guard lock(gMutex);
        counters = gCounters;
    }
    status->frames = counters.frames;
    status->incompleteFrames = counters.incompleteFrames;
    status->linesExpected = counters.linesExpected;
    status->linesRead = counters.linesRead;
    status->failures = counters.failures;
    status->lastFrameMs = counters.lastFrameMs;
    platform::CopyLastMessage(status->lastMessage);
    return true;
}

}  // namespace teko::capture
