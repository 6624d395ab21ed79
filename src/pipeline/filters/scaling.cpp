// Scaling filters: the 25-to-32 horizontal stretch and the line doubler and tripler.
#include "pipeline/filters/filters.h"

namespace teko::pipeline {

// ---- CYccHorizontalStretch ----

void CYccHorizontalStretch::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {(25 * size.width + 31) / 32, size.height};
}

int32_t CYccHorizontalStretch::GetWorkBufferSize() const { return 3 * outputWidth * outputHeight; }

void CYccHorizontalStretch::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

// ---- CYcHorizontalStretch ----

void CYcHorizontalStretch::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {(25 * size.width + 31) / 32, size.height};
}

int32_t CYcHorizontalStretch::GetWorkBufferSize() const { return 2 * outputWidth * outputHeight; }

void CYcHorizontalStretch::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

// ---- CYccLineDoubler ----

void CYccLineDoubler::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width, size.height / 2 + 1};
}

int32_t CYccLineDoubler::GetWorkBufferSize() const { return 3 * outputWidth * outputHeight; }

void CYccLineDoubler::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

// ---- CYccLineTripler ----

void CYccLineTripler::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width, (size.height + 2) / 3 + 1};
}

int32_t CYccLineTripler::GetWorkBufferSize() const { return 3 * outputWidth * outputHeight; }

void CYccLineTripler::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

}  // namespace teko::pipeline
