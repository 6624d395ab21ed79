// Scaling filters: the 25-to-32 horizontal stretch and the line doubler and tripler.
#include <algorithm>
#include <cstring>

#include "pipeline/filters/filters.h"
#include "pipeline/filters/pixel.h"

namespace teko::pipeline {
namespace {

using namespace filters;

// The stretch steps its sampling position in 32nds of an input pixel.
inline constexpr int32_t kPhaseOne = 32;
inline constexpr int32_t kPhaseShift = 5;
inline constexpr int32_t kPhaseStep = 25;

// Output pixel x samples the input at 25x / 32: between in[k] and in[k + 1]
// at phase d, every component is (in[k] x (32 - d) + in[k + 1] x d) >> 5.
// At phase 0 the weights 32 and 0 give an exact copy of in[k], so the copy
// needs no branch of its own.
template <int32_t kBytes>
void StretchRow(const uint8_t* in, uint8_t* out, int32_t width) {
    int32_t d = 0;
    for (int32_t x = 0; x < width; ++x, out += kBytes) {
        const uint8_t* next = in + kBytes;
        for (int32_t j = 0; j < kBytes; ++j) {
            out[j] =
                Low8((Component(in, j) * (kPhaseOne - d) + Component(next, j) * d) >> kPhaseShift);
        }
        d += kPhaseStep;
        if (d >= kPhaseOne) {
            d -= kPhaseOne;
            in = next;
        }
    }
}

// The last output pixel of a row may need in[k + 1] one pixel past the
// input row: the first pixel of the next row, or after the last row the
// zero-filled spare bytes that follow every buffer.
template <int32_t kBytes>
void Stretch(const CFilter& filter, const uint8_t* in, uint8_t* out) {
    // Never more rows than the work buffer holds.
    const int32_t rows = std::min(filter.inputHeight, filter.outputHeight);
    const int32_t inPitch = kBytes * filter.inputWidth;
    const int32_t outPitch = kBytes * filter.outputWidth;
    for (int32_t y = 0; y < rows; ++y) {
        StretchRow<kBytes>(RowAt(in, y, inPitch), RowAt(out, y, outPitch), filter.outputWidth);
    }
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

// Every component of a Ycc row is (wa x a + wb x b) / 3, truncating toward zero.
template <int32_t kWeightA, int32_t kWeightB>
void BlendThirds(const uint8_t* a, const uint8_t* b, uint8_t* out, int32_t bytes) {
    constexpr int32_t kThirds = 3;
    for (int32_t i = 0; i < bytes; i += kYccBytes) {
        for (int32_t j = 0; j < kYccBytes; ++j) {
            out[i + j] =
                Low8((kWeightA * Component(a + i, j) + kWeightB * Component(b + i, j)) / kThirds);
        }
    }
}

// Every component of a Ycc row is (a + b) >> 1, rounding toward minus infinity.
void MeanRow(const uint8_t* a, const uint8_t* b, uint8_t* out, int32_t bytes) {
    for (int32_t i = 0; i < bytes; i += kYccBytes) {
        for (int32_t j = 0; j < kYccBytes; ++j) {
            out[i + j] = Low8((Component(a + i, j) + Component(b + i, j)) >> 1);
        }
    }
}

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
    int32_t r = 0;
    for (; r + 1 < outputHeight; r += 2) {
        const uint8_t* upper = RowAt(current, r / 2, inPitch);
        CopyRow(upper, RowAt(workBuffer, r, outPitch), bytes);
        MeanRow(upper, upper + inPitch, RowAt(workBuffer, r + 1, outPitch), bytes);
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
    for (int32_t r = 0; r < outputHeight; ++r) {
        const uint8_t* upper = RowAt(current, r / 3, inPitch);
        uint8_t* out = RowAt(workBuffer, r, outPitch);
        switch (r % 3) {
            case 0:
                CopyRow(upper, out, bytes);
                break;
            case 1:
                BlendThirds<2, 1>(upper, upper + inPitch, out, bytes);
                break;
            default:
                BlendThirds<1, 2>(upper, upper + inPitch, out, bytes);
                break;
        }
    }
    current = workBuffer;
}

}  // namespace teko::pipeline
