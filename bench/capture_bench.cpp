// One whole 640x480 24-bit capture through the entries, against the virtual
// camera, per transfer mode. Time per iteration is time per frame.
//
// The capture's hold on the pipeline (one atomic exchange on the way in, one
// on the way out): a small frame captured with it and without it, where its
// share of the frame is largest, and the hold alone.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "capture/capture.h"
#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"
#include "teko32sim/virtual_camera.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr int32_t kDepth = 24;

void TEKO32_CALL IgnoreMessage(void*, const char*, const char*) {}

// Opens the camera, sizes the picture and captures frames through `capture`
// for as long as the benchmark runs.
void CaptureWith(benchmark::State& state, const teko::sim::CameraConfig& config, int32_t zoom,
                 int32_t width, int32_t height, int32_t (*capture)(void*)) {
    teko::sim::VirtualCamera camera(config);
    camera.Install();
    TekoSetMessageHandler(IgnoreMessage, nullptr);
    const uint16_t ports[] = {config.base, 0};
    InitTeko(ports);
    InitFilterStack(zoom, 1, 1);
    if (SetFrameSize(width, height, kDepth) != 1) {
        state.SkipWithError("SetFrameSize failed");
    }
    std::vector<uint8_t> frame(static_cast<std::size_t>((3 * width + 3) & ~3) *
                               static_cast<std::size_t>(height));
    for (auto _ : state) {
        if (capture(frame.data()) != 1) {
            state.SkipWithError("capture failed");
            break;
        }
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    HaltTeko(0);
    TekoSetPortIo(nullptr);
    TekoSetMessageHandler(nullptr, nullptr);
}

void CaptureFrames(benchmark::State& state, bool epp) {
    teko::sim::CameraConfig config;
    config.port.epp = epp;
    CaptureWith(state, config, 1, kWidth, kHeight, CaptureFrameWait);
}

void BM_Capture640x480Rgb24Epp(benchmark::State& state) {
    CaptureFrames(state, true);
}
void BM_Capture640x480Rgb24Ps2(benchmark::State& state) {
    CaptureFrames(state, false);
}

BENCHMARK(BM_Capture640x480Rgb24Epp)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Capture640x480Rgb24Ps2)->Unit(benchmark::kMicrosecond);

constexpr int32_t kSmallWidth = 64;
constexpr int32_t kSmallHeight = 48;

void CaptureSmallFrames(benchmark::State& state, int32_t (*capture)(void*)) {
    CaptureWith(state, teko::sim::CameraConfig{}, 0, kSmallWidth, kSmallHeight, capture);
}

// The entry, which holds the pipeline for the capture.
void BM_Capture64x48Held(benchmark::State& state) {
    CaptureSmallFrames(state, teko::capture::CaptureFrameWait);
}
// The same capture without the hold.
void BM_Capture64x48Unheld(benchmark::State& state) {
    CaptureSmallFrames(state, teko::capture::CaptureFrameOwned);
}
// Taking and giving back the pipeline, nothing else.
void BM_CaptureHoldAlone(benchmark::State& state) {
    for (auto _ : state) {
        teko::capture::CaptureLease lease;
        benchmark::DoNotOptimize(lease.Held());
    }
}

BENCHMARK(BM_Capture64x48Held)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Capture64x48Unheld)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CaptureHoldAlone)->Unit(benchmark::kNanosecond);

}  // namespace
