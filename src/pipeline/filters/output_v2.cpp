// The output kernels built for x86-64-v2 processors.
#include "pipeline/filters/output_kernels.h"

namespace teko::pipeline {

const OutputKernels kOutputV2 = output::kPortableKernels;

}  // namespace teko::pipeline
