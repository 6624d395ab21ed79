// Registers the per-stack and per-filter benchmarks (stack_bench.cpp). They
// are registered at run time: which filters a stack has, and which processor
// levels the machine runs, are known only then.
#pragma once

namespace teko::bench {

void RegisterStackBenchmarks();

}  // namespace teko::bench
