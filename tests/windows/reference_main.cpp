// Writes the reference results of the picture cases, computed by this build
// of the library, for the Windows program to compare against:
//   teko-windows-reference <output file>
#include <cstdint>
#include <cstdio>
#include <string>

#include "picture_cases.h"

int main(int argc, char** argv) {
    using namespace teko::wintest;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
        return 2;
    }
    Entries entries;
#define TEKO_WINTEST_LINK(name, bytes) entries.name = &::name;
    TEKO_WINTEST_ENTRIES(TEKO_WINTEST_LINK)
#undef TEKO_WINTEST_LINK
    const Results results = RunPictureCases(entries);

    // A reference made of refused captures would prove nothing.
    int failures = 0;
    // What the message, allocator and capture-thread cases must show.
    constexpr struct {
        const char* key;
        uint64_t value;
    } kExpected[] = {
        {"note.client.result", 0},      {"note.client.count", 1},
        {"note.client.otherCaptions", 0}, {"note.thread.result", 1},
        {"note.thread.count", 1},        {"note.thread.otherCaptions", 0},
        {"alloc.held", 1},               {"alloc.refusedSize", 0},
        {"alloc.refusedCapture", 0},     {"alloc.liveAfterHalt", 0},
    };
    for (const auto& [key, value] : kExpected) {
        const auto it = results.find(key);
        if (it == results.end() || it->second != value) {
            std::fprintf(stderr, "unexpected: %s (want %llu)\n", key,
                         static_cast<unsigned long long>(value));
            ++failures;
        }
    }
    for (const auto& [key, value] : results) {
        const bool mustSucceed = key.ends_with(".ok") || key.ends_with(".size");
        if ((mustSucceed && value != 1) || (key == "messages" && value != 0)) {
            std::fprintf(stderr, "unexpected: %s = %llu\n", key.c_str(),
                         static_cast<unsigned long long>(value));
            ++failures;
        }
    }
    if (failures) return 1;
    if (!WriteResults(results, argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%zu reference results in %s\n", results.size(), argv[1]);
    return 0;
}
