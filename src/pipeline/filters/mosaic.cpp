// Raw mosaic conversions: the sensor samples become Ycc or Yc pixels.
#include "pipeline/filters/filters.h"

namespace teko::pipeline {

// ---- CMosaicBlockToYcc ----

void CMosaicBlockToYcc::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {2 * size.width + 2, size.height + 1};
}

int32_t CMosaicBlockToYcc::GetWorkBufferSize() const { return 3 * outputWidth * outputHeight; }

void CMosaicBlockToYcc::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

// ---- CMosaicInterpolateToYcc ----

void CMosaicInterpolateToYcc::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width + 2, size.height + 2};
}

int32_t CMosaicInterpolateToYcc::GetWorkBufferSize() const { return 3 * outputWidth * outputHeight; }

void CMosaicInterpolateToYcc::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

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

void CMosaicToYcInPlace::Process(uint8_t*& /*current*/) {}  // TODO(pipeline): pixels

}  // namespace teko::pipeline
