// The sharpen kernels built for x86-64-v4 processors.
#include "pipeline/filters/sharpen_kernels.h"

namespace teko::pipeline {

const SharpenKernels kSharpenV4 = sharpen::kKernels;

}  // namespace teko::pipeline
