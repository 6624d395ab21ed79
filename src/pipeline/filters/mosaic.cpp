// Raw mosaic conversions: the sensor samples become Ycc or Yc pixels.
//
// Each raw row alternates two kinds of sample, at even and at odd columns.
// Their mean is luminance; on even rows even minus odd is the red
// difference, on odd rows odd minus even is the blue difference.
#include "pipeline/filters/filters.h"
#include "pipeline/filters/pixel.h"

namespace teko::pipeline {
namespace {

using namespace filters;

// The two sums of four neighbouring samples c..c+3 on one row.
struct SamplePair {
    int32_t even;  // s(c) + s(c + 2)
    int32_t odd;   // s(c + 1) + s(c + 3)
};

inline SamplePair SumsAt(const uint8_t* s) {
    return {s[0] + s[2], s[1] + s[3]};
}

}  // namespace

// ---- CMosaicBlockToYcc ----

void CMosaicBlockToYcc::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {2 * size.width + 2, size.height + 1};
}

int32_t CMosaicBlockToYcc::GetWorkBufferSize() const {
    return 3 * outputWidth * outputHeight;
}

// Output rows 2i and 2i + 1 from input rows 2i to 2i + 2, each pixel x from
// the four samples 2x to 2x + 3 of a row:
//
//   input row 2i      ->  Y and Cr of output row 2i
//   input row 2i + 1  ->  Cb of output rows 2i and 2i + 1, Y of output row 2i + 1
//   input row 2i + 2  ->  Cr of output row 2i + 1
//
// An odd last output row is left as it was.
void CMosaicBlockToYcc::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;
    const int32_t width = outputWidth;
    const int32_t outPitch = kYccBytes * width;
    for (int32_t r = 0; r + 1 < outputHeight; r += 2) {
        const uint8_t* s0 = RowAt(current, r, inputWidth);
        const uint8_t* s1 = s0 + inputWidth;
        const uint8_t* s2 = s1 + inputWidth;
        uint8_t* out0 = RowAt(workBuffer, r, outPitch);
        uint8_t* out1 = out0 + outPitch;
        for (int32_t x = 0; x < width; ++x) {
            const int32_t c = 2 * x;
            const SamplePair red = SumsAt(s0 + c);
            const SamplePair blue = SumsAt(s1 + c);
            const SamplePair nextRed = SumsAt(s2 + c);
            const int32_t cb = (blue.odd - blue.even) >> 2;
            StoreYcc(out0 + kYccBytes * x, (red.even + red.odd) >> 2, (red.even - red.odd) >> 2,
                     cb);
            StoreYcc(out1 + kYccBytes * x, (blue.even + blue.odd) >> 2,
                     (nextRed.even - nextRed.odd) >> 2, cb);
        }
    }
    current = workBuffer;
}

// ---- CMosaicInterpolateToYcc ----

void CMosaicInterpolateToYcc::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    size = {size.width + 2, size.height + 2};
}

int32_t CMosaicInterpolateToYcc::GetWorkBufferSize() const {
    return 3 * outputWidth * outputHeight;
}

namespace {

// One pixel from the 3 x 3 neighbourhood of sample c on the centre row:
//
//   D  V  D     P centre, H mean of left and right, V mean of above and
//   H  P  H     below, D mean of the four diagonals
//   D  V  D
//
// Horizontal difference P - H and diagonal difference D - V give the two
// colour differences; which is which depends on the output row's parity, and
// their sign flips where row and column parity differ.
template <bool kOddRow, bool kOddColumn>
inline void InterpolatePixel(const uint8_t* above, const uint8_t* centre, const uint8_t* below,
                             int32_t c, uint8_t* out) {
    const int32_t p = centre[c];
    const int32_t h = (centre[c - 1] + centre[c + 1]) >> 1;
    const int32_t v = (above[c] + below[c]) >> 1;
    const int32_t d = (above[c - 1] + above[c + 1] + below[c - 1] + below[c + 1]) >> 2;
    constexpr bool kSameParity = kOddRow == kOddColumn;
    const int32_t horizontal = (kSameParity ? p - h : h - p) >> 1;
    const int32_t diagonal = (kSameParity ? d - v : v - d) >> 1;
    const int32_t cr = kOddRow ? horizontal : diagonal;
    const int32_t cb = kOddRow ? diagonal : horizontal;
    StoreYcc(out, (p + h) >> 1, cr, cb);
}

// Output row y; its centre samples lie on input row y + 1, columns 1..W.
template <bool kOddRow>
void InterpolateRow(const uint8_t* above, int32_t pitch, uint8_t* out, int32_t width) {
    const uint8_t* centre = above + pitch;
    const uint8_t* below = centre + pitch;
    int32_t x = 0;
    for (; x + 1 < width; x += 2) {
        InterpolatePixel<kOddRow, false>(above, centre, below, x + 1, out + kYccBytes * x);
        InterpolatePixel<kOddRow, true>(above, centre, below, x + 2, out + kYccBytes * (x + 1));
    }
    if (x < width)
        InterpolatePixel<kOddRow, false>(above, centre, below, x + 1, out + kYccBytes * x);
}

}  // namespace

void CMosaicInterpolateToYcc::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;
    const int32_t width = outputWidth;
    const int32_t outPitch = kYccBytes * width;
    int32_t y = 0;
    for (; y + 1 < outputHeight; y += 2) {
        InterpolateRow<false>(RowAt(current, y, inputWidth), inputWidth,
                              RowAt(workBuffer, y, outPitch), width);
        InterpolateRow<true>(RowAt(current, y + 1, inputWidth), inputWidth,
                             RowAt(workBuffer, y + 1, outPitch), width);
    }
    if (y < outputHeight) {
        InterpolateRow<false>(RowAt(current, y, inputWidth), inputWidth,
                              RowAt(workBuffer, y, outPitch), width);
    }
    current = workBuffer;
}

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

namespace {

// Rewrites samples 2x and 2x + 1 as pixel x. Each step reads samples 2x to
// 2x + 3 before it writes, so it always sees unconverted samples; the last
// pixel reads the first two samples of the next row, which is converted later.
template <bool kBlueRow>
void ConvertRowInPlace(uint8_t* row, int32_t width) {
    for (int32_t x = 0; x < width; ++x) {
        uint8_t* s = row + 2 * x;
        const SamplePair sums = SumsAt(s);
        s[kLumaByte] = Low8((sums.even + sums.odd) >> 2);
        s[kChromaByte] = Low8(kBlueRow ? (sums.odd - sums.even) >> 2 : (sums.even - sums.odd) >> 2);
    }
}

}  // namespace

// The result is a Yc image whose top row carries Cr, at the raw row pitch.
// An odd last row stays raw. After the last converted row of the frame the
// last pixel reads the zero-filled spare bytes that follow the raw frame.
void CMosaicToYcInPlace::Process(uint8_t*& current) {
    if (current == nullptr) return;
    for (int32_t r = 0; r + 1 < outputHeight; r += 2) {
        ConvertRowInPlace<false>(RowAt(current, r, inputWidth), outputWidth);
        ConvertRowInPlace<true>(RowAt(current, r + 1, inputWidth), outputWidth);
    }
}

}  // namespace teko::pipeline
