// Output stages for Ycc images: bottom-up BGR 24, RGB 5-5-5 and packed YUV 4:2:2 in the client's buffer.
#include "pipeline/filters/filters.h"

namespace teko::pipeline {

// ---- CYccToRgb24 ----

void CYccToRgb24::SetOutputSize(FrameSize& size) { CFilter::SetOutputSize(size); }

void CYccToRgb24::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

// ---- CYccToRgb555 ----

void CYccToRgb555::SetOutputSize(FrameSize& size) { CFilter::SetOutputSize(size); }

void CYccToRgb555::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

// ---- CYccToUyvy ----

void CYccToUyvy::SetOutputSize(FrameSize& size) { CFilter::SetOutputSize(size); }

void CYccToUyvy::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

}  // namespace teko::pipeline
