// The mosaic kernels built for x86-64-v2 processors.
#include "pipeline/filters/mosaic_kernels.h"

namespace teko::pipeline {

const MosaicKernels kMosaicV2 = mosaic::kKernels;

}  // namespace teko::pipeline
