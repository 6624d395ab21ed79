// The mosaic kernels built for x86-64-v4 processors.
#include "pipeline/filters/mosaic_kernels.h"

namespace teko::pipeline {

const MosaicKernels kMosaicV4 = mosaic::kKernels;

}  // namespace teko::pipeline
