// The services on platforms other than Windows: a steady millisecond clock,
// messages on standard error, calloc, and the filter log in the temporary
// directory (TEKO32_FILTER_LOG names another file).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

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

std::string FilterLogPath() {
    if (const char* path = std::getenv("TEKO32_FILTER_LOG"); path && *path) return path;
    std::error_code ec;
    const auto dir = std::filesystem::temp_directory_path(ec);
    return ((ec ? std::filesystem::path("/tmp") : dir) / "filter.log").string();
}

}  // namespace teko::platform::os
