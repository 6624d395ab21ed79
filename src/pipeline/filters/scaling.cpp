// Scaling filters: the 25-to-32 horizontal stretch and the line doubler and
// tripler. The loops are in scaling_kernels.h, built once per processor level.
#include <algorithm>
#include <cstring>

#include "pipeline/filters/filters.h"
#include "pipeline/filters/pixel.h"
#include "pipeline/filters/scaling_kernels.h"
#include "pipeline/simd_level.h"

namespace teko::pipeline {

const ScalingKernels kScalingPortable = scaling_kernels::kKernels;

namespace {

using namespace filters;

const ScalingKernels& Kernels() {
    return LevelTables<ScalingKernels>{kScalingPortable, kScalingV2, kScalingV3, kScalingV4}
        .Active();
}

// Output pixel x samples the input at 25x / 32: between in[k] and in[k + 1]
// at phase d, every component is (in[k] x (32 - d) + in[k + 1] x d) >> 5.
// At phase 0 the weights 32 and 0 give an exact copy of in[k], so the copy
// needs no branch of its own. The last output pixel of a row may need
// in[k + 1] one pixel past the input row: the first pixel of the next row,
// or after the last row the zero-filled spare bytes that follow every buffer.
template <int32_t kBytes>
void Stretch(const CFilter& filter, const uint8_t* in, uint8_t* out) {
    // Never more rows than the work buffer holds.
    const int32_t rows = std::min(filter.inputHeight, filter.outputHeight);
    const ScalingKernels& kernels = Kernels();
    auto* stretch = kBytes == kYccBytes ? kernels.stretchYcc : kernels.stretchYc;
    stretch(in, kBytes * filter.inputWidth, out, filter.outputWidth, rows);
}

}  // namespace

// ---- CYccHorizontalStretch ----

void CYccHorizontalStretch::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {(25 * size.width + 31) / 32, size.height};
}

int32_t CYccHorizontalStretch::GetWorkBufferSize() const {
    return 3 * outputWidth * outputHeight;
}

void CYccHorizontalStretch::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;
    Stretch<kYccBytes>(*this, current, workBuffer);
    current = workBuffer;
}

// ---- CYcHorizontalStretch ----

void CYcHorizontalStretch::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {(25 * size.width + 31) / 32, size.height};
}

int32_t CYcHorizontalStretch::GetWorkBufferSize() const {
    return 2 * outputWidth * outputHeight;
}

// Neighbouring pixels of a Yc row carry the same kind of colour difference,
// so C is interpolated like the Ycc differences.
void CYcHorizontalStretch::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;
    Stretch<kYcBytes>(*this, current, workBuffer);
    current = workBuffer;
}

namespace {

void CopyRow(const uint8_t* in, uint8_t* out, int32_t bytes) {
    std::memcpy(out, in, static_cast<std::size_t>(bytes));
}

}  // namespace

// ---- CYccLineDoubler ----

void CYccLineDoubler::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width, size.height / 2 + 1};
}

int32_t CYccLineDoubler::GetWorkBufferSize() const {
    return 3 * outputWidth * outputHeight;
}

// Output rows 2r and 2r + 1 are input row r and the mean of rows r and r + 1;
// an odd last output row is a copy of the last input row. Rows and widths are
// bounded by the work buffer (they equal the input's after size negotiation).
void CYccLineDoubler::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;
    const int32_t inPitch = kYccBytes * inputWidth;
    const int32_t outPitch = kYccBytes * outputWidth;
    const int32_t bytes = kYccBytes * std::min(inputWidth, outputWidth);
    const auto meanRow = Kernels().meanRow;
    int32_t r = 0;
    for (; r + 1 < outputHeight; r += 2) {
        const uint8_t* upper = RowAt(current, r / 2, inPitch);
        CopyRow(upper, RowAt(workBuffer, r, outPitch), bytes);
        meanRow(upper, upper + inPitch, RowAt(workBuffer, r + 1, outPitch), bytes);
    }
    if (r < outputHeight)
        CopyRow(RowAt(current, r / 2, inPitch), RowAt(workBuffer, r, outPitch), bytes);
    current = workBuffer;
}

// ---- CYccLineTripler ----

void CYccLineTripler::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width, (size.height + 2) / 3 + 1};
}

int32_t CYccLineTripler::GetWorkBufferSize() const {
    return 3 * outputWidth * outputHeight;
}

// Output row r samples the input at row r / 3: a copy of row k, then
// (2 x row k + row k + 1) / 3, then (row k + 2 x row k + 1) / 3. Every frame
// starts again at input row 0.
void CYccLineTripler::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;
    const int32_t inPitch = kYccBytes * inputWidth;
    const int32_t outPitch = kYccBytes * outputWidth;
    const int32_t bytes = outPitch;
    const ScalingKernels& kernels = Kernels();
    // One pass per input row k: the copy, then both thirds from rows k and k + 1.
    for (int32_t r = 0; r < outputHeight; r += 3) {
        const uint8_t* upper = RowAt(current, r / 3, inPitch);
        uint8_t* out = RowAt(workBuffer, r, outPitch);
        CopyRow(upper, out, bytes);
        if (r + 2 < outputHeight) {
            kernels.thirdsRows(upper, upper + inPitch, out + outPitch, out + 2 * outPitch, bytes);
        } else if (r + 1 < outputHeight) {
            kernels.thirdRow(upper, upper + inPitch, out + outPitch, bytes);
        }
    }
    current = workBuffer;
}

}  // namespace teko::pipeline
