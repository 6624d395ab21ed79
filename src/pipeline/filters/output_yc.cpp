// Output stages for Yc images, in both row phases. Row r of a Yc image
// carries one kind of colour difference and row r + 1 the other, so output
// row r takes its luminance from input row r and its red and blue
// differences from rows r and r + 1.
#include "pipeline/filters/colour.h"
#include "pipeline/filters/filters.h"

namespace teko::pipeline {
namespace {

using namespace filters;

// The rows one output row is made from.
struct SourceRows {
    const uint8_t* luma;
    const uint8_t* red;
    const uint8_t* blue;
};

// Packed YUV: U from the even pixel's blue difference, V from the odd pixel's
// red difference. An odd width leaves the last column as it was.
struct UyvyRow {
    static void Convert(const ColourConverter& colour, SourceRows rows, uint8_t* dst,
                        int32_t width) {
        const int32_t pairs = width / 2;
        for (int32_t k = 0; k < pairs; ++k, dst += 2 * kUyvyBytes) {
            const int32_t even = 2 * kYcBytes * k;
            const int32_t odd = even + kYcBytes;
            StoreUyvyWord(dst, colour.U(Signed(rows.blue + even + kChromaByte)),
                          colour.Gamma(Unsigned(rows.luma + even)));
            StoreUyvyWord(dst + kUyvyBytes, colour.V(Signed(rows.red + odd + kChromaByte)),
                          colour.Gamma(Unsigned(rows.luma + odd)));
        }
    }
};

// BGR 24 and RGB 5-5-5: every pixel through the colour conversion; no pixel
// is forced to grey here.
template <class Format>
struct RgbRow {
    static void Convert(const ColourConverter& colour, SourceRows rows, uint8_t* dst,
                        int32_t width) {
        for (int32_t x = 0; x < width; ++x, dst += Format::kBytes) {
            const int32_t offset = kYcBytes * x;
            Format::Store(dst, colour.Convert(Unsigned(rows.luma + offset),
                                              Signed(rows.red + offset + kChromaByte),
                                              Signed(rows.blue + offset + kChromaByte)));
        }
    }
};

// Output rows are made in pairs; an odd last row is not produced, so the
// client's first row keeps what it held. Input rows 0 to 2 x (H / 2) are read.
template <class Row, bool kRedFirst>
void YcToOutput(const CFilter& stage, const uint8_t* in, uint8_t* client, int32_t bytesPerPixel) {
    const ColourConverter colour;
    const int32_t width = stage.outputWidth;
    const int32_t height = stage.outputHeight;
    const int32_t rowSize = RowSize(width, bytesPerPixel);
    const int32_t pitch = kYcBytes * stage.inputWidth;
    for (int32_t r = 0; r + 1 < height; r += 2) {
        const uint8_t* upper = RowAt(in, r, pitch);  // carries red when red comes first
        const uint8_t* lower = upper + pitch;        // the other kind
        const uint8_t* next = lower + pitch;         // the first kind again
        const SourceRows even =
            kRedFirst ? SourceRows{upper, upper, lower} : SourceRows{upper, lower, upper};
        const SourceRows odd =
            kRedFirst ? SourceRows{lower, next, lower} : SourceRows{lower, lower, next};
        Row::Convert(colour, even, BottomUpRow(client, r, height, rowSize), width);
        Row::Convert(colour, odd, BottomUpRow(client, r + 1, height, rowSize), width);
    }
}

template <class Row, bool kRedFirst>
void RunYcStage(CFilter& stage, uint8_t*& current, int32_t bytesPerPixel) {
    if (stage.workBuffer == nullptr) return;  // no destination: nothing to write into
    YcToOutput<Row, kRedFirst>(stage, current, stage.workBuffer, bytesPerPixel);
    current = stage.workBuffer;
}

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
    RunYcStage<RgbRow<Bgr24Format>, kCbFirst>(*this, current, Bgr24Format::kBytes);
}

// ---- CYcCrFirstToRgb24 ----

void CYcCrFirstToRgb24::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    ReportOneMoreRow(size);
}

void CYcCrFirstToRgb24::Process(uint8_t*& current) {
    RunYcStage<RgbRow<Bgr24Format>, kCrFirst>(*this, current, Bgr24Format::kBytes);
}

// ---- CYcCbFirstToRgb555 ----

void CYcCbFirstToRgb555::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    ReportOneMoreRow(size);
}

void CYcCbFirstToRgb555::Process(uint8_t*& current) {
    RunYcStage<RgbRow<Rgb555Format>, kCbFirst>(*this, current, Rgb555Format::kBytes);
}

// ---- CYcCrFirstToRgb555 ----

void CYcCrFirstToRgb555::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    ReportOneMoreRow(size);
}

void CYcCrFirstToRgb555::Process(uint8_t*& current) {
    RunYcStage<RgbRow<Rgb555Format>, kCrFirst>(*this, current, Rgb555Format::kBytes);
}

// ---- CYcCbFirstToUyvy ----

void CYcCbFirstToUyvy::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    ReportOneMoreRow(size);
}

void CYcCbFirstToUyvy::Process(uint8_t*& current) {
    RunYcStage<UyvyRow, kCbFirst>(*this, current, kUyvyBytes);
}

// ---- CYcCrFirstToUyvy ----

void CYcCrFirstToUyvy::SetOutputSize(FrameSize& size) {
    CFilter::SetOutputSize(size);
    ReportOneMoreRow(size);
}

void CYcCrFirstToUyvy::Process(uint8_t*& current) {
    RunYcStage<UyvyRow, kCrFirst>(*this, current, kUyvyBytes);
}

}  // namespace teko::pipeline
