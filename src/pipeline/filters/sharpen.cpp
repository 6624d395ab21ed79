// Sharpening and smoothing filters. The centre of output pixel (x, y) is
// input pixel (x + 1, y + 1), or (x + 1, y) for the horizontal sharpener:
//
//          above
//   left  centre  right
//          below
#include "pipeline/filters/filters.h"
#include "pipeline/filters/pixel.h"

namespace teko::pipeline {
namespace {

using namespace filters;

// 4 x centre - (above + below) / 2 - left - right: the weights sum to 1, so
// flat areas keep their luminance.
inline int32_t SharpenLuma(const uint8_t* centre, const uint8_t* above, const uint8_t* below,
                           int32_t bytesPerPixel) {
    return Clamp255(4 * Unsigned(centre) - ((Unsigned(above) + Unsigned(below)) >> 1) -
                    Unsigned(centre - bytesPerPixel) - Unsigned(centre + bytesPerPixel));
}

// Runs `pixel(above, centre, below, out)` over every output pixel, the
// centre starting at input row y + rowOffset, column 1.
template <int32_t kBytes, int32_t kRowOffset, class Pixel>
void ForEachPixel(const CFilter& filter, const uint8_t* in, uint8_t* out, Pixel pixel) {
    const int32_t inPitch = kBytes * filter.inputWidth;
    const int32_t outPitch = kBytes * filter.outputWidth;
    for (int32_t y = 0; y < filter.outputHeight; ++y) {
        const uint8_t* centre = RowAt(in, y + kRowOffset, inPitch) + kBytes;
        uint8_t* dst = RowAt(out, y, outPitch);
        for (int32_t x = 0; x < filter.outputWidth; ++x, centre += kBytes, dst += kBytes) {
            pixel(centre - inPitch, centre, centre + inPitch, dst);
        }
    }
}

constexpr int32_t kCentreRowBelowTop = 1;
constexpr int32_t kCentreRowOnTop = 0;

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
    ForEachPixel<kYccBytes, kCentreRowBelowTop>(
        *this, current, workBuffer,
        [](const uint8_t* above, const uint8_t* centre, const uint8_t* below, uint8_t* out) {
            const int32_t cr =
                (Signed(centre + kCrByte) + Signed(centre + kYccBytes + kCrByte)) >> 1;
            StoreYcc(out, SharpenLuma(centre, above, below, kYccBytes), cr,
                     Signed(centre + kCbByte));
        });
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
    ForEachPixel<kYccBytes, kCentreRowOnTop>(
        *this, current, workBuffer,
        [](const uint8_t*, const uint8_t* centre, const uint8_t*, uint8_t* out) {
            const int32_t luma = Clamp255(3 * Unsigned(centre) - Unsigned(centre - kYccBytes) -
                                          Unsigned(centre + kYccBytes));
            StoreYcc(out, luma, Signed(centre + kCrByte), Signed(centre + kCbByte));
        });
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
    ForEachPixel<kYccBytes, kCentreRowBelowTop>(
        *this, current, workBuffer,
        [](const uint8_t* above, const uint8_t* centre, const uint8_t* below, uint8_t* out) {
            for (int32_t j = 0; j < kYccBytes; ++j) {
                out[j] =
                    Low8((Component(above, j) + Component(centre, j) + Component(below, j)) >> 2);
            }
        });
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
    ForEachPixel<kYcBytes, kCentreRowBelowTop>(
        *this, current, workBuffer,
        [](const uint8_t* above, const uint8_t* centre, const uint8_t* below, uint8_t* out) {
            out[kLumaByte] = Low8(SharpenLuma(centre, above, below, kYcBytes));
            out[kChromaByte] = centre[kChromaByte];
        });
    current = workBuffer;
}

}  // namespace teko::pipeline
