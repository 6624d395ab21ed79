// The mosaic kernels built for x86-64-v3 processors.
#include "pipeline/filters/mosaic_kernels.h"

namespace teko::pipeline {

const MosaicKernels kMosaicV3 = mosaic::kKernels;

}  // namespace teko::pipeline
