// The output kernels built for x86-64-v3 processors.
#include "pipeline/filters/output_avx2.h"
#include "pipeline/filters/output_kernels.h"

namespace teko::pipeline {

#if defined(__AVX2__)
const OutputKernels kOutputV3 = output::avx2::kKernels;
#else
const OutputKernels kOutputV3 = output::kPortableKernels;
#endif

}  // namespace teko::pipeline
