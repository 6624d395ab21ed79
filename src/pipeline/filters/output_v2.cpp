// The output kernels built for x86-64-v2 processors.
#include "pipeline/filters/output_kernels.h"
#include "pipeline/filters/output_sse.h"

namespace teko::pipeline {

#if defined(__SSSE3__) && defined(__SSE4_1__)
const OutputKernels kOutputV2 = output::sse::kKernels;
#else
const OutputKernels kOutputV2 = output::kPortableKernels;
#endif

}  // namespace teko::pipeline
