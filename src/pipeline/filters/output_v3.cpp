// The output kernels built for x86-64-v3 processors.
#include "pipeline/filters/output_kernels.h"

namespace teko::pipeline {

const OutputKernels kOutputV3 = output::kPortableKernels;

}  // namespace teko::pipeline
