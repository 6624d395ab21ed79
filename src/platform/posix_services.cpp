// The services on platforms other than Windows: a steady millisecond clock,
// messages on standard error and calloc (the filter log: posix_filter_log.cpp).
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/os.h"

namespace teko::platform::os {

uint32_t TEKO32_CALL ClockMs(void*) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(ms);  // wraps like a 32-bit millisecond timer
}

void TEKO32_CALL ShowMessage(void*, const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

void* TEKO32_CALL AllocZeroed(void*, size_t bytes) {
    return std::calloc(bytes ? bytes : 1, 1);
}

void TEKO32_CALL Release(void*, void* block) {
    std::free(block);
}

}  // namespace teko::platform::os
