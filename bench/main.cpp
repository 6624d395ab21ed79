// teko_bench: the whole-capture, per-stack, per-filter and (when built with
// OpenCV) comparison benchmarks in one run.
#include <benchmark/benchmark.h>

#include "stack_bench.h"

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    teko::bench::RegisterStackBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
