// The services on Windows: the multimedia timer, a message box, the local
// heap and the filter log at c:\filter.log.
#include <windows.h>
// After windows.h, which it builds on.
#include <mmsystem.h>

#include <cstdio>

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

void AppendFilterLogLine(std::string_view line) {
    std::FILE* file = std::fopen("c:\\filter.log", "a");
    if (file == nullptr) return;
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
}

}  // namespace teko::platform::os
