// Frame data transfer. TODO(link).
#include <atomic>

#include "link/link.h"

namespace teko::link {
namespace {
std::atomic<int32_t> gShutterThreshold{80};
}

void StartFrame() {}
int32_t ReadFrame(int32_t, int32_t, uint8_t*) { return 0; }
int32_t ReadFrameEveryThirdLine(int32_t, int32_t, uint8_t*) { return 0; }
void SkipLines(int32_t) {}
int32_t IsFrameReady() { return 0; }
void SetShutterThreshold(int32_t value) { gShutterThreshold.store(value, std::memory_order_relaxed); }
int32_t ShutterThreshold() { return gShutterThreshold.load(std::memory_order_relaxed); }
void ResetForTesting() {
    State().~LinkState();
    new (&State()) LinkState();
    gShutterThreshold.store(80, std::memory_order_relaxed);
}

}  // namespace teko::link
