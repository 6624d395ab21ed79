// Pictures and results the library gives for a fixed set of settings, each
// reduced to one line "name value". The Linux build writes them as the
// reference; the Windows program, running TEKO32.DLL, must give the same lines.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "entries.h"

namespace teko::wintest {

using Results = std::map<std::string, uint64_t>;

// Runs every case through `entries` (the virtual camera on port 0x378).
// Entries whose call failed are recorded as failures in the results too.
Results RunPictureCases(const Entries& entries);

// FNV-1a, 64 bits.
uint64_t Fnv1a(const void* data, std::size_t bytes);

bool WriteResults(const Results& results, const char* path);
bool ReadResults(const char* path, Results* results);
// Lines that differ or are missing on either side; 0 when equal.
int CompareResults(const Results& reference, const Results& actual);

}  // namespace teko::wintest
