// One whole 640x480 24-bit capture through the entries, against the virtual
// camera, per transfer mode. Time per iteration is time per frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

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

}  // namespace
