// The scaling kernels built for x86-64-v3 processors.
#include "pipeline/filters/scaling_kernels.h"

namespace teko::pipeline {
const ScalingKernels kScalingV3 = scaling_kernels::kKernels;
}  // namespace teko::pipeline
