// CFilter's base behaviour, work buffers, and the module's filter list.
#include "pipeline/filter.h"

#include <array>
#include <string_view>

#include "platform/platform.h"

namespace teko::pipeline {
namespace {

constexpr std::string_view kLeakLine =
    "CFilter::~CFilter detect a non-freed memory block associate with it\n";

struct FilterList {
    std::array<CFilter*, kMaxFilters> filters{};
    int32_t count = 0;
    uint8_t* rawFrameBuffer = nullptr;
    int32_t rawWidth = 0;
    int32_t rawHeight = 0;
};

FilterList gList;

uint8_t* AllocateBuffer(std::size_t bytes) {
    return static_cast<uint8_t*>(platform::AllocZeroed(bytes + kBufferSlack));
}

}  // namespace

CFilter::~CFilter() {
    if (workBuffer != nullptr) platform::AppendFilterLogLine(kLeakLine);
}

void CFilter::SetInputSize(FrameSize& size) {
    inputWidth = size.width;
    inputHeight = size.height;
    size = {outputWidth, outputHeight};
}

void CFilter::SetOutputSize(FrameSize& size) {
    outputWidth = size.width;
    outputHeight = size.height;
}

void CFilter::Process(uint8_t*& current) {
    if (workBuffer != nullptr) current = workBuffer;
}

int32_t CFilter::GetWorkBufferSize() const {
    return 0;
}

int32_t CFilter::AllocateWorkBuffer() {
    const int32_t bytes = GetWorkBufferSize();
    if (bytes <= 0) return 1;
    workBuffer = AllocateBuffer(static_cast<std::size_t>(bytes));
    return workBuffer != nullptr ? 1 : 0;
}

int32_t CFilter::FreeWorkBuffer() {
    platform::Release(workBuffer);
    workBuffer = nullptr;
    return 1;
}

void DeleteFilter(CFilter* filter) {
    if (filter == nullptr) return;
    filter->~CFilter();
    platform::Release(filter);
}

bool AppendFilter(CFilter* filter) {
    if (gList.count >= kMaxFilters) return false;
    gList.filters[gList.count++] = filter;
    return true;
}

int32_t GetFilterCount() {
    return gList.count;
}

CFilter* GetFilter(int32_t index) {
    return index >= 0 && index < gList.count ? gList.filters[index] : nullptr;
}

int32_t AllocateFilterBuffers() {
    for (int32_t i = 0; i < gList.count; ++i) {
        if (gList.filters[i]->AllocateWorkBuffer() == 0) {
            for (int32_t j = i - 1; j >= 0; --j)
                gList.filters[j]->FreeWorkBuffer();
            return 0;
        }
    }
    const auto rawBytes =
        static_cast<std::size_t>(gList.rawWidth) * static_cast<std::size_t>(gList.rawHeight);
    gList.rawFrameBuffer = AllocateBuffer(rawBytes);
    if (gList.rawFrameBuffer == nullptr) {
        // Release the work buffers allocated above, and only those: a filter
        // without one (the output stage) may hold the client's destination.
        for (int32_t i = 0; i < gList.count; ++i) {
            if (gList.filters[i]->GetWorkBufferSize() > 0) gList.filters[i]->FreeWorkBuffer();
        }
        return 0;
    }
    return 1;
}

void ReleaseFilterBuffers() {
    platform::Release(gList.rawFrameBuffer);
    gList.rawFrameBuffer = nullptr;
    // The last filter is the output stage: its buffer is the client's.
    for (int32_t i = 0; i < gList.count - 1; ++i)
        gList.filters[i]->FreeWorkBuffer();
}

void DestroyFilters() {
    for (int32_t i = 0; i < gList.count; ++i) {
        DeleteFilter(gList.filters[i]);
        gList.filters[i] = nullptr;
    }
    gList.count = 0;
}

uint8_t* RawFrameBuffer() {
    return gList.rawFrameBuffer;
}
void SetRawFrameBuffer(uint8_t* buffer) {
    gList.rawFrameBuffer = buffer;
}
int32_t RawWidth() {
    return gList.rawWidth;
}
int32_t RawHeight() {
    return gList.rawHeight;
}
void SetRawSize(int32_t width, int32_t height) {
    gList.rawWidth = width;
    gList.rawHeight = height;
}

}  // namespace teko::pipeline
