// The filter framework: CFilter with its four virtual operations, the work
// buffers that filters own, and the module's filter list with the raw frame
// buffer beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "platform/platform.h"

namespace teko::pipeline {

// A width and height in pixels, rewritten in place by the size passes.
struct FrameSize {
    int32_t width = 0;
    int32_t height = 0;
};

// Spare zero-filled bytes after every work buffer and the raw frame buffer.
// Some filters read just past the image they are given: the in-place mosaic
// conversion two samples after the raw frame, the stretch one pixel after its
// input's last row, the packed YUV stage one pixel after an odd-width row.
// The spare bytes keep those reads inside the allocation; while a frame runs
// through the stack they repeat the image's last pixel (RunFilterStack).
inline constexpr std::size_t kBufferSlack = 64;

class CFilter {
  public:
    CFilter() = default;
    CFilter(const CFilter&) = delete;
    CFilter& operator=(const CFilter&) = delete;
    // Appends a diagnostic line to the filter log if the work buffer was not
    // released; never releases it itself.
    virtual ~CFilter();

    // Forward size pass: records the input size and reports the output size.
    virtual void SetInputSize(FrameSize& size);
    // Backward size pass: records the output size and reports the input size needed.
    virtual void SetOutputSize(FrameSize& size);
    // Reads the image at `current`, writes the result and leaves `current`
    // pointing at it.
    virtual void Process(uint8_t*& current);
    // Work buffer size in bytes, 0 for none.
    virtual int32_t GetWorkBufferSize() const;

    // 1 on success (also when no buffer is needed), 0 when allocation failed.
    int32_t AllocateWorkBuffer();
    // Releases the work buffer; 1 when it is now null.
    int32_t FreeWorkBuffer();
    void SetWorkBuffer(uint8_t* buffer) { workBuffer = buffer; }

    int32_t inputWidth = 0;
    int32_t inputHeight = 0;
    int32_t outputWidth = 0;
    int32_t outputHeight = 0;
    // The filter's own output, or for the output stage the client's buffer
    // while a capture runs.
    uint8_t* workBuffer = nullptr;
};

// Creates a filter in its default state in memory from the platform allocator;
// nullptr when that allocation fails.
template <class Filter>
CFilter* NewFilter() {
    void* memory = platform::AllocZeroed(sizeof(Filter));
    if (memory == nullptr) return nullptr;
    return ::new (memory) Filter();
}
// Destroys a filter made by NewFilter; nullptr is accepted.
void DeleteFilter(CFilter* filter);

// ---- The filter list ----------------------------------------------------
inline constexpr int32_t kMaxFilters = 10;

// Appends in processing order. False (nothing stored) when the list is full.
bool AppendFilter(CFilter* filter);
int32_t GetFilterCount();
// Entry i, or nullptr outside 0..count-1.
CFilter* GetFilter(int32_t index);
// Every work buffer, then the raw frame buffer of rawWidth x rawHeight bytes.
// 1 on success; 0 with nothing left allocated.
int32_t AllocateFilterBuffers();
// The raw frame buffer and every work buffer but the output stage's.
void ReleaseFilterBuffers();
// Destroys every filter, first to last, and empties the list.
void DestroyFilters();

uint8_t* RawFrameBuffer();
void SetRawFrameBuffer(uint8_t* buffer);
int32_t RawWidth();
int32_t RawHeight();
void SetRawSize(int32_t width, int32_t height);

}  // namespace teko::pipeline
