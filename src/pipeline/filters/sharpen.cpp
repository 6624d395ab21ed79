// Sharpening and smoothing filters.
#include "pipeline/filters/filters.h"

namespace teko::pipeline {

// ---- CYccSharpen ----

void CYccSharpen::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width + 2, size.height + 2};
}

int32_t CYccSharpen::GetWorkBufferSize() const { return 3 * outputWidth * outputHeight; }

void CYccSharpen::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

// ---- CYccHorizontalSharpen ----

void CYccHorizontalSharpen::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width + 2, size.height};
}

int32_t CYccHorizontalSharpen::GetWorkBufferSize() const { return 3 * outputWidth * outputHeight; }

void CYccHorizontalSharpen::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

// ---- CYccVerticalSmooth ----

void CYccVerticalSmooth::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width + 2, size.height + 2};
}

int32_t CYccVerticalSmooth::GetWorkBufferSize() const { return 3 * outputWidth * outputHeight; }

void CYccVerticalSmooth::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

// ---- CYcSharpen ----

void CYcSharpen::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width + 2, size.height + 2};
}

int32_t CYcSharpen::GetWorkBufferSize() const { return 2 * outputWidth * outputHeight; }

void CYcSharpen::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

}  // namespace teko::pipeline
