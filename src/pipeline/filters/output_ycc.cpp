// Output stages for Ycc images: bottom-up BGR 24, RGB 5-5-5 and packed YUV 4:2:2 in the client's
// buffer.
#include "pipeline/filters/colour.h"
#include "pipeline/filters/filters.h"

namespace teko::pipeline {
namespace {

using namespace filters;

// Every input row becomes one destination row; dark pixels with strongly
// opposed colour differences are written grey.
template <class Format>
void YccToRgb(const CFilter& stage, const uint8_t* in, uint8_t* client) {
    const ColourConverter colour;
    const int32_t width = stage.outputWidth;
    const int32_t height = stage.outputHeight;
    const int32_t rowSize = RowSize(width, Format::kBytes);
    const int32_t pitch = kYccBytes * stage.inputWidth;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* src = RowAt(in, y, pitch);
        uint8_t* dst = BottomUpRow(client, y, height, rowSize);
        for (int32_t x = 0; x < width; ++x, src += kYccBytes, dst += Format::kBytes) {
            const int32_t luma = Unsigned(src + kLumaByte);
            const int32_t cr = Signed(src + kCrByte);
            const int32_t cb = Signed(src + kCbByte);
            Format::Store(dst, IsFalseColour(luma, cr, cb) ? colour.Grey(luma)
                                                           : colour.Convert(luma, cr, cb));
        }
    }
}

}  // namespace

// ---- CYccToRgb24 ----

void CYccToRgb24::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
}

void CYccToRgb24::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;  // no destination: nothing to write into
    YccToRgb<Bgr24Format>(*this, current, workBuffer);
    current = workBuffer;
}

// ---- CYccToRgb555 ----

void CYccToRgb555::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
}

void CYccToRgb555::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;
    YccToRgb<Rgb555Format>(*this, current, workBuffer);
    current = workBuffer;
}

// ---- CYccToUyvy ----

void CYccToUyvy::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
}

// Each pair of pixels gives U from the first pixel's Cb and V from the second
// pixel's Cr. An odd width rounds up to a whole pair, which fills the row's
// padding.
void CYccToUyvy::Process(uint8_t*& current) {
    if (workBuffer == nullptr) return;
    const ColourConverter colour;
    const int32_t height = outputHeight;
    const int32_t pairs = (outputWidth + 1) >> 1;
    const int32_t rowSize = RowSize(outputWidth, kUyvyBytes);
    const int32_t pitch = kYccBytes * inputWidth;
    for (int32_t y = 0; y < height; ++y) {
        // With an odd width the last pair's second pixel is the first pixel of
        // the next row, or after the last row the zero-filled spare bytes that
        // follow every work buffer.
        const uint8_t* src = RowAt(current, y, pitch);
        uint8_t* dst = BottomUpRow(workBuffer, y, height, rowSize);
        for (int32_t k = 0; k < pairs; ++k, src += 2 * kYccBytes, dst += 2 * kUyvyBytes) {
            const uint8_t* second = src + kYccBytes;
            StoreUyvyWord(dst, colour.U(Signed(src + kCbByte)), colour.Gamma(Unsigned(src)));
            StoreUyvyWord(dst + kUyvyBytes, colour.V(Signed(second + kCrByte)),
                          colour.Gamma(Unsigned(second)));
        }
    }
    current = workBuffer;
}

}  // namespace teko::pipeline
