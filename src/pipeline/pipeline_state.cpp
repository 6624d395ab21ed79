// Pipeline settings, the ready flag and the colour settings.
#include "pipeline/pipeline.h"
#include "pipeline/simd_level.h"

namespace teko::pipeline {
namespace {

constexpr int32_t kGainAtLoad = 64;

PipelineSettings gSettings;
std::atomic<bool> gBuffersReady{false};
std::atomic<int32_t> gRedScale{kGainAtLoad};
std::atomic<int32_t> gBlueScale{kGainAtLoad};

}  // namespace

PipelineSettings& Settings() {
    return gSettings;
}

bool BuffersReady() {
    return gBuffersReady.load(std::memory_order_acquire);
}
void SetBuffersReady(bool ready) {
    gBuffersReady.store(ready, std::memory_order_release);
}

void SetRedScale(int32_t value) {
    gRedScale.store(value, std::memory_order_relaxed);
}
void SetBlueScale(int32_t value) {
    gBlueScale.store(value, std::memory_order_relaxed);
}
int32_t RedScale() {
    return gRedScale.load(std::memory_order_relaxed);
}
int32_t BlueScale() {
    return gBlueScale.load(std::memory_order_relaxed);
}

ColourParams CurrentColourParams() {
    return {RedScale(), BlueScale(), CurrentGammaTable()};
}

void ResetStateForTesting() {
    gSettings = PipelineSettings{};
    gBuffersReady.store(false, std::memory_order_relaxed);
    gRedScale.store(kGainAtLoad, std::memory_order_relaxed);
    gBlueScale.store(kGainAtLoad, std::memory_order_relaxed);
}

void ResetForTesting() {
    SetOutputDestination(nullptr);
    ReleaseFilterBuffers();
    DestroyFilters();
    SetRawSize(0, 0);
    ResetGeometryForTesting();
    ResetGammaForTesting();
    ResetStateForTesting();
    ResetSimdLevelForTesting();
}

}  // namespace teko::pipeline
