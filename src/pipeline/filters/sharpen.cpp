// Sharpening and smoothing filters; the kernels are in sharpen_kernels.h.
#include "pipeline/filters/filters.h"
#include "pipeline/filters/sharpen_kernels.h"
#include "pipeline/simd_level.h"

namespace teko::pipeline {

const SharpenKernels kSharpenPortable = sharpen::kKernels;

namespace {

const SharpenKernels& Kernels() {
    return LevelTables<SharpenKernels>{kSharpenPortable, kSharpenV2, kSharpenV3, kSharpenV4}
        .Active();
}

SharpenFrame FrameOf(const CFilter& filter, const uint8_t* in, int32_t bytesPerPixel) {
    return {in,
            bytesPerPixel * filter.inputWidth,
            filter.workBuffer,
            bytesPerPixel * filter.outputWidth,
            filter.outputWidth,
            filter.outputHeight};
}

}  // namespace

// ---- CYccSharpen ----

void CYccSharpen::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width + 2, size.height + 2};
}

int32_t CYccSharpen::GetWorkBufferSize() const {
    return 3 * outputWidth * outputHeight;
}

// 3 x 3 luminance sharpening; Cr averaged with the right neighbour's, Cb copied.
void CYccSharpen::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;
    Kernels().yccSharpen(FrameOf(*this, current, filters::kYccBytes));
    current = workBuffer;
}

// ---- CYccHorizontalSharpen ----

void CYccHorizontalSharpen::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width + 2, size.height};
}

int32_t CYccHorizontalSharpen::GetWorkBufferSize() const {
    return 3 * outputWidth * outputHeight;
}

// 3 x centre - left - right; colour differences copied.
void CYccHorizontalSharpen::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;
    Kernels().yccHorizontalSharpen(FrameOf(*this, current, filters::kYccBytes));
    current = workBuffer;
}

// ---- CYccVerticalSmooth ----

void CYccVerticalSmooth::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width + 2, size.height + 2};
}

int32_t CYccVerticalSmooth::GetWorkBufferSize() const {
    return 3 * outputWidth * outputHeight;
}

// (above + centre + below) >> 2 for every component: a flat area comes out
// at three quarters of its value.
void CYccVerticalSmooth::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;
    Kernels().yccVerticalSmooth(FrameOf(*this, current, filters::kYccBytes));
    current = workBuffer;
}

// ---- CYcSharpen ----

void CYcSharpen::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width + 2, size.height + 2};
}

int32_t CYcSharpen::GetWorkBufferSize() const {
    return 2 * outputWidth * outputHeight;
}

// 3 x 3 luminance sharpening; C copied. The output starts one input row
// down, so its top row carries the other kind of colour difference than the
// input's top row.
void CYcSharpen::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;
    Kernels().ycSharpen(FrameOf(*this, current, filters::kYcBytes));
    current = workBuffer;
}

}  // namespace teko::pipeline
