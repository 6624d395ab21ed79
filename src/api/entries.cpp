// The exported entries. Each is a thin C shell over the subsystem that does
// the work; no exception ever leaves them.
//
// The entries that open, close, size or rebuild the pipeline hold it alone
// while they work: a running capture thread is ended first (after its
// capture), a capture on another thread is waited for, and from inside a
// capture or a rebuild of the calling thread (a message handler) they refuse
// with 0. The pipeline switches wait for a capture in progress but leave the
// capture thread running. Settings entries take no hold.
#include "api/driver_state.h"
#include "capture/capture.h"
#include "capture/capture_status.h"
#include "link/link.h"
#include "pipeline/pipeline.h"
#include "platform/platform.h"
#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"

namespace {

using teko::capture::ExclusivePipeline;
constexpr auto kStopThread = ExclusivePipeline::CaptureThread::Stop;
constexpr auto kKeepThread = ExclusivePipeline::CaptureThread::Keep;

constexpr int32_t kBrightnessMax = 31;
constexpr uint32_t kGammaMin = 6;
constexpr uint32_t kGammaMax = 59;

// 32-bit wrapping subtraction, as the camera's 32-bit host computes it.
constexpr int32_t WrappingSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

}  // namespace

extern "C" {

// ---- Connection ------------------------------------------------------------

TEKO32_API uint32_t TEKO32_CALL InitTeko(const uint16_t* ports) noexcept {
    const ExclusivePipeline pipeline(kStopThread);
    return pipeline.Held() ? teko::api::InitTeko(ports) : 0;
}

TEKO32_API int32_t TEKO32_CALL HaltTeko(int32_t /*unused*/) noexcept {
    const ExclusivePipeline pipeline(kStopThread);
    return pipeline.Held() ? teko::api::HaltTeko() : 0;
}

// ---- Image settings ----------------------------------------------------------

TEKO32_API int32_t TEKO32_CALL SetShutterSpeed(int32_t value) noexcept {
    teko::api::Settings().shutter.Set(value);
    return value;
}

TEKO32_API int32_t TEKO32_CALL GetShutterSpeed(void) noexcept {
    return teko::api::Settings().shutter.Value();
}

TEKO32_API int32_t TEKO32_CALL SetBrightNess(int32_t brightness) noexcept {
    // A larger brightness is a smaller register value.
    const int32_t d = WrappingSub(kBrightnessMax, brightness);
    teko::api::Settings().brightness.Set(d > kBrightnessMax ? kBrightnessMax : (d < 0 ? 0 : d));
    return d;
}

TEKO32_API int32_t TEKO32_CALL SetShutterThreshold(int32_t value) noexcept {
    teko::link::SetShutterThreshold(value);
    return value;
}

TEKO32_API int32_t TEKO32_CALL SetRedScale(int32_t value) noexcept {
    teko::pipeline::SetRedScale(value);
    return value;
}

TEKO32_API int32_t TEKO32_CALL SetBlueScale(int32_t value) noexcept {
    teko::pipeline::SetBlueScale(value);
    return value;
}

TEKO32_API int32_t TEKO32_CALL EnableAutoShutterSpeed(int32_t value) noexcept {
    teko::api::Settings().autoShutter.store(value, std::memory_order_relaxed);
    return value;
}

TEKO32_API int32_t TEKO32_CALL GetCCDType(void) noexcept {
    return teko::api::CcdType().Type();
}

TEKO32_API int32_t TEKO32_CALL ForceCCDType(int32_t flag, int32_t type) noexcept {
    teko::api::CcdType().ForceCcdType(flag, type);
    return 0;
}

TEKO32_API int32_t TEKO32_CALL SetGamma(int32_t gamma) noexcept {
    const auto tenths = static_cast<uint32_t>(gamma);
    if (tenths < kGammaMin || tenths > kGammaMax) return 0;
    teko::pipeline::BuildGammaTable(gamma);
    return 1;
}

// ---- Capture -----------------------------------------------------------------

TEKO32_API int32_t TEKO32_CALL CaptureFrameWait(void* buffer) noexcept {
    return teko::capture::CaptureFrameWait(buffer);
}

TEKO32_API int32_t TEKO32_CALL SetupCaptureIsr(int32_t /*unused*/, void* buffer, uint16_t* flagWord,
                                               int32_t /*value*/) noexcept {
    return teko::capture::SetupCaptureIsr(buffer, flagWord);
}

TEKO32_API int32_t TEKO32_CALL EnableIsr(int32_t /*value*/) noexcept {
    return 1;
}

// ---- Picture format ------------------------------------------------------------

TEKO32_API void TEKO32_CALL InitFilterStack(int32_t zoom, int32_t allLines,
                                            int32_t sharpen) noexcept {
    const ExclusivePipeline pipeline(kKeepThread);
    teko::pipeline::InitFilterStack(zoom, allLines, sharpen);
}

TEKO32_API int32_t TEKO32_CALL SetFrameSize(int32_t width, int32_t height, int32_t depth) noexcept {
    const ExclusivePipeline pipeline(kStopThread);
    return pipeline.Held() ? teko::pipeline::SetFrameSize(width, height, depth) : 0;
}

TEKO32_API int32_t TEKO32_CALL EnableZoom(int32_t enable) noexcept {
    const ExclusivePipeline pipeline(kStopThread);
    return pipeline.Held() ? teko::pipeline::EnableZoom(enable) : 0;
}

TEKO32_API int32_t TEKO32_CALL SetRealizedFilter(int32_t filter) noexcept {
    const ExclusivePipeline pipeline(kKeepThread);
    return teko::pipeline::SetRealizedFilter(filter);
}

// ---- Extension entries -------------------------------------------------------

TEKO32_API int TEKO32_CALL TekoSetPortIo(const TekoPortIo* io) noexcept {
    return teko::platform::SetPortIo(io) ? 1 : 0;
}

TEKO32_API int TEKO32_CALL TekoSetClock(uint32_t(TEKO32_CALL* nowMs)(void* context),
                                        void* context) noexcept {
    teko::platform::SetClock(nowMs, context);
    return 1;
}

TEKO32_API int TEKO32_CALL TekoSetMessageHandler(void(TEKO32_CALL* show)(void* context,
                                                                         const char* text,
                                                                         const char* caption),
                                                 void* context) noexcept {
    teko::platform::SetMessageHandler(show, context);
    return 1;
}

TEKO32_API int TEKO32_CALL TekoSetAllocator(void*(TEKO32_CALL* allocZeroed)(void* context,
                                                                            size_t bytes),
                                            void(TEKO32_CALL* release)(void* context, void* block),
                                            void* context) noexcept {
    return teko::platform::SetAllocator(allocZeroed, release, context) ? 1 : 0;
}

TEKO32_API int TEKO32_CALL TekoGetCaptureStatus(TekoCaptureStatus* status) noexcept {
    return teko::capture::ReadCaptureStatus(status) ? 1 : 0;
}

}  // extern "C"
