// The filter stacks timed without hardware: every configuration code and the
// two EnableZoom stacks, at their largest picture and at 160x120, at every
// processor level this machine runs. One benchmark times RunFilterStack over
// the prepared raw frame, one per filter times that filter's Process at the
// size it has in the stack.
//
// Names: stack/<stack>/<WxH>/<level>/<frame> and
// filter/<stack>/<WxH>/<level>/<frame>/<index>/<class>/<filter output WxH>.
// Time per iteration is time per frame (manual timing: only the stack or the
// filter, never the copy of the raw frame an in-place conversion needs).
// items_per_second counts output pixels (the stack's, or the filter's own);
// instr_per_px, present where the processor's instruction counter can be
// read, is instructions per output pixel of the whole stack.
#include "stack_bench.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "instruction_counter.h"
#include "pipeline/pipeline.h"
#include "pipeline/simd_level.h"
#include "stack_fixture.h"

namespace teko::bench {
namespace {

using pipeline::SimdLevel;
using Clock = std::chrono::steady_clock;

constexpr int32_t kSmallWidth = 160;
constexpr int32_t kSmallHeight = 120;
constexpr int32_t kDefaultCode = 15;
constexpr int32_t kWholeStack = -1;

struct Case {
    StackConfig config;
    Pattern pattern = Pattern::Noisy;
    SimdLevel level = SimdLevel::Portable;
    int32_t stage = kWholeStack;  // index of the filter timed alone
};

InstructionCounter& Counter() {
    static InstructionCounter counter;
    return counter;
}

// Selects a level for one benchmark and returns to the highest after it.
class LevelScope {
  public:
    explicit LevelScope(SimdLevel level) : selected_(pipeline::SelectSimdLevel(level)) {}
    ~LevelScope() { pipeline::ResetSimdLevelForTesting(); }
    LevelScope(const LevelScope&) = delete;
    LevelScope& operator=(const LevelScope&) = delete;
    bool selected() const { return selected_; }

  private:
    bool selected_;
};

void RunCase(benchmark::State& state, const Case& c) {
    StackFixture fixture;
    const LevelScope level(c.level);
    if (!level.selected()) {
        state.SkipWithError("level not supported");
        return;
    }
    if (!fixture.Prepare(c.config, c.pattern)) {
        state.SkipWithError(fixture.error().c_str());
        return;
    }
    const std::vector<StageView>& stages = fixture.Stages();
    const bool wholeStack = c.stage == kWholeStack;
    if (!wholeStack && static_cast<std::size_t>(c.stage) >= stages.size()) {
        state.SkipWithError("no such filter in the stack");
        return;
    }
    bool restore = false;
    if (wholeStack) {
        for (const StageView& stage : stages)
            restore = restore || stage.inPlace;
    } else {
        restore = stages[static_cast<std::size_t>(c.stage)].inPlace;
    }
    pipeline::CFilter* filter =
        wholeStack ? nullptr : stages[static_cast<std::size_t>(c.stage)].filter;
    uint8_t* input = wholeStack ? nullptr : stages[static_cast<std::size_t>(c.stage)].input;

    const InstructionCounter& counter = Counter();
    uint64_t instructions = 0;
    for (auto _ : state) {
        if (restore) fixture.RestoreRawFrame();
        uint8_t* current = input;
        const uint64_t countBefore = counter.Read();
        const Clock::time_point start = Clock::now();
        if (wholeStack) {
            pipeline::RunFilterStack();
        } else {
            filter->Process(current);
        }
        const Clock::time_point stop = Clock::now();
        instructions += counter.Read() - countBefore;
        benchmark::DoNotOptimize(current);
        benchmark::ClobberMemory();
        state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
    }

    const int64_t ownPixels = wholeStack ? fixture.OutputPixels()
                                         : stages[static_cast<std::size_t>(c.stage)].outputPixels;
    state.SetItemsProcessed(state.iterations() * ownPixels);
    if (counter.Available() && state.iterations() > 0) {
        state.counters["instr_per_px"] =
            static_cast<double>(instructions) /
            (static_cast<double>(state.iterations()) * static_cast<double>(fixture.OutputPixels()));
    }
}

std::string SizeName(int32_t width, int32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

void Register(const std::string& name, const Case& c) {
    benchmark::RegisterBenchmark(name.c_str(), [c](benchmark::State& state) { RunCase(state, c); })
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

}  // namespace

void RegisterStackBenchmarks() {
    std::vector<SimdLevel> levels;
    for (const SimdLevel level : pipeline::kSimdLevels)
        if (pipeline::SimdLevelSupported(level)) levels.push_back(level);

    benchmark::AddCustomContext("teko_instruction_counter",
                                Counter().Available() ? "perf events" : "none");
    std::string levelNames;
    for (const SimdLevel level : levels)
        levelNames += (levelNames.empty() ? "" : ",") + std::string(pipeline::SimdLevelName(level));
    benchmark::AddCustomContext("teko_simd_levels", levelNames);

    // The filters of every stack, learnt by building it once.
    StackFixture fixture;
    for (int32_t stack = 0; stack < kStackCount; ++stack) {
        const int32_t largestWidth = ZoomedStack(stack) ? 640 : 320;
        const int32_t largestHeight = ZoomedStack(stack) ? 480 : 240;
        for (const StackConfig config : {StackConfig{stack, largestWidth, largestHeight},
                                         StackConfig{stack, kSmallWidth, kSmallHeight}}) {
            if (!fixture.Prepare(config, Pattern::Noisy)) {
                // Registered anyway, so that the failure shows in the results.
                Register("stack/" + StackName(stack) + "/" + SizeName(config.width, config.height) +
                             "/error",
                         Case{config, Pattern::Noisy, levels.front(), kWholeStack});
                continue;
            }
            struct Stage {
                std::string name;
                int32_t width;
                int32_t height;
            };
            std::vector<Stage> stages;
            for (const StageView& view : fixture.Stages())
                stages.push_back({view.name, view.filter->outputWidth, view.filter->outputHeight});

            const std::string prefix =
                StackName(stack) + "/" + SizeName(config.width, config.height) + "/";
            for (const SimdLevel level : levels) {
                for (const Pattern pattern : {Pattern::Noisy, Pattern::Smooth}) {
                    const std::string where =
                        prefix + pipeline::SimdLevelName(level) + "/" + PatternName(pattern);
                    Register("stack/" + where, Case{config, pattern, level, kWholeStack});
                    // Filters alone over the noisy frame; the default code also over the smooth
                    // one.
                    if (pattern == Pattern::Smooth && stack != kDefaultCode) continue;
                    for (std::size_t i = 0; i < stages.size(); ++i) {
                        Register("filter/" + where + "/" + std::to_string(i) + "/" +
                                     stages[i].name + "/" +
                                     SizeName(stages[i].width, stages[i].height),
                                 Case{config, pattern, level, static_cast<int32_t>(i)});
                    }
                }
            }
        }
    }
}

}  // namespace teko::bench
