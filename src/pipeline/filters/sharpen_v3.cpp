// The sharpen kernels built for x86-64-v3 processors.
#include "pipeline/filters/sharpen_kernels.h"

namespace teko::pipeline {

const SharpenKernels kSharpenV3 = sharpen::kKernels;

}  // namespace teko::pipeline
