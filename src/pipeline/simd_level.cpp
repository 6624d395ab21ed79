#include "pipeline/simd_level.h"

#include <atomic>

#include "platform/platform.h"

namespace teko::pipeline {
namespace {

// The kernels for v2 and v3 are only built with their instruction sets on x86.
#if defined(__x86_64__) || defined(__i386__)
constexpr bool kX86Build = true;
#else
constexpr bool kX86Build = false;
#endif
// The v4 kernels are built with AVX-512 only for 64-bit x86.
#if defined(__x86_64__)
constexpr bool kX86V4Build = true;
#else
constexpr bool kX86V4Build = false;
#endif

SimdLevel HighestSupported() {
    if (kX86V4Build && platform::ProcessorHasX86V4()) return SimdLevel::X86V4;
    if (kX86Build && platform::ProcessorHasX86V3()) return SimdLevel::X86V3;
    if (kX86Build && platform::ProcessorHasX86V2()) return SimdLevel::X86V2;
    return SimdLevel::Portable;
}

// Read by the filters on whichever thread runs a frame.
std::atomic<SimdLevel>& Active() {
    static std::atomic<SimdLevel> level{HighestSupported()};
    return level;
}

}  // namespace

const char* SimdLevelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::Portable:
            return "portable";
        case SimdLevel::X86V2:
            return "x86-64-v2";
        case SimdLevel::X86V3:
            return "x86-64-v3";
        case SimdLevel::X86V4:
            return "x86-64-v4";
    }
    return "unknown";
}

bool SimdLevelSupported(SimdLevel level) {
    return static_cast<int32_t>(level) >= 0 &&
           static_cast<int32_t>(level) <= static_cast<int32_t>(HighestSupported());
}

SimdLevel ActiveSimdLevel() {
    return Active().load(std::memory_order_relaxed);
}

bool SelectSimdLevel(SimdLevel level) {
    if (!SimdLevelSupported(level)) return false;
    Active().store(level, std::memory_order_relaxed);
    return true;
}

void ResetSimdLevelForTesting() {
    Active().store(HighestSupported(), std::memory_order_relaxed);
}

}  // namespace teko::pipeline
