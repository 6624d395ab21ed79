// Differential fuzzer for the filter stacks: every processor level the
// machine runs must write exactly the bytes the portable level writes, and
// nothing outside the client's buffer. The pipeline runs alone (no camera, no
// entries): the input chooses the stack, the picture size, the gains, the
// gamma value and the raw frame.
//
// Input layout (missing bytes read as zero):
//   0      stack: 0..23 the configuration codes, 24 and 25 the EnableZoom stacks
//   1..2   width, 3..4 height (little-endian, reduced to the stack's limits)
//   5..8   red gain, 9..12 blue gain (any 32-bit value, little-endian)
//   13     gamma value 6 + byte % 54
//   14..   raw samples, repeated over the whole raw frame
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "pipeline/pipeline.h"
#include "pipeline/simd_level.h"

namespace {

using namespace teko::pipeline;

constexpr int32_t kCodeSharpen = 0x01;
constexpr int32_t kCodeZoom = 0x02;
constexpr int32_t kCodeAllLines = 0x04;
constexpr int32_t kCodeRgb24 = 0x08;
constexpr int32_t kCodeUyvy = 0x10;
constexpr int32_t kCodeCount = 24;
constexpr int32_t kStackChoices = kCodeCount + 2;
constexpr int32_t kZoomOffStack = kCodeCount;

constexpr int32_t kMaxWidth = 320;
constexpr int32_t kMaxHeight = 240;
constexpr int32_t kMaxZoomWidth = 640;
constexpr int32_t kMaxZoomHeight = 480;
// Every width and height stays reachable, but not both large at once: a
// picture of at most this many pixels keeps an input well below a millisecond.
constexpr int32_t kMaxPixels = 4096;

constexpr int32_t kFirstGamma = 6;
constexpr int32_t kGammaValues = 54;

// Bytes before and after the client's buffer that no level may touch.
constexpr std::size_t kGuard = 64;
constexpr uint8_t kClientFill = 0xA5;

struct Reader {
    std::span<const uint8_t> data;
    std::size_t at = 0;

    uint32_t Bytes(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++at) {
            const uint32_t byte = at < data.size() ? data[at] : 0;
            value |= byte << (8 * i);
        }
        return value;
    }
    std::span<const uint8_t> Rest() const {
        return at < data.size() ? data.subspan(at) : std::span<const uint8_t>{};
    }
};

struct Case {
    int32_t stack;
    int32_t width;
    int32_t height;
    int32_t redScale;
    int32_t blueScale;
    int32_t gamma;
    std::span<const uint8_t> samples;
};

Case Decode(std::span<const uint8_t> input) {
    Reader in{input};
    Case c{};
    c.stack = static_cast<int32_t>(in.Bytes(1) % kStackChoices);
    const bool zoomed =
        c.stack >= kCodeCount ? c.stack != kZoomOffStack : (c.stack & kCodeZoom) != 0;
    c.width = static_cast<int32_t>(in.Bytes(2) % ((zoomed ? kMaxZoomWidth : kMaxWidth) + 1));
    c.height = static_cast<int32_t>(in.Bytes(2) % ((zoomed ? kMaxZoomHeight : kMaxHeight) + 1));
    if (c.width > 0) c.height = std::min(c.height, std::max(1, kMaxPixels / c.width));
    c.redScale = static_cast<int32_t>(in.Bytes(4));
    c.blueScale = static_cast<int32_t>(in.Bytes(4));
    c.gamma = kFirstGamma + static_cast<int32_t>(in.Bytes(1) % kGammaValues);
    c.samples = in.Rest();
    return c;
}

// Bytes per row in the client's buffer, padded to 32-bit words.
std::size_t ClientRowBytes(int32_t stack, int32_t width) {
    const bool threeBytes =
        stack >= kCodeCount || ((stack & kCodeUyvy) == 0 && (stack & kCodeRgb24) != 0);
    return ((threeBytes ? 3u : 2u) * static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
}

// Creates and sizes the stack; false when it could not be created.
bool BuildStack(const Case& c) {
    PipelineSettings& s = Settings();
    if (c.stack < kCodeCount) {
        s.sharpen = c.stack & kCodeSharpen;
        s.zoom = (c.stack & kCodeZoom) != 0 ? 1 : 0;
        s.allLines = (c.stack & kCodeAllLines) != 0 ? 1 : 0;
        s.outputDepth = (c.stack & kCodeRgb24) != 0 ? 24 : 16;
        s.realizedFilter = (c.stack & kCodeUyvy) != 0 ? 1 : 0;
        if (BuildFilterStack() == 0) return false;
    } else {
        s.zoom = c.stack == kZoomOffStack ? 0 : 1;
        if (BuildZoomDefaultStack(s.zoom) == 0) return false;
    }
    NegotiateFrameSizes(c.width, c.height);
    return true;
}

// One frame at `level` into a fresh client buffer with guards on both sides;
// the work buffers are allocated afresh (zero-filled) for every level, so that
// no level reads what another left behind.
std::vector<uint8_t> Frame(SimdLevel level, const Case& c, std::size_t clientBytes) {
    if (!SelectSimdLevel(level)) std::abort();
    if (AllocateFilterBuffers() != 1) std::abort();
    uint8_t* raw = RawFrameBuffer();
    const auto rawBytes =
        static_cast<std::size_t>(RawWidth()) * static_cast<std::size_t>(RawHeight());
    if (c.samples.empty()) {
        std::memset(raw, 0, rawBytes);
    } else {
        for (std::size_t i = 0; i < rawBytes; i += c.samples.size())
            std::memcpy(raw + i, c.samples.data(), std::min(c.samples.size(), rawBytes - i));
    }
    std::vector<uint8_t> client(clientBytes + 2 * kGuard, kClientFill);
    SetOutputDestination(client.data() + kGuard);
    RunFilterStack();
    SetOutputDestination(nullptr);
    ReleaseFilterBuffers();
    return client;
}

[[noreturn]] void Fail(const Case& c, SimdLevel level, const char* what, std::size_t at) {
    std::fprintf(stderr,
                 "stack %d %dx%d gains %d,%d gamma %d at %s: %s (byte %zu of the client's "
                 "buffer, counted from %zu guard bytes before it)\n",
                 c.stack, c.width, c.height, c.redScale, c.blueScale, c.gamma, SimdLevelName(level),
                 what, at, kGuard);
    std::abort();
}

void CheckGuards(const Case& c, SimdLevel level, const std::vector<uint8_t>& client) {
    for (std::size_t i = 0; i < client.size(); ++i) {
        if (i == kGuard) i = client.size() - kGuard;
        if (client[i] != kClientFill) Fail(c, level, "write outside the client's buffer", i);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const Case c = Decode({data, size});
    BuildGammaTable(c.gamma);
    teko::pipeline::SetRedScale(c.redScale);
    teko::pipeline::SetBlueScale(c.blueScale);
    if (!BuildStack(c)) std::abort();  // only a failed allocation refuses a stack
    const std::size_t clientBytes =
        ClientRowBytes(c.stack, c.width) * static_cast<std::size_t>(c.height);

    const std::vector<uint8_t> portable = Frame(SimdLevel::Portable, c, clientBytes);
    CheckGuards(c, SimdLevel::Portable, portable);
    for (const SimdLevel level : kSimdLevels) {
        if (level == SimdLevel::Portable || !SimdLevelSupported(level)) continue;
        const std::vector<uint8_t> fast = Frame(level, c, clientBytes);
        CheckGuards(c, level, fast);
        const auto [differs, _] = std::mismatch(fast.begin(), fast.end(), portable.begin());
        if (differs != fast.end())
            Fail(c, level, "differs from the portable level",
                 static_cast<std::size_t>(differs - fast.begin()));
    }
    DestroyFilters();
    ResetSimdLevelForTesting();
    return 0;
}
