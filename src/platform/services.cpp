// Clock, message display, memory and the diagnostic log: each one call into
// the installed function, which is the operating system's (os.h) unless a
// caller replaced it through teko32_ext.h.

#include "platform/os.h"
#include "platform/platform.h"

namespace teko::platform {
namespace {

struct Services {
    ClockFn clock = os::ClockMs;
    void* clockContext = nullptr;
    MessageFn message = os::ShowMessage;
    void* messageContext = nullptr;
    AllocFn alloc = os::AllocZeroed;
    ReleaseFn release = os::Release;
    void* allocContext = nullptr;
};

Services gServices;

}  // namespace

uint32_t NowMs() {
    return gServices.clock(gServices.clockContext);
}

void SetClock(ClockFn fn, void* context) {
    gServices.clock = fn ? fn : os::ClockMs;
    gServices.clockContext = fn ? context : nullptr;
}

void ShowMessage(const char* text) {
    gServices.message(gServices.messageContext, text, kMessageCaption);
}

void SetMessageHandler(MessageFn fn, void* context) {
    gServices.message = fn ? fn : os::ShowMessage;
    gServices.messageContext = fn ? context : nullptr;
}

void* AllocZeroed(std::size_t bytes) {
    return gServices.alloc(gServices.allocContext, bytes);
}

void Release(void* block) {
    if (block) gServices.release(gServices.allocContext, block);
}

bool SetAllocator(AllocFn alloc, ReleaseFn release, void* context) {
    if (alloc == nullptr && release == nullptr) {
        gServices.alloc = os::AllocZeroed;
        gServices.release = os::Release;
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
    os::AppendFilterLogLine(line);
}

void ResetForTesting() {
    os::ResetPortBackends();
    SetPortIo(nullptr);
    gServices = Services{};
}

}  // namespace teko::platform
