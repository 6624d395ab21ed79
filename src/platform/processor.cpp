// What the processor reports about its vector instructions. The compiler's
// processor-feature builtins also check that the operating system saves the
// wide registers, so a level reported here is safe to run.
#include "platform/platform.h"

namespace teko::platform {

#if defined(__x86_64__) || defined(__i386__)

bool ProcessorHasX86V2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse4.2") && __builtin_cpu_supports("ssse3") &&
           __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("popcnt");
}

bool ProcessorHasX86V3() {
    __builtin_cpu_init();
    return ProcessorHasX86V2() && __builtin_cpu_supports("avx2") &&
           __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma");
}

bool ProcessorHasX86V4() {
    __builtin_cpu_init();
    return ProcessorHasX86V3() && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512cd");
}

bool ProcessorHasAvx512Vbmi() {
    __builtin_cpu_init();
    return ProcessorHasX86V4() && __builtin_cpu_supports("avx512vbmi");
}

#else

bool ProcessorHasX86V2() {
    return false;
}
bool ProcessorHasX86V3() {
    return false;
}
bool ProcessorHasX86V4() {
    return false;
}
bool ProcessorHasAvx512Vbmi() {
    return false;
}

#endif

}  // namespace teko::platform
