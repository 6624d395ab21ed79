#include "picture_cases.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "pipeline/pipeline.h"
#include "support/hostile_cases.h"
#include "teko32sim/virtual_camera.h"

namespace teko::wintest {
namespace {

constexpr uint16_t kBase = 0x378;
constexpr uint8_t kUntouched = 0xA5;
// Large enough for a 640x480 picture in any output format, rows padded.
constexpr std::size_t kBufferBytes = 640 * 480 * 4;
constexpr int kFramesPerCase = 3;
constexpr uint32_t kClockStepMs = 7;
constexpr auto kThreadWaitLimit = std::chrono::seconds(20);

struct PictureCase {
    const char* name;
    int32_t width, height, depth;
    int32_t realizedFilter;
    int32_t zoom, allLines, sharpen;
    int32_t gamma;  // 0: the table InitTeko builds
    int32_t redScale, blueScale;
    sim::CameraConfig camera;
    bool onThread;
};

sim::CameraConfig Camera(int ccdType = 0, bool epp = true, bool ps2 = true,
                         sim::Attachment attachment = sim::Attachment::Direct) {
    sim::CameraConfig config;
    config.base = kBase;
    config.ccdType = ccdType;
    config.port.epp = epp;
    config.port.ps2 = ps2;
    config.attachment = attachment;
    return config;
}

const PictureCase kCases[] = {
    {"rgb24-320x240", 320, 240, 24, 0, 1, 1, 1, 0, 64, 64, Camera(), false},
    {"rgb16-320x240", 320, 240, 16, 0, 1, 1, 1, 0, 64, 64, Camera(), false},
    {"uyvy-320x240", 320, 240, 24, 1, 1, 1, 1, 0, 64, 64, Camera(), false},
    {"rgb24-zoom-640x480", 640, 480, 24, 0, 1, 1, 1, 0, 64, 64, Camera(), false},
    {"uyvy-zoom-640x480", 640, 480, 16, 1, 1, 1, 0, 0, 64, 64, Camera(), false},
    {"rgb24-thirds-176x144", 176, 144, 24, 0, 0, 0, 1, 25, 80, 48, Camera(), false},
    {"rgb16-plain-160x120", 160, 120, 16, 0, 0, 1, 0, 10, 64, 64, Camera(), false},
    {"uyvy-thirds-317x239", 317, 239, 16, 1, 0, 0, 1, 6, 50, 90, Camera(), false},
    {"rgb24-ccd2-ps2", 320, 240, 24, 0, 1, 1, 1, 59, 64, 64, Camera(2, false), false},
    {"rgb16-spp-passthrough", 200, 150, 16, 0, 1, 1, 1, 33, 70, 60,
     Camera(0, false, false, sim::Attachment::PassThrough), false},
    {"rgb24-thread-320x240", 320, 240, 24, 0, 1, 1, 1, 18, 64, 64, Camera(), true},
    {"uyvy-thread-zoom", 640, 480, 24, 1, 1, 1, 1, 0, 64, 64, Camera(), true},
};

// A picture with every sample value, different in each line and column.
uint8_t Pattern(int line, int column) {
    return static_cast<uint8_t>(line * 7 + column * 3 + (line * column) % 13);
}

struct Clock {
    std::atomic<uint32_t> now{1000};
    static uint32_t TEKO32_CALL Tick(void* context) {
        return static_cast<Clock*>(context)->now.fetch_add(kClockStepMs) + kClockStepMs;
    }
};

struct Messages {
    std::atomic<int> count{0};
    static void TEKO32_CALL Show(void* context, const char* text, const char* caption) {
        static_cast<Messages*>(context)->count.fetch_add(1);
        std::fprintf(stderr, "message (%s): %s\n", caption, text);
    }
};

using FlagRef = std::atomic_ref<uint16_t>;

// One frame through the capture thread: clear the word, wait until it is 1.
bool CaptureOnThread(const Entries& e, uint8_t* buffer) {
    alignas(4) uint16_t flag = 1;
    if (e.SetupCaptureIsr(0, buffer, &flag, 0) != 1) return false;
    FlagRef(flag).store(0, std::memory_order_release);
    const auto limit = std::chrono::steady_clock::now() + kThreadWaitLimit;
    bool done = false;
    while (!(done = FlagRef(flag).load(std::memory_order_acquire) == 1) &&
           std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    e.SetupCaptureIsr(0, nullptr, &flag, 0);
    return done;
}

void RunCase(const Entries& e, const PictureCase& c, Results& results) {
    const std::string name = c.name;
    sim::VirtualCamera camera(c.camera);
    camera.SetFrameSource(Pattern);
    const TekoPortIo io = camera.PortIo();
    e.TekoSetPortIo(&io);

    const uint16_t ports[] = {0x278, kBase, 0};
    results[name + ".init"] = e.InitTeko(ports);
    e.InitFilterStack(c.zoom, c.allLines, c.sharpen);
    e.SetRealizedFilter(c.realizedFilter);
    e.SetRedScale(c.redScale);
    e.SetBlueScale(c.blueScale);
    if (c.gamma) e.SetGamma(c.gamma);
    e.SetShutterSpeed(50);
    e.EnableAutoShutterSpeed(1);
    results[name + ".ccd"] = static_cast<uint32_t>(e.GetCCDType());
    results[name + ".size"] = static_cast<uint32_t>(e.SetFrameSize(c.width, c.height, c.depth));

    std::vector<uint8_t> buffer(kBufferBytes, kUntouched);
    for (int frame = 0; frame < kFramesPerCase; ++frame) {
        const std::string key = name + ".frame" + std::to_string(frame);
        if (c.onThread) {
            results[key + ".ok"] = CaptureOnThread(e, buffer.data()) ? 1 : 0;
        } else {
            results[key + ".ok"] = static_cast<uint32_t>(e.CaptureFrameWait(buffer.data()));
        }
        results[key] = Fnv1a(buffer.data(), buffer.size());
        results[key + ".shutter"] = static_cast<uint32_t>(e.GetShutterSpeed());
    }
    results[name + ".halt"] = static_cast<uint32_t>(e.HaltTeko(0));
    e.TekoSetPortIo(nullptr);
}

// Back to the settings at load, so that the cases after start from them.
void RestoreLoadSettings(const Entries& e) {
    e.SetShutterSpeed(50);
    e.SetBrightNess(19);
    e.SetShutterThreshold(80);
    e.SetRedScale(64);
    e.SetBlueScale(64);
    e.EnableAutoShutterSpeed(1);
}

// Arguments and results across the calling convention, beyond the pictures.
void RunEntryResults(const Entries& e, Results& results) {
    auto put = [&results](const char* key, int64_t value) {
        results[key] = static_cast<uint64_t>(value);
    };
    put("entry.SetBrightNess(40)", e.SetBrightNess(40));
    put("entry.SetBrightNess(-5)", e.SetBrightNess(-5));
    put("entry.SetShutterSpeed(120)", e.SetShutterSpeed(120));
    put("entry.GetShutterSpeed", e.GetShutterSpeed());
    put("entry.SetShutterThreshold(0x150)", e.SetShutterThreshold(0x150));
    put("entry.SetRedScale(77)", e.SetRedScale(77));
    put("entry.SetBlueScale(-3)", e.SetBlueScale(-3));
    put("entry.EnableAutoShutterSpeed(5)", e.EnableAutoShutterSpeed(5));
    put("entry.ForceCCDType(1,2)", e.ForceCCDType(1, 2));
    put("entry.GetCCDType", e.GetCCDType());
    put("entry.ForceCCDType(0,0)", e.ForceCCDType(0, 0));
    put("entry.SetGamma(5)", e.SetGamma(5));
    put("entry.SetGamma(60)", e.SetGamma(60));
    put("entry.SetGamma(59)", e.SetGamma(59));
    put("entry.EnableIsr(7)", e.EnableIsr(7));
    put("entry.SetupCaptureIsr(stop)", e.SetupCaptureIsr(1, nullptr, nullptr, 2));
    put("entry.SetFrameSize(321,240,24)", e.SetFrameSize(321, 240, 24));
    put("entry.SetFrameSize(320,240,8)", e.SetFrameSize(320, 240, 8));
    put("entry.EnableZoom(1)", e.EnableZoom(1));
    put("entry.EnableZoom(2)", e.EnableZoom(2));
    put("entry.EnableZoom(0)", e.EnableZoom(0));
    put("entry.CaptureFrameWait(closed)", e.CaptureFrameWait(nullptr));
    put("entry.HaltTeko(closed)", e.HaltTeko(0));
    put("entry.TekoSetAllocator(default)", e.TekoSetAllocator(nullptr, nullptr, nullptr));
    RestoreLoadSettings(e);
}

// Every message the handler got, with its caption, hashed in order.
struct NoteRecorder {
    std::atomic<int> count{0};
    std::atomic<int> otherCaptions{0};
    std::atomic<uint64_t> texts{0};
    static void TEKO32_CALL Show(void* context, const char* text, const char* caption) {
        auto* self = static_cast<NoteRecorder*>(context);
        std::fprintf(stderr, "expected message (%s): %s\n", caption, text);
        if (std::strcmp(caption, "NOTE") != 0) self->otherCaptions.fetch_add(1);
        const uint64_t hash = Fnv1a(text, std::strlen(text));
        self->texts.store(self->texts.load() * 31 + hash);
        self->count.fetch_add(1);
    }
};

// A register write the camera refuses: the capture fails and the client's
// handler shows why, on the client thread and on the capture thread; the next
// frame comes whole.
void RunMessageCases(const Entries& e, Results& results) {
    for (const bool onThread : {false, true}) {
        const std::string name = onThread ? "note.thread" : "note.client";
        sim::VirtualCamera camera(Camera());
        camera.SetFrameSource(Pattern);
        const TekoPortIo io = camera.PortIo();
        e.TekoSetPortIo(&io);
        NoteRecorder notes;
        e.TekoSetMessageHandler(NoteRecorder::Show, &notes);
        const uint16_t ports[] = {kBase, 0};
        results[name + ".init"] = e.InitTeko(ports);
        e.InitFilterStack(0, 1, 1);
        results[name + ".size"] = static_cast<uint32_t>(e.SetFrameSize(160, 120, 24));
        std::vector<uint8_t> buffer(kBufferBytes, kUntouched);
        sim::Faults faults;
        faults.refuseRegister = 10;  // the shutter
        faults.refuseCount = 1;
        camera.SetFaults(faults);
        e.SetShutterSpeed(70);
        // The capture fails (0); the thread still sets the flag word to 1.
        uint32_t result = 0;
        if (onThread) {
            result = CaptureOnThread(e, buffer.data()) ? 1 : 0;
        } else {
            result = static_cast<uint32_t>(e.CaptureFrameWait(buffer.data()));
        }
        results[name + ".result"] = result;
        results[name + ".count"] = static_cast<uint32_t>(notes.count.load());
        results[name + ".texts"] = notes.texts.load();
        results[name + ".otherCaptions"] = static_cast<uint32_t>(notes.otherCaptions.load());
        std::fill(buffer.begin(), buffer.end(), kUntouched);
        results[name + ".again.ok"] = static_cast<uint32_t>(e.CaptureFrameWait(buffer.data()));
        results[name + ".again"] = Fnv1a(buffer.data(), buffer.size());
        results[name + ".halt"] = static_cast<uint32_t>(e.HaltTeko(0));
        e.TekoSetMessageHandler(nullptr, nullptr);
        e.TekoSetPortIo(nullptr);
    }
}

// A client allocator with stdcall callbacks: it counts the blocks it holds
// and refuses one chosen allocation.
struct CountingAllocator {
    std::atomic<int64_t> allocations{0};
    std::atomic<int64_t> live{0};
    int64_t failAt = -1;
    static void* TEKO32_CALL Allocate(void* context, size_t bytes) {
        auto* self = static_cast<CountingAllocator*>(context);
        if (self->allocations.fetch_add(1) == self->failAt) return nullptr;
        void* block = std::calloc(bytes == 0 ? 1 : bytes, 1);
        if (block != nullptr) self->live.fetch_add(1);
        return block;
    }
    static void TEKO32_CALL Release(void* context, void* block) {
        if (block == nullptr) return;
        static_cast<CountingAllocator*>(context)->live.fetch_sub(1);
        std::free(block);
    }
};

void RunAllocatorCases(const Entries& e, Results& results) {
    sim::VirtualCamera camera(Camera());
    camera.SetFrameSource(Pattern);
    const TekoPortIo io = camera.PortIo();
    e.TekoSetPortIo(&io);
    CountingAllocator blocks;
    results["alloc.set"] = static_cast<uint32_t>(
        e.TekoSetAllocator(CountingAllocator::Allocate, CountingAllocator::Release, &blocks));
    const uint16_t ports[] = {kBase, 0};
    results["alloc.init"] = e.InitTeko(ports);
    e.InitFilterStack(1, 1, 1);
    std::vector<uint8_t> buffer(kBufferBytes, kUntouched);
    results["alloc.size"] = static_cast<uint32_t>(e.SetFrameSize(640, 480, 24));
    results["alloc.frame.ok"] = static_cast<uint32_t>(e.CaptureFrameWait(buffer.data()));
    results["alloc.frame"] = Fnv1a(buffer.data(), buffer.size());
    results["alloc.held"] = blocks.live.load() > 0 ? 1 : 0;
    // The second allocation of the next sizing fails: it is refused, holds
    // nothing more than before, and the one after it works.
    blocks.failAt = blocks.allocations.load() + 1;
    results["alloc.refusedSize"] = static_cast<uint32_t>(e.SetFrameSize(640, 480, 24));
    results["alloc.refusedCapture"] = static_cast<uint32_t>(e.CaptureFrameWait(buffer.data()));
    results["alloc.resize"] = static_cast<uint32_t>(e.SetFrameSize(320, 240, 16));
    std::fill(buffer.begin(), buffer.end(), kUntouched);
    results["alloc.again.ok"] = static_cast<uint32_t>(e.CaptureFrameWait(buffer.data()));
    results["alloc.again"] = Fnv1a(buffer.data(), buffer.size());
    results["alloc.halt"] = static_cast<uint32_t>(e.HaltTeko(0));
    results["alloc.liveAfterHalt"] = static_cast<uint64_t>(blocks.live.load());
    e.TekoSetAllocator(nullptr, nullptr, nullptr);
    e.TekoSetPortIo(nullptr);
}

// The hostile-calls test's arguments: every result as the entry gives it.
void RunHostileCases(const Entries& e, Results& results) {
    using namespace teko::testing::hostile;
    auto put = [&results](const std::string& key, int64_t value) {
        results[key] = static_cast<uint64_t>(value);
    };
    auto key = [](const char* entry, int32_t value) {
        char text[80];
        std::snprintf(text, sizeof text, "hostile.%s(%d)", entry, static_cast<int>(value));
        return std::string(text);
    };
    for (const int32_t v : kExtremes) {
        put(key("SetShutterSpeed", v), e.SetShutterSpeed(v));
        put(key("GetShutterSpeed", v), e.GetShutterSpeed());
        put(key("SetBrightNess", v), e.SetBrightNess(v));
        put(key("SetShutterThreshold", v), e.SetShutterThreshold(v));
        put(key("SetRedScale", v), e.SetRedScale(v));
        put(key("SetBlueScale", v), e.SetBlueScale(v));
        put(key("SetGamma", v), e.SetGamma(v));
        put(key("EnableAutoShutterSpeed", v), e.EnableAutoShutterSpeed(v));
        put(key("EnableIsr", v), e.EnableIsr(v));
        put(key("ForceCCDType", v), e.ForceCCDType(v, v));
        put(key("SetRealizedFilter", v), e.SetRealizedFilter(v));
        put(key("EnableZoom", v), e.EnableZoom(v));
    }
    put("hostile.closed.SetFrameSize", e.SetFrameSize(160, 120, kDepthRgb24));
    put("hostile.closed.HaltTeko", e.HaltTeko(0));
    put("hostile.SetupCaptureIsr(nullFlag)", e.SetupCaptureIsr(0, nullptr, nullptr, 0));
    put("hostile.TekoGetCaptureStatus(null)", e.TekoGetCaptureStatus(nullptr));
    TekoCaptureStatus status{};
    status.size = sizeof status + 1;
    put("hostile.TekoGetCaptureStatus(size+1)", e.TekoGetCaptureStatus(&status));
    const TekoPortIo incomplete{};
    put("hostile.TekoSetPortIo(incomplete)", e.TekoSetPortIo(&incomplete));
    put("hostile.TekoSetAllocator(half)",
        e.TekoSetAllocator(CountingAllocator::Allocate, nullptr, nullptr));

    sim::VirtualCamera camera(Camera());
    camera.SetFrameSource(Pattern);
    const TekoPortIo io = camera.PortIo();
    e.TekoSetPortIo(&io);
    const uint16_t ports[] = {kBase, 0};
    put("hostile.init", e.InitTeko(ports));
    put("hostile.CaptureFrameWait(unsized)", e.CaptureFrameWait(nullptr));
    std::vector<uint8_t> buffer(kBufferBytes, kUntouched);
    int index = 0;
    for (const SizeCase& size : kSizes) {
        e.InitFilterStack(size.zoom, 1, 1);
        e.SetFrameSize(160, 120, kDepthRgb24);
        put(key("SetFrameSize.case", index), e.SetFrameSize(size.width, size.height, size.depth));
        put(key("CaptureFrameWait.case", index++), e.CaptureFrameWait(buffer.data()));
    }
    put("hostile.CaptureFrameWait(null)", e.CaptureFrameWait(nullptr));
    status.size = sizeof status;
    put("hostile.status", e.TekoGetCaptureStatus(&status));
    put("hostile.status.frames", status.frames);
    put("hostile.status.failures", status.failures);
    put("hostile.halt", e.HaltTeko(0));
    e.TekoSetPortIo(nullptr);
    RestoreLoadSettings(e);
    e.ForceCCDType(0, 0);
    e.SetRealizedFilter(0);
}

}  // namespace

uint64_t Fnv1a(const void* data, std::size_t bytes) {
    constexpr uint64_t kOffsetBasis = 0xcbf29ce484222325ull;
    constexpr uint64_t kPrime = 0x100000001b3ull;
    uint64_t hash = kOffsetBasis;
    const auto* p = static_cast<const uint8_t*>(data);
    for (std::size_t i = 0; i < bytes; ++i)
        hash = (hash ^ p[i]) * kPrime;
    return hash;
}

Results RunPictureCases(const Entries& e) {
    Results results;
    Clock clock;
    Messages messages;
    e.TekoSetClock(Clock::Tick, &clock);
    e.TekoSetMessageHandler(Messages::Show, &messages);

    // The gamma table of every accepted value, as this build computes it.
    for (int32_t gamma = 6; gamma <= 59; ++gamma) {
        const pipeline::GammaTable table = pipeline::ComputeGammaTable(gamma);
        results["gamma" + std::to_string(gamma)] = Fnv1a(table.data(), table.size());
    }
    RunEntryResults(e, results);
    RunHostileCases(e, results);
    for (const PictureCase& c : kCases)
        RunCase(e, c, results);

    results["messages"] = static_cast<uint64_t>(messages.count.load());
    e.TekoSetMessageHandler(nullptr, nullptr);
    RunMessageCases(e, results);
    RunAllocatorCases(e, results);
    e.TekoSetClock(nullptr, nullptr);
    return results;
}

bool WriteResults(const Results& results, const char* path) {
    std::FILE* file = std::fopen(path, "w");
    if (file == nullptr) return false;
    for (const auto& [key, value] : results) {
        std::fprintf(file, "%s %016" PRIx64 "\n", key.c_str(), value);
    }
    return std::fclose(file) == 0;
}

bool ReadResults(const char* path, Results* results) {
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) return false;
    char key[256];
    uint64_t value = 0;
    while (std::fscanf(file, "%255s %" SCNx64, key, &value) == 2)
        (*results)[key] = value;
    std::fclose(file);
    return !results->empty();
}

int CompareResults(const Results& reference, const Results& actual) {
    int differences = 0;
    for (const auto& [key, value] : reference) {
        const auto it = actual.find(key);
        if (it == actual.end()) {
            std::printf("missing: %s\n", key.c_str());
            ++differences;
        } else if (it->second != value) {
            std::printf("differs: %s: %016" PRIx64 " here, %016" PRIx64 " in the reference\n",
                        key.c_str(), it->second, value);
            ++differences;
        }
    }
    for (const auto& [key, value] : actual) {
        if (reference.find(key) == reference.end()) {
            std::printf("not in the reference: %s\n", key.c_str());
            ++differences;
        }
    }
    return differences;
}

}  // namespace teko::wintest
