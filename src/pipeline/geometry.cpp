// Frame geometry and zoom: the size negotiation across the stack, the sensor
// window written into the camera, and the entries that set the picture format.
#include <algorithm>
#include <optional>

#include "api/driver_state.h"
#include "link/link.h"
#include "pipeline/pipeline.h"
#include "platform/platform.h"

namespace teko::pipeline {
namespace {

using link::Register;

SensorGeometry gGeometry;

// Picture size limits per zoom state, inclusive.
constexpr int32_t kMaxWidth = 320;
constexpr int32_t kMaxHeight = 240;
constexpr int32_t kMaxZoomWidth = 640;
constexpr int32_t kMaxZoomHeight = 480;

constexpr int32_t kDepthRgb24 = 24;
constexpr int32_t kDepthRgb555 = 16;

// With allLines off the camera delivers one raw line per three sensor lines.
constexpr int32_t kSensorLinesPerRawLine = 3;

// The raw width the first filter asks for is rounded up to whole 32-bit words.
constexpr int32_t kRawWidthAlign = 4;

constexpr int32_t kTopOffsetAttempts = 5;
// A left offset beyond this is pulled back by the same amount.
constexpr int32_t kLeftFold = 4;

constexpr const char* kTopOffsetFail = "Set TopOffset Fail!";
constexpr const char* kLeftOffsetFail = "Set LeftOffset Fail!";
constexpr const char* kRightOffsetFail = "Set RightOffset Fail!";

int32_t WriteRegister(Register reg, int32_t value) {
    return link::WriteCameraRegister(static_cast<int32_t>(reg), value);
}

// Writes the window registers in order; the text of the first failed write,
// or nullptr when all were acknowledged. Later registers are not written.
const char* WriteWindow(int32_t top, int32_t left) {
    bool topWritten = false;
    for (int32_t attempt = 0; attempt < kTopOffsetAttempts && !topWritten; ++attempt) {
        topWritten = WriteRegister(Register::TopOffset, top) != 0;
    }
    if (!topWritten) return kTopOffsetFail;
    if (WriteRegister(Register::LeftOffset, left) == 0) return kLeftOffsetFail;
    if (WriteRegister(Register::RightOffset, 0) == 0) return kRightOffsetFail;
    return nullptr;
}

bool WithinLimits(int32_t width, int32_t height) {
    const bool zoomed = Settings().zoom != 0;
    const int32_t maxWidth = zoomed ? kMaxZoomWidth : kMaxWidth;
    const int32_t maxHeight = zoomed ? kMaxZoomHeight : kMaxHeight;
    return width >= 0 && width <= maxWidth && height >= 0 && height <= maxHeight;
}

}  // namespace

const SensorGeometry& Geometry() {
    return gGeometry;
}

void ReadSensorGeometry() {
    // An unanswered read keeps the geometry of the last answer.
    if (const std::optional<int32_t> type = link::ReadSensorTypeCode())
        gGeometry = link::GeometryOf(*type);
}

void NegotiateFrameSizes(int32_t width, int32_t height) {
    FrameSize size{width, height};
    for (int32_t i = GetFilterCount() - 1; i >= 0; --i)
        GetFilter(i)->SetOutputSize(size);
    size.width = (size.width + (kRawWidthAlign - 1)) & ~(kRawWidthAlign - 1);
    SetRawSize(size.width, size.height);
    const int32_t count = GetFilterCount();
    for (int32_t i = 0; i < count; ++i)
        GetFilter(i)->SetInputSize(size);
}

int32_t SetSensorWindow(int32_t width, int32_t height) {
    ReadSensorGeometry();
    const SensorGeometry& g = gGeometry;
    const int32_t w = std::min(width, g.sensorColumns);
    const int32_t h = std::min(height, g.sensorLines);

    int32_t left = (g.sensorColumns - w) / 4;
    if (left > kLeftFold) left -= kLeftFold;
    left += g.leftBase;

    const int32_t top =
        ((g.sensorLines - h) / 2 + g.topBase) & ~1;  // the window starts on an even line

    if (const char* failure = WriteWindow(top, left); failure != nullptr) {
        platform::ShowMessage(failure);
        return 0;
    }
    return 1;
}

void InitFilterStack(int32_t zoom, int32_t allLines, int32_t sharpen) {
    Settings().zoom = zoom;
    Settings().allLines = allLines;
    Settings().sharpen = sharpen;
}

int32_t SetFrameSize(int32_t width, int32_t height, int32_t depth) {
    // Without an open camera on a probed port there is nothing to program:
    // refuse before anything changes. (A closed camera's port has been given
    // back; buffers made then would also outlive the next InitTeko.)
    if (!link::HasPort() || api::Driver().openCount == 0) return 0;
    if (!WithinLimits(width, height)) return 0;
    if (depth != kDepthRgb24 && depth != kDepthRgb555) return 0;

    Settings().outputDepth = depth;
    // A stack that could not be created completely is left empty and unsized.
    if (BuildFilterStack() == 0) return 0;
    NegotiateFrameSizes(width, height);

    api::DiscardPendingFrame();

    const int32_t windowHeight =
        Settings().allLines != 0 ? RawHeight() : kSensorLinesPerRawLine * RawHeight();
    if (SetSensorWindow(RawWidth(), windowHeight) == 0) return 0;
    if (AllocateFilterBuffers() == 0) return 0;

    api::Driver().modeCounter = 0;
    SetBuffersReady(true);
    return 1;
}

int32_t EnableZoom(int32_t enable) {
    const bool zoomed = Settings().zoom != 0;
    if (zoomed == (enable != 0)) return 0;
    Settings().zoom = enable;
    if (BuffersReady()) ReleaseFilterBuffers();
    SetBuffersReady(false);
    DestroyFilters();
    BuildZoomDefaultStack(enable);
    return 1;
}

void ResetGeometryForTesting() {
    gGeometry = SensorGeometry{};
}

}  // namespace teko::pipeline
