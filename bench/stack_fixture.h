// Filter stacks set up for measuring without hardware: the library opened on
// a virtual camera and sized through its entries, a fixed raw frame kept
// beside the raw frame buffer, and a client buffer of exactly the picture's
// size as the output stage's destination.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pipeline/filter.h"
#include "teko32/teko32.h"

namespace teko::sim {
class VirtualCamera;
}

namespace teko::bench {

// Stacks 0..23 are the configuration codes; the last two are the stacks
// EnableZoom builds.
inline constexpr int32_t kCodeCount = 24;
inline constexpr int32_t kZoomOffStack = 24;  // EnableZoom(0)
inline constexpr int32_t kZoomOnStack = 25;   // EnableZoom(1)
inline constexpr int32_t kStackCount = 26;

// "0" .. "23", "ez0", "ez1".
std::string StackName(int32_t stack);
// Whether the stack's pictures go up to 640x480 (else 320x240).
bool ZoomedStack(int32_t stack);
// Bytes per pixel of the stack's output format (3 or 2).
int32_t OutputPixelBytes(int32_t stack);

// The raw frames: uniform noise from a fixed seed, or a slow gradient.
enum class Pattern { Noisy, Smooth };
const char* PatternName(Pattern pattern);
void FillRawFrame(Pattern pattern, int32_t rawWidth, std::vector<uint8_t>& frame);

struct StackConfig {
    int32_t stack = 15;
    int32_t width = 640;
    int32_t height = 480;
};

// One filter of a prepared stack, with the image it reads.
struct StageView {
    pipeline::CFilter* filter = nullptr;
    std::string name;  // class name without namespaces
    uint8_t* input = nullptr;
    bool inPlace = false;  // writes over its input (the raw frame buffer)
    int64_t outputPixels = 0;
};

// The library open on a virtual camera for as long as the object lives. One
// at a time: the library's state is global.
class StackFixture {
  public:
    StackFixture();
    ~StackFixture();
    StackFixture(const StackFixture&) = delete;
    StackFixture& operator=(const StackFixture&) = delete;

    // Builds and sizes the stack, fills the raw frame buffer with the pattern
    // and points the output stage at a fresh client buffer. Then runs the
    // stack once so that every work buffer holds its image and the stages
    // know their inputs. False, with the reason in error(), on failure.
    bool Prepare(const StackConfig& config, Pattern pattern);

    // Copies the prepared raw frame into the raw frame buffer again (the
    // in-place conversion overwrites it).
    void RestoreRawFrame();

    // For timing the in-place conversion without copying a frame before every
    // run: FrameCopies() copies of the prepared raw frame (4 to 64, about
    // 512 KiB in all), each 64-byte aligned and followed by kBufferSlack zero
    // bytes like the raw frame buffer.
    int FrameCopies() const { return frameCopies_; }
    void RefillFrameCopies();
    uint8_t* FrameCopy(int index);
    // Makes `frame` the raw frame buffer RunFilterStack reads; nullptr gives
    // the library its own buffer back (Prepare and the destructor do too).
    void UseRawFrame(uint8_t* frame);

    const std::vector<StageView>& Stages() const { return stages_; }
    int64_t OutputPixels() const { return outputPixels_; }
    const std::string& error() const { return error_; }

  private:
    void Unprepare();
    bool Fail(std::string reason);
    static void TEKO32_CALL Message(void* context, const char* text, const char* caption);

    std::unique_ptr<sim::VirtualCamera> camera_;
    std::string lastMessage_;
    bool zoomStackAllocated_ = false;
    std::vector<uint8_t> rawFrame_;
    std::vector<uint8_t> copies_;
    std::size_t copyStride_ = 0;
    int frameCopies_ = 0;
    uint8_t* libraryRawFrame_ = nullptr;  // while a copy stands in for it
    std::vector<uint8_t> client_;
    std::vector<StageView> stages_;
    int64_t outputPixels_ = 0;
    std::string error_;
};

}  // namespace teko::bench
