// The scaling kernels built for x86-64-v4 processors.
#include "pipeline/filters/scaling_kernels.h"

namespace teko::pipeline {
const ScalingKernels kScalingV4 = scaling_kernels::kKernels;
}  // namespace teko::pipeline
