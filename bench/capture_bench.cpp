// One whole 640x480 24-bit capture through the entries, against the virtual
// camera, per transfer mode. Time per iteration is time per frame.
//
// The capture's hold on the pipeline (one atomic exchange on the way in, one
// on the way out): a small frame captured with it and without it, where its
// share of the frame is largest, and the hold alone.
#include <benchmark/benchmark.h>

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
constexpr std::size_t kRowSize = (3 * kWidth + 3) & ~3;

void TEKO32_CALL IgnoreMessage(void*, const char*, const char*) {}

void CaptureFrames(benchmark::State& state, bool epp) {
    teko::sim::CameraConfig config;
    config.port.epp = epp;
    teko::sim::VirtualCamera camera(config);
    camera.Install();
    TekoSetMessageHandler(IgnoreMessage, nullptr);
    const uint16_t ports[] = {config.base, 0};
    InitTeko(ports);
    if (SetFrameSize(kWidth, kHeight, kDepth) != 1) {
        state.SkipWithError("SetFrameSize failed");
    }
    std::vector<uint8_t> frame(kRowSize * kHeight);
    for (auto _ : state) {
        if (CaptureFrameWait(frame.data()) != 1) {
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
    teko::sim::VirtualCamera camera;
    camera.Install();
    TekoSetMessageHandler(IgnoreMessage, nullptr);
    const uint16_t ports[] = {camera.config().base, 0};
    InitTeko(ports);
    InitFilterStack(0, 1, 1);
    if (SetFrameSize(kSmallWidth, kSmallHeight, kDepth) != 1) {
        state.SkipWithError("SetFrameSize failed");
    }
    std::vector<uint8_t> frame(std::size_t{3} * kSmallWidth * kSmallHeight);
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
