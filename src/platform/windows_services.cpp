// The services on Windows: the multimedia timer, a message box, the local
// heap and the filter log at c:\filter.log.
#include <windows.h>
// After windows.h, which it builds on.
#include <mmsystem.h>

#include "platform/os.h"

namespace teko::platform::os {

uint32_t TEKO32_CALL ClockMs(void*) {
    return timeGetTime();
}

void TEKO32_CALL ShowMessage(void*, const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption, MB_OK);
}

void* TEKO32_CALL AllocZeroed(void*, size_t bytes) {
    return LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, bytes ? bytes : 1);
}

void TEKO32_CALL Release(void*, void* block) {
    LocalFree(block);
}

std::string FilterLogPath() {
    return "c:\\filter.log";
}

}  // namespace teko::platform::os
