#include "stack_fixture.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <typeinfo>
#include <utility>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>

#include <cstdlib>
#endif

#include "pipeline/pipeline.h"
#include "teko32/teko32_ext.h"
#include "teko32sim/virtual_camera.h"

namespace teko::bench {
namespace {

constexpr int32_t kCodeSharpen = 0x01;
constexpr int32_t kCodeZoom = 0x02;
constexpr int32_t kCodeAllLines = 0x04;
constexpr int32_t kCodeRgb24 = 0x08;
constexpr int32_t kCodeUyvy = 0x10;
constexpr int32_t kRealizedUyvy = 1;

constexpr uint32_t kNoiseSeed = 0x2545F491u;
constexpr std::size_t kCopyAlign = 64;
// Enough copies that the paused refill after the last one costs little per
// run, few enough that they stay in the processor's caches.
constexpr std::size_t kFrameCopyBytes = 512 * 1024;
constexpr std::size_t kMinFrameCopies = 4;
constexpr std::size_t kMaxFrameCopies = 64;

// The class name of a filter, without its namespaces.
std::string ClassName(const pipeline::CFilter& filter) {
    std::string name = typeid(filter).name();
#if __has_include(<cxxabi.h>)
    int status = 0;
    char* demangled = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
    if (status == 0 && demangled != nullptr) name = demangled;
    std::free(demangled);
#endif
    const std::size_t colon = name.rfind("::");
    return colon == std::string::npos ? name : name.substr(colon + 2);
}

}  // namespace

std::string StackName(int32_t stack) {
    if (stack == kZoomOffStack) return "ez0";
    if (stack == kZoomOnStack) return "ez1";
    return std::to_string(stack);
}

bool ZoomedStack(int32_t stack) {
    if (stack == kZoomOnStack) return true;
    if (stack == kZoomOffStack) return false;
    return (stack & kCodeZoom) != 0;
}

int32_t OutputPixelBytes(int32_t stack) {
    if (stack >= kCodeCount) return 3;  // both EnableZoom stacks end in 24-bit output
    return (stack & kCodeUyvy) == 0 && (stack & kCodeRgb24) != 0 ? 3 : 2;
}

const char* PatternName(Pattern pattern) {
    return pattern == Pattern::Noisy ? "noisy" : "smooth";
}

void FillRawFrame(Pattern pattern, int32_t rawWidth, std::vector<uint8_t>& frame) {
    if (pattern == Pattern::Noisy) {
        uint32_t state = kNoiseSeed;  // xorshift32: the same frame on every run
        for (uint8_t& sample : frame) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            sample = static_cast<uint8_t>(state >> 24);
        }
        return;
    }
    // A diagonal ramp over the whole range, one step every few samples.
    const std::size_t width = static_cast<std::size_t>(rawWidth > 0 ? rawWidth : 1);
    const std::size_t rows = frame.size() / width;
    for (std::size_t i = 0; i < frame.size(); ++i) {
        const std::size_t x = i % width;
        const std::size_t y = i / width;
        frame[i] = static_cast<uint8_t>(160 * x / width + 95 * y / (rows > 0 ? rows : 1));
    }
}

StackFixture::StackFixture() : camera_(std::make_unique<sim::VirtualCamera>()) {
    camera_->Install();
    TekoSetMessageHandler(Message, this);
    const uint16_t ports[] = {camera_->config().base, 0};
    InitTeko(ports);
}

StackFixture::~StackFixture() {
    Unprepare();
    HaltTeko(0);
    TekoSetPortIo(nullptr);
    TekoSetMessageHandler(nullptr, nullptr);
}

void TEKO32_CALL StackFixture::Message(void* context, const char* text, const char*) {
    static_cast<StackFixture*>(context)->lastMessage_ = text;
}

bool StackFixture::Fail(std::string reason) {
    error_ = std::move(reason);
    if (!lastMessage_.empty()) error_ += " (" + lastMessage_ + ")";
    return false;
}

void StackFixture::Unprepare() {
    UseRawFrame(nullptr);
    pipeline::SetOutputDestination(nullptr);
    // The EnableZoom stacks are sized and given buffers here, not by
    // SetFrameSize, so nothing else knows to release their buffers.
    if (zoomStackAllocated_) pipeline::ReleaseFilterBuffers();
    zoomStackAllocated_ = false;
    stages_.clear();
    outputPixels_ = 0;
}

bool StackFixture::Prepare(const StackConfig& config, Pattern pattern) {
    Unprepare();
    error_.clear();
    lastMessage_.clear();
    const int32_t stack = config.stack;
    if (stack < 0 || stack >= kStackCount) return Fail("no such stack");

    if (stack < kCodeCount) {
        ::InitFilterStack((stack & kCodeZoom) != 0 ? 1 : 0, (stack & kCodeAllLines) != 0 ? 1 : 0,
                          (stack & kCodeSharpen) != 0 ? 1 : 0);
        ::SetRealizedFilter((stack & kCodeUyvy) != 0 ? kRealizedUyvy : 0);
        const int32_t depth = (stack & kCodeRgb24) != 0 ? 24 : 16;
        if (::SetFrameSize(config.width, config.height, depth) != 1)
            return Fail("SetFrameSize refused");
        if (pipeline::ConfigurationCode() != stack) return Fail("settings gave another code");
    } else {
        const int32_t zoom = stack == kZoomOnStack ? 1 : 0;
        ::InitFilterStack(1 - zoom, 1, 1);
        if (::EnableZoom(zoom) != 1) return Fail("EnableZoom refused");
        pipeline::NegotiateFrameSizes(config.width, config.height);
        if (pipeline::AllocateFilterBuffers() != 1) return Fail("no buffers");
        zoomStackAllocated_ = true;
    }

    uint8_t* raw = pipeline::RawFrameBuffer();
    if (raw == nullptr) return Fail("no raw frame buffer");
    rawFrame_.assign(static_cast<std::size_t>(pipeline::RawWidth()) *
                         static_cast<std::size_t>(pipeline::RawHeight()),
                     0);
    FillRawFrame(pattern, pipeline::RawWidth(), rawFrame_);
    RestoreRawFrame();
    copyStride_ = (rawFrame_.size() + pipeline::kBufferSlack + kCopyAlign - 1) & ~(kCopyAlign - 1);
    frameCopies_ = static_cast<int>(
        std::clamp<std::size_t>(kFrameCopyBytes / copyStride_, kMinFrameCopies, kMaxFrameCopies));
    copies_.assign(static_cast<std::size_t>(frameCopies_) * copyStride_ + kCopyAlign, 0);
    RefillFrameCopies();

    const std::size_t rowBytes = (static_cast<std::size_t>(OutputPixelBytes(stack)) *
                                      static_cast<std::size_t>(config.width) +
                                  3) &
                                 ~std::size_t{3};
    client_.assign(rowBytes * static_cast<std::size_t>(config.height), 0);
    pipeline::SetOutputDestination(client_.data());

    // One frame through the stack, filter by filter, noting what each reads.
    uint8_t* current = raw;
    const int32_t count = pipeline::GetFilterCount();
    for (int32_t i = 0; i < count; ++i) {
        pipeline::CFilter* filter = pipeline::GetFilter(i);
        StageView stage;
        stage.filter = filter;
        stage.name = ClassName(*filter);
        stage.input = current;
        stage.outputPixels = int64_t{filter->outputWidth} * filter->outputHeight;
        filter->Process(current);
        stage.inPlace = current == stage.input;
        stages_.push_back(std::move(stage));
    }
    outputPixels_ = int64_t{config.width} * config.height;
    if (stages_.empty() || stages_.back().outputPixels != outputPixels_)
        return Fail("the output stage has another size");
    return true;
}

void StackFixture::RestoreRawFrame() {
    if (uint8_t* raw = pipeline::RawFrameBuffer(); raw != nullptr && !rawFrame_.empty())
        std::memcpy(raw, rawFrame_.data(), rawFrame_.size());
}

void StackFixture::RefillFrameCopies() {
    for (int i = 0; i < frameCopies_; ++i)
        std::memcpy(FrameCopy(i), rawFrame_.data(), rawFrame_.size());
}

uint8_t* StackFixture::FrameCopy(int index) {
    const auto address = reinterpret_cast<std::uintptr_t>(copies_.data());
    const std::size_t lead = (kCopyAlign - address % kCopyAlign) % kCopyAlign;
    return copies_.data() + lead + static_cast<std::size_t>(index) * copyStride_;
}

void StackFixture::UseRawFrame(uint8_t* frame) {
    if (frame == nullptr) {
        if (libraryRawFrame_ != nullptr) pipeline::SetRawFrameBuffer(libraryRawFrame_);
        libraryRawFrame_ = nullptr;
        return;
    }
    if (libraryRawFrame_ == nullptr) libraryRawFrame_ = pipeline::RawFrameBuffer();
    pipeline::SetRawFrameBuffer(frame);
}

}  // namespace teko::bench
