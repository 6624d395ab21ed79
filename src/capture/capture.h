// The capture engine: one frame from the camera into the client's buffer with
// automatic exposure, and the optional capture thread.
#pragma once

#include <cstdint>

namespace teko::capture {

// 1 when a frame was processed into `buffer`; 0 when refused or a camera
// register write failed (reported through the message handler). Refused at
// once, touching nothing, while another capture or a rebuild holds the pipeline.
int32_t CaptureFrameWait(void* buffer);
// The capture itself, for a caller that holds the pipeline through a CaptureLease.
int32_t CaptureFrameOwned(void* buffer);
// The next shutter value from the last frame's statistics; updates the band.
int32_t AutoExposureStep(int32_t shutter);

// ---- Who holds the pipeline ------------------------------------------------
// A capture and an entry that rebuilds, sizes or releases the pipeline never
// overlap. A capture takes the pipeline with one atomic exchange and never
// waits; a rebuild waits for the capture in progress to end, and new captures
// are refused from the moment it starts waiting.

// The pipeline held for one capture, when it was free.
class CaptureLease {
  public:
    CaptureLease();
    ~CaptureLease() { Release(); }
    CaptureLease(const CaptureLease&) = delete;
    CaptureLease& operator=(const CaptureLease&) = delete;
    bool Held() const { return held_; }
    void Release();

  private:
    bool held_;
};

// The pipeline held alone by the calling thread for this object's lifetime.
// With CaptureThread::Stop the capture thread is ended first, after the
// capture it is in, exactly as a stop request would end it; with Keep it
// goes on running and only waits while the pipeline is held.
//
// A thread that already holds the pipeline (a message handler inside a
// capture or a rebuild) or is the capture thread cannot wait for itself:
// with Stop the request is refused (Held() false); with Keep it goes ahead
// under the hold the thread already has.
class ExclusivePipeline {
  public:
    enum class CaptureThread { Keep, Stop };
    explicit ExclusivePipeline(CaptureThread thread);
    ~ExclusivePipeline();
    ExclusivePipeline(const ExclusivePipeline&) = delete;
    ExclusivePipeline& operator=(const ExclusivePipeline&) = delete;
    bool Held() const { return held_; }

  private:
    bool held_ = false;
    bool acquired_ = false;
};

// Starts (buffer not null) or stops (buffer null) the capture thread.
int32_t SetupCaptureIsr(void* buffer, uint16_t* flagWord);

namespace detail {
// The pipeline's holder word, for the capture thread's code.
bool TryBeginCapture();
void EndCapture();
// Waits for the capture in progress; one caller at a time (ExclusivePipeline).
void BeginExclusive();
void EndExclusive();
// The calling thread holds the pipeline (it is inside a capture or a rebuild).
bool CallerHoldsPipeline();
}  // namespace detail

// Stops a running capture thread and returns the capture state to its load values.
void ResetForTesting();

}  // namespace teko::capture
