// The filter stacks timed without hardware: every configuration code and the
// two EnableZoom stacks, at their largest picture and at 160x120, at every
// processor level this machine runs. One benchmark times RunFilterStack over
// the prepared raw frame, one per filter times that filter's Process at the
// size it has in the stack.
//
// Names: stack/<stack>/<WxH>/<level>/<frame> and
// filter/<stack>/<WxH>/<level>/<frame>/<index>/<class>/<filter output WxH>.
// Time per iteration is time per frame, wall-clock and processor time of this
// thread (the latter is what a busy machine disturbs least). Runs that
// convert in place take turns over a few copies of the raw frame, refilled
// with the timer paused. items_per_second (per processor second) counts
// output pixels (the stack's, or the filter's own);
// instr_per_px, present where the processor's instruction counter can be
// read, is instructions per output pixel of the whole stack (counted over the
// loop: the refills of the frame copies add a few per thousand pixels).
#include "stack_bench.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "instruction_counter.h"
#include "pipeline/pipeline.h"
#include "pipeline/simd_level.h"
#include "stack_fixture.h"

namespace teko::bench {
namespace {

using pipeline::SimdLevel;

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
    // An in-place conversion overwrites its input: such runs take turns over
    // copies of the raw frame, refilled (untimed) after the last one.
    bool inPlace = false;
    if (wholeStack) {
        for (const StageView& stage : stages)
            inPlace = inPlace || stage.inPlace;
    } else {
        inPlace = stages[static_cast<std::size_t>(c.stage)].inPlace;
    }
    pipeline::CFilter* filter =
        wholeStack ? nullptr : stages[static_cast<std::size_t>(c.stage)].filter;
    uint8_t* input = wholeStack ? nullptr : stages[static_cast<std::size_t>(c.stage)].input;

    const InstructionCounter& counter = Counter();
    int copy = 0;
    const uint64_t countBefore = counter.Read();
    for (auto _ : state) {
        uint8_t* current = input;
        if (inPlace) {
            if (copy == fixture.FrameCopies()) {
                state.PauseTiming();
                fixture.RefillFrameCopies();
                copy = 0;
                state.ResumeTiming();
            }
            current = fixture.FrameCopy(copy++);
            if (wholeStack) fixture.UseRawFrame(current);
        }
        if (wholeStack) {
            pipeline::RunFilterStack();
        } else {
            filter->Process(current);
        }
        benchmark::DoNotOptimize(current);
        benchmark::ClobberMemory();
    }
    const uint64_t instructions = counter.Read() - countBefore;

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
    benchmark::RegisterBenchmark(name.c_str(), [c](benchmark::State& state) {
        RunCase(state, c);
    })->Unit(benchmark::kMicrosecond);
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
