// Raw mosaic conversions: the sensor samples become Ycc or Yc pixels.
//
// Each raw row alternates two kinds of sample, at even and at odd columns.
// Their mean is luminance; on even rows even minus odd is the red
// difference, on odd rows odd minus even is the blue difference.
#include "pipeline/filters/filters.h"
#include "pipeline/filters/mosaic_kernels.h"
#include "pipeline/simd_level.h"

namespace teko::pipeline {

const MosaicKernels kMosaicPortable = mosaic::kKernels;

namespace {

const MosaicKernels& Kernels() {
    return LevelTables<MosaicKernels>{kMosaicPortable, kMosaicV2, kMosaicV3, kMosaicV4}.Active();
}

}  // namespace

// ---- CMosaicBlockToYcc ----

void CMosaicBlockToYcc::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {2 * size.width + 2, size.height + 1};
}

int32_t CMosaicBlockToYcc::GetWorkBufferSize() const {
    return 3 * outputWidth * outputHeight;
}

// Output rows 2i and 2i + 1 from input rows 2i to 2i + 2, each pixel x from
// the four samples 2x to 2x + 3 of a row:
//
//   input row 2i      ->  Y and Cr of output row 2i
//   input row 2i + 1  ->  Cb of output rows 2i and 2i + 1, Y of output row 2i + 1
//   input row 2i + 2  ->  Cr of output row 2i + 1
//
// An odd last output row is left as it was.
void CMosaicBlockToYcc::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;
    Kernels().blockToYcc({current, inputWidth, workBuffer, filters::kYccBytes * outputWidth,
                          outputWidth, outputHeight});
    current = workBuffer;
}

// ---- CMosaicInterpolateToYcc ----

void CMosaicInterpolateToYcc::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width + 2, size.height + 2};
}

int32_t CMosaicInterpolateToYcc::GetWorkBufferSize() const {
    return 3 * outputWidth * outputHeight;
}

// Output row y from input rows y to y + 2, its centre samples at columns 1..W.
void CMosaicInterpolateToYcc::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;
    Kernels().interpolateToYcc({current, inputWidth, workBuffer, filters::kYccBytes * outputWidth,
                                outputWidth, outputHeight});
    current = workBuffer;
}

// ---- CMosaicToYcInPlace ----

void CMosaicToYcInPlace::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {2 * size.width + 1, size.height};
}

void CMosaicToYcInPlace::SetInputSize(FrameSize& size) {
    inputWidth = size.width;
    inputHeight = size.height;
    // The output rows keep the raw row pitch: two samples per pixel.
    outputWidth = inputWidth / 2;
    size = {outputWidth, outputHeight};
}

// The result is a Yc image whose top row carries Cr, at the raw row pitch.
// An odd last row stays raw. After the last converted row of the frame the
// last pixel reads the zero-filled spare bytes that follow the raw frame.
void CMosaicToYcInPlace::Process(uint8_t*& current) {
    if (current == nullptr) return;
    Kernels().toYcInPlace({current, inputWidth, current, inputWidth, outputWidth, outputHeight});
}

}  // namespace teko::pipeline
