// Output stages for Yc images, in both row phases.
#include "pipeline/filters/filters.h"

namespace teko::pipeline {

// ---- CYcCbFirstToRgb24 ----

void CYcCbFirstToRgb24::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width, size.height + 1};
}

void CYcCbFirstToRgb24::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

// ---- CYcCrFirstToRgb24 ----

void CYcCrFirstToRgb24::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width, size.height + 1};
}

void CYcCrFirstToRgb24::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

// ---- CYcCbFirstToRgb555 ----

void CYcCbFirstToRgb555::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width, size.height + 1};
}

void CYcCbFirstToRgb555::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

// ---- CYcCrFirstToRgb555 ----

void CYcCrFirstToRgb555::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width, size.height + 1};
}

void CYcCrFirstToRgb555::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

// ---- CYcCbFirstToUyvy ----

void CYcCbFirstToUyvy::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width, size.height + 1};
}

void CYcCbFirstToUyvy::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

// ---- CYcCrFirstToUyvy ----

void CYcCrFirstToUyvy::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width, size.height + 1};
}

void CYcCrFirstToUyvy::Process(uint8_t*& current) { current = workBuffer; }  // TODO(pipeline): pixels

}  // namespace teko::pipeline
