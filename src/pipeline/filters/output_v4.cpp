// The output kernels built for x86-64-v4 processors.
#include "pipeline/filters/output_avx2.h"
#include "pipeline/filters/output_kernels.h"

namespace teko::pipeline {

#if defined(__AVX2__)
const OutputKernels kOutputV4 = output::avx2::kKernels;
#else
const OutputKernels kOutputV4 = output::kPortableKernels;
#endif

}  // namespace teko::pipeline
