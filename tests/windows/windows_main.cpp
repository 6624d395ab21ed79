// Loads TEKO32.DLL like a capture application, finds every entry by its
// exported name, runs the picture cases with the virtual camera on the port
// and compares every result with the Linux reference:
//   teko-windows-test <reference file>
#include <windows.h>

#include <cstdio>

#include "picture_cases.h"

namespace {

decltype(&::TekoSetPortIo) gSetPortIo = nullptr;

template <typename Fn>
bool Find(HMODULE module, const char* exportName, Fn* fn) {
    *fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, exportName)));
    if (*fn == nullptr) std::printf("missing export: %s\n", exportName);
    return *fn != nullptr;
}

}  // namespace

// The virtual camera installs itself with TekoSetPortIo: here that is the entry of the loaded DLL.
extern "C" int TEKO32_CALL TekoSetPortIo(const TekoPortIo* io) noexcept {
    return gSetPortIo ? gSetPortIo(io) : 0;
}

int main(int argc, char** argv) {
    using namespace teko::wintest;
    if (argc != 2) {
        std::printf("usage: %s <reference file>\n", argv[0]);
        return 2;
    }
    Results reference;
    if (!ReadResults(argv[1], &reference)) {
        std::printf("cannot read the reference %s\n", argv[1]);
        return 2;
    }
    // Nothing may open a window: failures show nowhere but in the results.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA("TEKO32.DLL");
    if (module == nullptr) {
        std::printf("LoadLibrary(TEKO32.DLL) failed: %lu\n", GetLastError());
        return 1;
    }
    Entries entries;
    bool found = true;
#if defined(_WIN64)
#define TEKO_WINTEST_FIND(name, bytes) found &= Find(module, #name, &entries.name);
#else
#define TEKO_WINTEST_FIND(name, bytes) found &= Find(module, "_" #name "@" #bytes, &entries.name);
#endif
    TEKO_WINTEST_ENTRIES(TEKO_WINTEST_FIND)
#undef TEKO_WINTEST_FIND
    if (!found) return 1;
    gSetPortIo = entries.TekoSetPortIo;

    const Results results = RunPictureCases(entries);
    const int differences = CompareResults(reference, results);
    FreeLibrary(module);
    std::printf("%zu results, %d differences from the reference\n", results.size(), differences);
    return differences == 0 ? 0 : 1;
}
