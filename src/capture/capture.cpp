// One frame from the camera into the client's buffer: the choice between
// arming on demand and running free, the frame transfer, the exposure
// control and the register writes it needs, and the filter run.
#include "capture/capture.h"

#include <atomic>
#include <thread>

#include "api/driver_state.h"
#include "capture/capture_status.h"
#include "link/link.h"
#include "pipeline/pipeline.h"
#include "platform/platform.h"

namespace teko::capture {
namespace {

// A request this soon after the last transfer ended counts towards running free.
constexpr uint32_t kFastRequestMs = 70;
// A free-running frame that waited longer than this in the camera is stale.
constexpr uint32_t kStaleFrameMs = 160;
constexpr int32_t kModeEventWeight = 2;
// The mode switches once the counter of switching events exceeds this.
constexpr int32_t kModeSwitchLevel = 10;
constexpr int32_t kStaleFrameLines = 240;

// Who holds the pipeline. kWanted is set by a rebuild that waits for the
// capture in progress; it keeps new captures out until the rebuild is done.
constexpr uint32_t kFree = 0;
constexpr uint32_t kCapturing = 1;
constexpr uint32_t kWanted = 2;
constexpr uint32_t kExclusive = 4;
std::atomic<uint32_t> gHolder{kFree};
thread_local bool tHoldsPipeline = false;

constexpr const char* kShutterWriteFailed = "Set ShutterSpeed Fail!";
constexpr const char* kBrightnessWriteFailed = "Set BrightNess Fail!";

// Makes the client's buffer the output stage's destination for the length of
// one capture, and takes it away again on every way out.
class DestinationLease {
  public:
    explicit DestinationLease(uint8_t* buffer) { pipeline::SetOutputDestination(buffer); }
    ~DestinationLease() { Clear(); }
    DestinationLease(const DestinationLease&) = delete;
    DestinationLease& operator=(const DestinationLease&) = delete;
    void Clear() {
        if (!held_) return;
        pipeline::SetOutputDestination(nullptr);
        held_ = false;
    }

  private:
    bool held_ = true;
};

struct FrameActions {
    bool discard = false;
    bool arm = false;
};

// Decides whether to throw away a frame that waited too long and whether to
// arm the camera, and moves the leaky counter that switches between arming
// on demand and running free.
FrameActions ChooseFrameActions(uint32_t idleTime) {
    api::DriverState& driver = api::Driver();
    FrameActions actions;
    bool switchingEvent = false;
    if (driver.freeRun == 0) {
        actions.arm = driver.framePending == 0;
        switchingEvent = idleTime < kFastRequestMs;
    } else {
        if (driver.framePending == 0) {
            actions.arm = true;  // nothing armed after a failed capture: no mode event
            return actions;
        }
        if (link::IsFrameReady() == 1 && idleTime > kStaleFrameMs) {
            actions.discard = true;
            actions.arm = true;
            switchingEvent = true;
        }
    }
    if (switchingEvent) {
        driver.modeCounter += kModeEventWeight;
        if (driver.modeCounter > kModeSwitchLevel) {
            driver.freeRun = driver.freeRun == 0 ? 1 : 0;
            driver.modeCounter = 0;
        }
    } else if (driver.modeCounter > 0) {
        --driver.modeCounter;
    }
    return actions;
}

// Writes a pending register value. The pending flag is cleared only for the
// value written, so one set meanwhile on another thread stays pending.
bool WriteIfPending(api::PendingSetting& setting, link::Register reg) {
    const api::PendingSetting::Snapshot snapshot = setting.Load();
    if (!snapshot.pending) return true;
    if (link::WriteCameraRegister(static_cast<int32_t>(reg), snapshot.value) == 0) return false;
    setting.MarkWritten(snapshot);
    return true;
}

// Exposure control after a frame: the next shutter value, then the pending
// shutter and brightness writes. The text of the failed write, or nullptr.
const char* UpdateCameraSettings() {
    api::ImageSettings& settings = api::Settings();
    if (settings.autoShutter.load(std::memory_order_relaxed) != 0) {
        // Written also when unchanged: the register follows every frame. A value
        // the client set meanwhile on another thread wins over the adjustment.
        const api::PendingSetting::Snapshot shutter = settings.shutter.Load();
        settings.shutter.Replace(shutter, AutoExposureStep(shutter.value));
    }
    if (!WriteIfPending(settings.shutter, link::Register::ShutterSpeed)) {
        return kShutterWriteFailed;
    }
    if (!WriteIfPending(settings.brightness, link::Register::BrightNess)) {
        return kBrightnessWriteFailed;
    }
    return nullptr;
}

void ArmFrame() {
    link::StartFrame();
    api::Driver().framePending = 1;
}

}  // namespace

namespace detail {

bool TryBeginCapture() {
    // Looking first keeps a polling capture thread from writing the word.
    if (gHolder.load(std::memory_order_relaxed) != kFree) return false;
    uint32_t expected = kFree;
    if (!gHolder.compare_exchange_strong(expected, kCapturing, std::memory_order_acquire,
                                         std::memory_order_relaxed)) {
        return false;
    }
    tHoldsPipeline = true;
    return true;
}

void EndCapture() {
    tHoldsPipeline = false;
    // Clears only the capture's bit: a rebuild's kWanted stays.
    gHolder.fetch_and(~kCapturing, std::memory_order_release);
}

void BeginExclusive() {
    gHolder.fetch_or(kWanted, std::memory_order_relaxed);
    for (;;) {
        uint32_t expected = kWanted;
        if (gHolder.compare_exchange_weak(expected, kExclusive, std::memory_order_acquire,
                                          std::memory_order_relaxed)) {
            break;
        }
        std::this_thread::yield();  // a capture is still in progress; it ends within a frame
    }
    tHoldsPipeline = true;
}

void EndExclusive() {
    tHoldsPipeline = false;
    gHolder.store(kFree, std::memory_order_release);
}

bool CallerHoldsPipeline() {
    return tHoldsPipeline;
}

}  // namespace detail

CaptureLease::CaptureLease() : held_(detail::TryBeginCapture()) {}

void CaptureLease::Release() {
    if (!held_) return;
    held_ = false;
    detail::EndCapture();
}

int32_t CaptureFrameWait(void* buffer) {
    const CaptureLease lease;
    if (!lease.Held()) return 0;
    return CaptureFrameOwned(buffer);
}

int32_t CaptureFrameOwned(void* buffer) {
    if (buffer == nullptr || !pipeline::BuffersReady()) return 0;
    api::DriverState& driver = api::Driver();

    // Time since the previous transfer ended (wrapping like the clock).
    const uint32_t now = platform::NowMs();
    const uint32_t idleTime = now + driver.processingTime - driver.lastFrameEnd;

    DestinationLease destination(static_cast<uint8_t*>(buffer));

    const FrameActions actions = ChooseFrameActions(idleTime);
    if (actions.discard) link::SkipLines(kStaleFrameLines);
    if (actions.arm) ArmFrame();

    // A line that never came leaves old samples in the buffer; the frame is
    // processed anyway, and the status tells how many lines arrived.
    CaptureOutcome outcome;
    const int32_t lines = pipeline::RawHeight();
    int32_t linesRead = 0;
    if (pipeline::Settings().allLines != 0) {
        link::ReadFrame(pipeline::RawWidth(), lines, pipeline::RawFrameBuffer(), &linesRead);
    } else {
        link::ReadFrameEveryThirdLine(pipeline::RawWidth(), lines, pipeline::RawFrameBuffer(),
                                      &linesRead);
    }
    outcome.linesExpected = static_cast<uint32_t>(lines);
    outcome.linesRead = static_cast<uint32_t>(linesRead);
    driver.framePending = 0;
    const uint32_t transferEnd = platform::NowMs();

    if (const char* failure = UpdateCameraSettings()) {
        platform::ShowMessage(failure);
        outcome.elapsedMs = platform::NowMs() - now;
        RecordCapture(outcome);
        return 0;
    }

    // Running free, the camera exposes the next frame while the client works.
    if (driver.freeRun != 0) ArmFrame();

    pipeline::RunFilterStack();
    driver.processingTime = platform::NowMs() - transferEnd;
    destination.Clear();
    driver.lastFrameEnd = platform::NowMs();
    outcome.delivered = true;
    outcome.elapsedMs = driver.lastFrameEnd - now;
    RecordCapture(outcome);
    return 1;
}

}  // namespace teko::capture
