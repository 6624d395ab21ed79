// The processor level the filter kernels run at. Each kernel family is built
// once per level (the portable build and x86-64 v2, v3 and v4 builds); a
// filter picks its family's table for the active level when it processes a
// frame. Every level gives the same bytes.
#pragma once

#include <cstdint>

namespace teko::pipeline {

enum class SimdLevel : int32_t {
    Portable = 0,  // plain C++, for any processor (the 32-bit DLL on an i686)
    X86V2 = 1,     // SSE4.2 and SSSE3
    X86V3 = 2,     // AVX2, BMI2 and FMA
    X86V4 = 3,     // AVX-512 F, BW, VL, DQ, CD (64-bit builds only), with VBMI where present
};
inline constexpr SimdLevel kSimdLevels[] = {SimdLevel::Portable, SimdLevel::X86V2, SimdLevel::X86V3,
                                            SimdLevel::X86V4};

const char* SimdLevelName(SimdLevel level);
// Whether this build has kernels for the level and the processor runs them.
bool SimdLevelSupported(SimdLevel level);
// The level in use: the highest supported one unless another was selected.
SimdLevel ActiveSimdLevel();
// For tests and benchmarks: makes `level` the active one. False, with
// nothing changed, when it is not supported.
bool SelectSimdLevel(SimdLevel level);
// Back to the highest supported level.
void ResetSimdLevelForTesting();

// One kernel table per level: <family>.cpp defines the portable one,
// <family>_v2.cpp, <family>_v3.cpp and <family>_v4.cpp the others.
template <class Table>
struct LevelTables {
    const Table& portable;
    const Table& v2;
    const Table& v3;
    const Table& v4;

    const Table& Active() const {
        switch (ActiveSimdLevel()) {
            case SimdLevel::X86V4:
                return v4;
            case SimdLevel::X86V3:
                return v3;
            case SimdLevel::X86V2:
                return v2;
            case SimdLevel::Portable:
                break;
        }
        return portable;
    }
};

}  // namespace teko::pipeline
