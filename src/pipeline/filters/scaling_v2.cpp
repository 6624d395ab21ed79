// The scaling kernels built for x86-64-v2 processors.
#include "pipeline/filters/scaling_kernels.h"

namespace teko::pipeline {
const ScalingKernels kScalingV2 = scaling_kernels::kKernels;
}  // namespace teko::pipeline
