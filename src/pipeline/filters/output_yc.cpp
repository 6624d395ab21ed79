// Output stages for Yc images, in both row phases. Row r of a Yc image
// carries one kind of colour difference and row r + 1 the other, so output
// row r takes its luminance from input row r and its red and blue
// differences from rows r and r + 1. The RGB stages force no pixel to grey;
// the packed YUV stages leave the last column of an odd width as it was.
#include "pipeline/filters/filters.h"
#include "pipeline/filters/output_stage.h"

namespace teko::pipeline {
namespace {

using filters::kYcBytes;
using output::RunOutputStage;

constexpr bool kCbFirst = false;
constexpr bool kCrFirst = true;

// The last output row also reads the row below it.
void ReportOneMoreRow(FrameSize& size) {
    size = {size.width, size.height + 1};
}

}  // namespace

// ---- CYcCbFirstToRgb24 ----

void CYcCbFirstToRgb24::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    ReportOneMoreRow(size);
}

void CYcCbFirstToRgb24::Process(uint8_t*& current) {
    RunOutputStage(*this, current, kYcBytes, kCbFirst, &OutputKernels::ycToRgb24);
}

// ---- CYcCrFirstToRgb24 ----

void CYcCrFirstToRgb24::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    ReportOneMoreRow(size);
}

void CYcCrFirstToRgb24::Process(uint8_t*& current) {
    RunOutputStage(*this, current, kYcBytes, kCrFirst, &OutputKernels::ycToRgb24);
}

// ---- CYcCbFirstToRgb555 ----

void CYcCbFirstToRgb555::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    ReportOneMoreRow(size);
}

void CYcCbFirstToRgb555::Process(uint8_t*& current) {
    RunOutputStage(*this, current, kYcBytes, kCbFirst, &OutputKernels::ycToRgb555);
}

// ---- CYcCrFirstToRgb555 ----

void CYcCrFirstToRgb555::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    ReportOneMoreRow(size);
}

void CYcCrFirstToRgb555::Process(uint8_t*& current) {
    RunOutputStage(*this, current, kYcBytes, kCrFirst, &OutputKernels::ycToRgb555);
}

// ---- CYcCbFirstToUyvy ----

void CYcCbFirstToUyvy::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    ReportOneMoreRow(size);
}

void CYcCbFirstToUyvy::Process(uint8_t*& current) {
    RunOutputStage(*this, current, kYcBytes, kCbFirst, &OutputKernels::ycToUyvy);
}

// ---- CYcCrFirstToUyvy ----

void CYcCrFirstToUyvy::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    ReportOneMoreRow(size);
}

void CYcCrFirstToUyvy::Process(uint8_t*& current) {
    RunOutputStage(*this, current, kYcBytes, kCrFirst, &OutputKernels::ycToUyvy);
}

}  // namespace teko::pipeline
