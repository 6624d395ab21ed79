// teko_stack_instructions: runs RunFilterStack over a fixed raw frame for a
// few stacks, at every processor level this machine runs, for counting
// instructions under callgrind (bench/instructions collects inside
// RunFilterStack only and dumps the counts after each call).
//
// Every call is announced on stdout, in order, by one line:
//   call <stack> <WxH> <level> <frame> <output pixels> warmup|measure
// and each stack's filters once before its calls:
//   stages <stack> <WxH> <class>:<output pixels> ...
// The first call of each stack and level is a warm-up (it may resolve
// library symbols); the raw frame is copied in again before every call, so
// every measured call sees the same input and counts the same.
//
// Usage: teko_stack_instructions [--runs N] [--frame noisy|smooth|both] [--all]
//                                [STACK:WxH ...]
// STACK is a configuration code 0..23, ez0 or ez1. Without stacks: 15:640x480,
// 13:320x240 and 9:320x240. --all: every stack at its largest picture and at
// 160x120.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pipeline/pipeline.h"
#include "pipeline/simd_level.h"
#include "stack_fixture.h"

namespace {

using teko::bench::Pattern;
using teko::bench::StackConfig;
using teko::pipeline::SimdLevel;

int Usage() {
    std::fprintf(stderr,
                 "usage: teko_stack_instructions [--runs N] [--frame noisy|smooth|both] [--all] "
                 "[STACK:WxH ...]\n");
    return 2;
}

bool ParseStack(const std::string& text, int32_t& stack) {
    for (int32_t s = 0; s < teko::bench::kStackCount; ++s) {
        if (text == teko::bench::StackName(s)) {
            stack = s;
            return true;
        }
    }
    return false;
}

// "15:640x480"
bool ParseConfig(const std::string& text, StackConfig& config) {
    const std::size_t colon = text.find(':');
    const std::size_t x = text.find('x', colon == std::string::npos ? 0 : colon);
    if (colon == std::string::npos || x == std::string::npos) return false;
    if (!ParseStack(text.substr(0, colon), config.stack)) return false;
    char* end = nullptr;
    config.width = static_cast<int32_t>(std::strtol(text.c_str() + colon + 1, &end, 10));
    if (end != text.c_str() + x) return false;
    config.height = static_cast<int32_t>(std::strtol(text.c_str() + x + 1, &end, 10));
    return *end == '\0' && config.width > 0 && config.height > 0;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    std::vector<Pattern> patterns{Pattern::Noisy};
    std::vector<StackConfig> configs;
    bool all = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
            if (runs < 1) return Usage();
        } else if (arg == "--frame" && i + 1 < argc) {
            const std::string frame = argv[++i];
            if (frame == "noisy") {
                patterns = {Pattern::Noisy};
            } else if (frame == "smooth") {
                patterns = {Pattern::Smooth};
            } else if (frame == "both") {
                patterns = {Pattern::Noisy, Pattern::Smooth};
            } else {
                return Usage();
            }
        } else if (arg == "--all") {
            all = true;
        } else {
            StackConfig config;
            if (!ParseConfig(arg, config)) return Usage();
            configs.push_back(config);
        }
    }
    if (all) {
        for (int32_t stack = 0; stack < teko::bench::kStackCount; ++stack) {
            const bool zoomed = teko::bench::ZoomedStack(stack);
            configs.push_back({stack, zoomed ? 640 : 320, zoomed ? 480 : 240});
            configs.push_back({stack, 160, 120});
        }
    } else if (configs.empty()) {
        configs = {{15, 640, 480}, {13, 320, 240}, {9, 320, 240}};
    }

    teko::bench::StackFixture fixture;
    int failures = 0;
    for (const StackConfig& config : configs) {
        const std::string stack = teko::bench::StackName(config.stack);
        const std::string size = std::to_string(config.width) + "x" + std::to_string(config.height);
        for (const Pattern pattern : patterns) {
            if (!fixture.Prepare(config, pattern)) {
                std::fprintf(stderr, "stack %s at %s: %s\n", stack.c_str(), size.c_str(),
                             fixture.error().c_str());
                ++failures;
                continue;
            }
            std::printf("stages %s %s", stack.c_str(), size.c_str());
            for (const teko::bench::StageView& stage : fixture.Stages())
                std::printf(" %s:%lld", stage.name.c_str(),
                            static_cast<long long>(stage.outputPixels));
            std::printf("\n");
            for (const SimdLevel level : teko::pipeline::kSimdLevels) {
                if (!teko::pipeline::SelectSimdLevel(level)) continue;
                for (int run = 0; run <= runs; ++run) {
                    fixture.RestoreRawFrame();
                    std::printf("call %s %s %s %s %lld %s\n", stack.c_str(), size.c_str(),
                                teko::pipeline::SimdLevelName(level),
                                teko::bench::PatternName(pattern),
                                static_cast<long long>(fixture.OutputPixels()),
                                run == 0 ? "warmup" : "measure");
                    teko::pipeline::RunFilterStack();
                }
            }
            teko::pipeline::ResetSimdLevelForTesting();
        }
    }
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}
