// The sharpen kernels built for x86-64-v2 processors.
#include "pipeline/filters/sharpen_kernels.h"

namespace teko::pipeline {

const SharpenKernels kSharpenV2 = sharpen::kKernels;

}  // namespace teko::pipeline
