// Clock, message display, memory and the diagnostic log, with their defaults
// for platforms other than Windows.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/platform.h"

namespace teko::platform {
namespace {

uint32_t TEKO32_CALL SteadyMs(void*) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(ms);  // wraps like a 32-bit millisecond timer
}

void TEKO32_CALL StderrMessage(void*, const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

void* TEKO32_CALL CallocZeroed(void*, size_t bytes) { return std::calloc(bytes ? bytes : 1, 1); }
void TEKO32_CALL FreeBlock(void*, void* block) { std::free(block); }

struct Services {
    ClockFn clock = SteadyMs;
    void* clockContext = nullptr;
    MessageFn message = StderrMessage;
    void* messageContext = nullptr;
    AllocFn alloc = CallocZeroed;
    ReleaseFn release = FreeBlock;
    void* allocContext = nullptr;
};

Services gServices;

std::string FilterLogPath() {
    if (const char* path = std::getenv("TEKO32_FILTER_LOG"); path && *path) return path;
    std::error_code ec;
    const auto dir = std::filesystem::temp_directory_path(ec);
    return ((ec ? std::filesystem::path("/tmp") : dir) / "filter.log").string();
}

}  // namespace

uint32_t NowMs() { return gServices.clock(gServices.clockContext); }

void SetClock(ClockFn fn, void* context) {
    gServices.clock = fn ? fn : SteadyMs;
    gServices.clockContext = fn ? context : nullptr;
}

void ShowMessage(const char* text) {
    gServices.message(gServices.messageContext, text, kMessageCaption);
}

void SetMessageHandler(MessageFn fn, void* context) {
    gServices.message = fn ? fn : StderrMessage;
    gServices.messageContext = fn ? context : nullptr;
}

void* AllocZeroed(std::size_t bytes) { return gServices.alloc(gServices.allocContext, bytes); }

void Release(void* block) {
    if (block) gServices.release(gServices.allocContext, block);
}

bool SetAllocator(AllocFn alloc, ReleaseFn release, void* context) {
    if (alloc == nullptr && release == nullptr) {
        gServices.alloc = CallocZeroed;
        gServices.release = FreeBlock;
        gServices.allocContext = nullptr;
        return true;
    }
    if (alloc == nullptr || release == nullptr) return false;
    gServices.alloc = alloc;
    gServices.release = release;
    gServices.allocContext = context;
    return true;
}

void AppendFilterLogLine(std::string_view line) {
    const std::string path = FilterLogPath();
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) return;
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
}

void ResetForTesting() {
    SetPortIo(nullptr);
    gServices = Services{};
}

}  // namespace teko::platform
