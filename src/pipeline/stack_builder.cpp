// The filter stack builder: chooses the filters for the current pipeline
// settings, creates them in processing order, and runs a frame through them.
#include <array>
#include <cstddef>
#include <cstring>

#include "pipeline/filters/filters.h"
#include "pipeline/pipeline.h"

namespace teko::pipeline {
namespace {

// Configuration code bits.
constexpr int32_t kCodeSharpen = 0x01;
constexpr int32_t kCodeZoom = 0x02;
constexpr int32_t kCodeAllLines = 0x04;
constexpr int32_t kCodeRgb24 = 0x08;
constexpr int32_t kCodeUyvy = 0x10;
// The low three bits select the front of the stack (everything before the output stage).
constexpr int32_t kFrontMask = kCodeSharpen | kCodeZoom | kCodeAllLines;

constexpr int32_t kDepthRgb24 = 24;
constexpr int32_t kRealizedUyvy = 1;

using Factory = CFilter* (*)();
constexpr int32_t kMaxStackFilters = 6;

// Filter factories in processing order; the first `count` slots are used.
struct StackRow {
    std::array<Factory, kMaxStackFilters> filters{};
    int32_t count = 0;
};

// What a front delivers to the output stage.
enum class FrontOutput { Ycc, YcCrFirst, YcCbFirst };

struct Front {
    StackRow filters;
    FrontOutput output;
};

template <class... Filters>
constexpr StackRow Row() {
    static_assert(sizeof...(Filters) <= kMaxStackFilters);
    return StackRow{{&NewFilter<Filters>...}, static_cast<int32_t>(sizeof...(Filters))};
}

// Fronts by code & 7: bit 0 sharpen, bit 1 zoom, bit 2 allLines.
constexpr std::array<Front, 8> kFronts = {{
    // 0: block conversion, lines tripled
    {Row<CMosaicBlockToYcc, CYccHorizontalStretch, CYccLineTripler>(), FrontOutput::Ycc},
    // 1: as 0, sharpened across after the stretch
    {Row<CMosaicBlockToYcc, CYccHorizontalStretch, CYccHorizontalSharpen, CYccLineTripler>(),
     FrontOutput::Ycc},
    // 2: zoom, every third line: tripled, then doubled
    {Row<CMosaicInterpolateToYcc, CYccHorizontalStretch, CYccLineTripler, CYccLineDoubler>(),
     FrontOutput::Ycc},
    // 3: as 2, sharpened across after the stretch
    {Row<CMosaicInterpolateToYcc, CYccHorizontalStretch, CYccHorizontalSharpen, CYccLineTripler,
         CYccLineDoubler>(),
     FrontOutput::Ycc},
    // 4: every line, Yc images
    {Row<CMosaicToYcInPlace, CYcHorizontalStretch>(), FrontOutput::YcCrFirst},
    // 5: as 4, sharpened; the sharpened rows start with a blue difference
    {Row<CMosaicToYcInPlace, CYcHorizontalStretch, CYcSharpen>(), FrontOutput::YcCbFirst},
    // 6: zoom, every line: doubled
    {Row<CMosaicInterpolateToYcc, CYccHorizontalStretch, CYccLineDoubler>(), FrontOutput::Ycc},
    // 7: as 6, sharpened after the doubler
    {Row<CMosaicInterpolateToYcc, CYccHorizontalStretch, CYccLineDoubler, CYccSharpen>(),
     FrontOutput::Ycc},
}};

enum class OutputFamily { Rgb555, Rgb24, Uyvy };

constexpr Factory OutputStageFactory(OutputFamily family, FrontOutput input) {
    switch (family) {
        case OutputFamily::Rgb555:
            switch (input) {
                case FrontOutput::Ycc:
                    return &NewFilter<CYccToRgb555>;
                case FrontOutput::YcCrFirst:
                    return &NewFilter<CYcCrFirstToRgb555>;
                case FrontOutput::YcCbFirst:
                    return &NewFilter<CYcCbFirstToRgb555>;
            }
            break;
        case OutputFamily::Rgb24:
            switch (input) {
                case FrontOutput::Ycc:
                    return &NewFilter<CYccToRgb24>;
                case FrontOutput::YcCrFirst:
                    return &NewFilter<CYcCrFirstToRgb24>;
                case FrontOutput::YcCbFirst:
                    return &NewFilter<CYcCbFirstToRgb24>;
            }
            break;
        case OutputFamily::Uyvy:
            switch (input) {
                case FrontOutput::Ycc:
                    return &NewFilter<CYccToUyvy>;
                case FrontOutput::YcCrFirst:
                    return &NewFilter<CYcCrFirstToUyvy>;
                case FrontOutput::YcCbFirst:
                    return &NewFilter<CYcCbFirstToUyvy>;
            }
            break;
    }
    return nullptr;
}

constexpr OutputFamily FamilyOf(int32_t code) {
    if ((code & kCodeUyvy) != 0) return OutputFamily::Uyvy;
    if ((code & kCodeRgb24) != 0) return OutputFamily::Rgb24;
    return OutputFamily::Rgb555;
}

// The full stack for a configuration code 0..23.
constexpr StackRow StackFor(int32_t code) {
    const Front& front = kFronts[static_cast<std::size_t>(code & kFrontMask)];
    StackRow row = front.filters;
    row.filters[static_cast<std::size_t>(row.count++)] =
        OutputStageFactory(FamilyOf(code), front.output);
    return row;
}

constexpr int32_t kCodeCount = 24;
constexpr auto kStacks = [] {
    std::array<StackRow, kCodeCount> stacks{};
    for (int32_t code = 0; code < kCodeCount; ++code)
        stacks[code] = StackFor(code);
    return stacks;
}();

constexpr StackRow kZoomOffStack =
    Row<CMosaicBlockToYcc, CYccHorizontalStretch, CYccVerticalSmooth, CYccSharpen, CYccToRgb24>();
constexpr StackRow kZoomOnStack =
    Row<CMosaicInterpolateToYcc, CYccHorizontalStretch, CYccLineDoubler, CYccVerticalSmooth,
        CYccSharpen, CYccToRgb24>();

// Creates the row's filters into the (empty) list. When a filter object cannot
// be created, everything made so far is destroyed and the list stays empty, so
// that no partial stack can be sized, given buffers or run.
int32_t CreateStack(const StackRow& row) {
    for (int32_t i = 0; i < row.count; ++i) {
        CFilter* filter = row.filters[static_cast<std::size_t>(i)]();
        if (filter == nullptr || !AppendFilter(filter)) {
            DeleteFilter(filter);
            DestroyFilters();
            return 0;
        }
    }
    return GetFilterCount();
}

// A raw frame buffer is only ever held together with the ready flag; release
// one that is left over rather than dropping the reference.
void DropRawFrameBuffer() {
    platform::Release(RawFrameBuffer());
    SetRawFrameBuffer(nullptr);
}

}  // namespace

int32_t ConfigurationCode() {
    const PipelineSettings& s = Settings();
    int32_t code = 0;
    if (s.sharpen != 0) code |= kCodeSharpen;
    if (s.zoom != 0) code |= kCodeZoom;
    if (s.allLines != 0) code |= kCodeAllLines;
    if (s.outputDepth == kDepthRgb24) code |= kCodeRgb24;
    if (s.realizedFilter == kRealizedUyvy) code = (code & ~kCodeRgb24) | kCodeUyvy;
    return code;
}

int32_t BuildFilterStack() {
    if (BuffersReady()) ReleaseFilterBuffers();
    SetBuffersReady(false);
    DestroyFilters();
    DropRawFrameBuffer();
    return CreateStack(kStacks[static_cast<std::size_t>(ConfigurationCode())]);
}

int32_t BuildZoomDefaultStack(int32_t zoom) {
    DropRawFrameBuffer();
    return CreateStack(zoom != 0 ? kZoomOnStack : kZoomOffStack);
}

CFilter* OutputStage() {
    return GetFilter(GetFilterCount() - 1);
}

void SetOutputDestination(uint8_t* buffer) {
    if (CFilter* stage = OutputStage(); stage != nullptr) stage->SetWorkBuffer(buffer);
}

namespace {

// Raw samples come in pairs of the two kinds of a mosaic row; the in-place
// conversion's pixels are two bytes too.
constexpr std::size_t kRawPixelBytes = 2;

// Repeats an image's last pixel in the spare bytes after it. Some filters read
// just past the image they are given (the in-place conversion two samples
// after the raw frame, the stretch one pixel after its input's last row, the
// packed YUV stage one pixel after an odd-width last row); they then see the
// edge continued, so the picture's last pixel ends like its neighbours
// instead of being blended with zeros.
void RepeatLastPixel(uint8_t* image, std::size_t bytes, std::size_t pixelBytes) {
    if (image == nullptr || pixelBytes == 0 || pixelBytes > kBufferSlack || bytes < pixelBytes) {
        return;
    }
    std::memcpy(image + bytes, image + bytes - pixelBytes, pixelBytes);
}

void RepeatLastRawPixel() {
    RepeatLastPixel(RawFrameBuffer(),
                    static_cast<std::size_t>(RawWidth()) * static_cast<std::size_t>(RawHeight()),
                    kRawPixelBytes);
}

// After a filter has run: its output, in its work buffer or (for the
// in-place conversion) in the raw frame buffer.
void RepeatLastOutputPixel(const CFilter& filter, const uint8_t* current) {
    const int32_t bytes = filter.GetWorkBufferSize();
    const int64_t pixels = int64_t{filter.outputWidth} * filter.outputHeight;
    if (filter.workBuffer != nullptr && bytes > 0 && pixels > 0) {
        RepeatLastPixel(filter.workBuffer, static_cast<std::size_t>(bytes),
                        static_cast<std::size_t>(bytes / pixels));
    } else if (current == RawFrameBuffer()) {
        RepeatLastRawPixel();
    }
}

}  // namespace

void RunFilterStack() {
    uint8_t* current = RawFrameBuffer();
    if (current == nullptr) return;  // no sized stack with buffers
    RepeatLastRawPixel();
    const int32_t count = GetFilterCount();
    for (int32_t i = 0; i < count; ++i) {
        CFilter* filter = GetFilter(i);
        filter->Process(current);
        if (i + 1 < count) RepeatLastOutputPixel(*filter, current);
    }
}

int32_t SetRealizedFilter(int32_t filter) {
    Settings().realizedFilter = filter;
    return 1;
}

}  // namespace teko::pipeline
