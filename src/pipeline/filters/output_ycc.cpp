// Output stages for Ycc images: bottom-up BGR 24, RGB 5-5-5 and packed YUV
// 4:2:2 in the client's buffer; and the portable output kernels.
#include "pipeline/filters/filters.h"
#include "pipeline/filters/output_kernels.h"
#include "pipeline/filters/output_stage.h"

namespace teko::pipeline {

const OutputKernels kOutputPortable = output::kPortableKernels;

using filters::kYccBytes;
using output::RunOutputStage;

// ---- CYccToRgb24 ----

void CYccToRgb24::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
}

// Dark pixels with strongly opposed colour differences are written grey.
void CYccToRgb24::Process(uint8_t*& current) {
    RunOutputStage(*this, current, kYccBytes, false, &OutputKernels::yccToRgb24);
}

// ---- CYccToRgb555 ----

void CYccToRgb555::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
}

void CYccToRgb555::Process(uint8_t*& current) {
    RunOutputStage(*this, current, kYccBytes, false, &OutputKernels::yccToRgb555);
}

// ---- CYccToUyvy ----

void CYccToUyvy::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
}

// Each pair of pixels gives U from the first pixel's Cb and V from the second
// pixel's Cr. An odd width rounds up to a whole pair, which fills the row's
// padding.
void CYccToUyvy::Process(uint8_t*& current) {
    RunOutputStage(*this, current, kYccBytes, false, &OutputKernels::yccToUyvy);
}

}  // namespace teko::pipeline
