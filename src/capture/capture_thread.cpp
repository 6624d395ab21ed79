// The capture thread: captures a frame into the client's buffer whenever the
// client clears its flag word, then sets the word to 1. Also the entries'
// exclusive hold on the pipeline, which ends the thread when asked to.
//
// The thread polls without sleeping. The running flag and the client's word
// are read atomically on every pass so that no read is ever hoisted out of
// the loop, and the word's 1 is stored with release order after the frame is
// complete, so a client that sees the 1 (acquire) sees the whole frame.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "capture/capture.h"
#include "platform/platform.h"

namespace teko::capture {
namespace {

constexpr uint16_t kFrameDelivered = 1;
constexpr uint16_t kFrameWanted = 0;

std::atomic<bool> gThreadRunning{false};
std::atomic<void*> gCaptureBuffer{nullptr};
std::atomic<uint16_t*> gFrameFlag{nullptr};
// Serialises what starts or ends the thread and the rebuilds of the
// pipeline. Never taken by a capture, nor by a thread that holds the pipeline.
// Never destroyed, like the thread's handle below: a client thread may still
// be inside an entry (closing the camera) while the process ends.
std::mutex& Control() {
    static auto* const control = new std::mutex;
    return *control;
}
// Started and joined only with Control() held.
platform::Thread& CaptureThread() {
    static auto* const thread = new platform::Thread;
    return *thread;
}
// When the library is unloaded (or the process ends) with the thread still
// running, the thread is told to stop before it is waited for.
struct StopAtUnload {
    ~StopAtUnload() {
        const std::lock_guard lock(Control());
        gThreadRunning.store(false, std::memory_order_release);
        CaptureThread().Join();
    }
} gStopAtUnload;
// Set on the capture thread, where a message handler may ask for a stop.
thread_local bool tOnCaptureThread = false;

using FlagRef = std::atomic_ref<uint16_t>;

bool IsUsableFlagWord(const uint16_t* flagWord) {
    return flagWord != nullptr &&
           reinterpret_cast<std::uintptr_t>(flagWord) % FlagRef::required_alignment == 0;
}

void CaptureThreadProc(void* /*unused*/) {
    tOnCaptureThread = true;
    if (!gThreadRunning.load(std::memory_order_acquire)) return;
    void* buffer = gCaptureBuffer.load(std::memory_order_acquire);
    uint16_t* flag = gFrameFlag.load(std::memory_order_acquire);
    while (gThreadRunning.load(std::memory_order_acquire)) {
        if (buffer == nullptr || flag == nullptr) continue;
        if (FlagRef(*flag).load(std::memory_order_acquire) != kFrameWanted) continue;
        // A capture on a client's thread or a rebuild holds the pipeline: the
        // request stays and is served once the pipeline is free.
        CaptureLease lease;
        if (!lease.Held()) continue;
        // Stopped meanwhile: the word stays 0, nothing was captured.
        if (!gThreadRunning.load(std::memory_order_acquire)) break;
        // The result is not passed on: the word reports that the call ended.
        CaptureFrameOwned(buffer);
        lease.Release();
        buffer = gCaptureBuffer.load(std::memory_order_acquire);
        flag = gFrameFlag.load(std::memory_order_acquire);
        if (flag != nullptr) FlagRef(*flag).store(kFrameDelivered, std::memory_order_release);
    }
}

// The calling thread cannot wait for the capture thread or for the pipeline:
// it is the capture thread, or it is inside a capture or a rebuild of its own
// (a message handler).
bool CallerCannotWait() {
    return tOnCaptureThread || detail::CallerHoldsPipeline();
}

// Ends a running thread after the capture it is in, and releases its handle.
// Called with Control() held, from a thread that can wait.
void StopAndJoinThread() {
    gThreadRunning.store(false, std::memory_order_release);
    CaptureThread().Join();
}

}  // namespace

ExclusivePipeline::ExclusivePipeline(CaptureThread thread) {
    if (CallerCannotWait()) {
        // Under the hold the thread already has, only a change that leaves
        // the running capture or rebuild intact may go ahead.
        held_ = thread == CaptureThread::Keep;
        return;
    }
    Control().lock();
    if (thread == CaptureThread::Stop) {
        StopAndJoinThread();
        gCaptureBuffer.store(nullptr, std::memory_order_release);
    }
    detail::BeginExclusive();
    held_ = acquired_ = true;
}

ExclusivePipeline::~ExclusivePipeline() {
    if (!acquired_) return;
    detail::EndExclusive();
    Control().unlock();
}

int32_t SetupCaptureIsr(void* buffer, uint16_t* flagWord) {
    if (buffer == nullptr) {
        if (CallerCannotWait()) {
            // The thread ends after the capture in progress; its handle is
            // released by the next request from a thread that can wait.
            gThreadRunning.store(false, std::memory_order_release);
        } else {
            const std::lock_guard lock(Control());
            StopAndJoinThread();
        }
        gCaptureBuffer.store(nullptr, std::memory_order_release);
        gFrameFlag.store(flagWord, std::memory_order_release);
        return 1;
    }
    if (!IsUsableFlagWord(flagWord)) return 0;
    if (CallerCannotWait()) return 0;  // a thread cannot wait for itself to end

    const std::lock_guard lock(Control());
    // Two threads must never capture at once: a thread already running ends first.
    StopAndJoinThread();
    gCaptureBuffer.store(buffer, std::memory_order_release);
    gThreadRunning.store(true, std::memory_order_release);
    gFrameFlag.store(flagWord, std::memory_order_release);
    // On failure the request stays recorded until the next stop request.
    return CaptureThread().Start(CaptureThreadProc, nullptr) ? 1 : 0;
}

void ResetForTesting() {
    {
        const std::lock_guard lock(Control());
        StopAndJoinThread();
    }
    gCaptureBuffer.store(nullptr, std::memory_order_relaxed);
    gFrameFlag.store(nullptr, std::memory_order_relaxed);
}

}  // namespace teko::capture
