// Clock, message display, memory and the diagnostic log: each one call into
// the installed function, which is the operating system's (os.h) unless a
// caller replaced it through teko32_ext.h.
#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>

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

// The last message shown, written by whichever thread shows one and read by
// the capture status on any other.
struct LastMessage {
    std::mutex mutex;
    std::array<char, 64> text{};
};
LastMessage gLastMessage;

void KeepLastMessage(const char* text) {
    const std::lock_guard lock(gLastMessage.mutex);
    std::array<char, 64>& kept = gLastMessage.text;
    std::size_t length = 0;
    for (; text != nullptr && length + 1 < kept.size() && text[length] != '\0'; ++length)
        kept[length] = text[length];
    kept[length] = '\0';
}

}  // namespace

uint32_t NowMs() {
    return gServices.clock(gServices.clockContext);
}

void SetClock(ClockFn fn, void* context) {
    gServices.clock = fn ? fn : os::ClockMs;
    gServices.clockContext = fn ? context : nullptr;
}

void ShowMessage(const char* text) {
    KeepLastMessage(text);
    gServices.message(gServices.messageContext, text, kMessageCaption);
}

void CopyLastMessage(std::span<char> out) {
    if (out.empty()) return;
    const std::lock_guard lock(gLastMessage.mutex);
    const std::array<char, 64>& kept = gLastMessage.text;
    const std::size_t length = std::min(out.size() - 1, std::strlen(kept.data()));
    std::copy_n(kept.begin(), length, out.begin());
    out[length] = '\0';
}

void ClearLastMessage() {
    KeepLastMessage("");
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
    ClearLastMessage();
}

}  // namespace teko::platform
