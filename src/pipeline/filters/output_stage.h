// What the nine output stages share: taking the colour settings once per
// frame and running the active level's kernel on them.
#pragma once

#include <cstdint>

#include "pipeline/filter.h"
#include "pipeline/filters/output_kernels.h"
#include "pipeline/pipeline.h"
#include "pipeline/simd_level.h"

namespace teko::pipeline::output {
namespace {

using Kernel = void (*)(const OutputFrame& frame);

// Converts the image at `current` into the client's buffer with the kernel
// `member` of the active level; input rows hold inputWidth pixels of
// `inputBytesPerPixel` bytes.
inline void RunOutputStage(CFilter& stage, uint8_t*& current, int32_t inputBytesPerPixel,
                           bool redFirst, Kernel OutputKernels::*member) {
    if (stage.workBuffer == nullptr) return;  // no destination: nothing to write into
    const ColourParams colour = CurrentColourParams();
    const OutputFrame frame{current,
                            inputBytesPerPixel * stage.inputWidth,
                            stage.workBuffer,
                            stage.outputWidth,
                            stage.outputHeight,
                            colour.redScale,
                            colour.blueScale,
                            colour.gamma.data(),
                            redFirst};
    const OutputKernels& kernels =
        LevelTables<OutputKernels>{kOutputPortable, kOutputV2, kOutputV3, kOutputV4}.Active();
    (kernels.*member)(frame);
    current = stage.workBuffer;
}

}  // namespace
}  // namespace teko::pipeline::output
