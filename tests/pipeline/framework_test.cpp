// The filter list's buffer operations and the destructor's diagnostic line,
// on small filters of the test's own; and allocation failures anywhere in
// SetFrameSize.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "api/driver_state.h"
#include "pipeline/filter.h"
#include "pipeline/pipeline.h"
#include "scripted_camera.h"

namespace {

using teko::pipeline::AllocateFilterBuffers;
using teko::pipeline::AppendFilter;
using teko::pipeline::BuffersReady;
using teko::pipeline::CFilter;
using teko::pipeline::DestroyFilters;
using teko::pipeline::GetFilter;
using teko::pipeline::GetFilterCount;
using teko::pipeline::NewFilter;
using teko::pipeline::OutputStage;
using teko::pipeline::RawFrameBuffer;
using teko::pipeline::ReleaseFilterBuffers;
using teko::pipeline::RunFilterStack;
using teko::pipeline::SetOutputDestination;
using teko::pipeline::SetRawFrameBuffer;
using teko::pipeline::SetRawSize;
using teko::testing::CountingAllocator;

constexpr int32_t kTestBufferBytes = 16;

class BufferedFilter final : public CFilter {
  public:
    int32_t GetWorkBufferSize() const override { return kTestBufferBytes; }
};

std::string LogPath() {
    const char* path = std::getenv("TEKO32_FILTER_LOG");
    return path != nullptr ? path : "";
}

std::string ReadLog() {
    std::ifstream in(LogPath());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class FrameworkTest : public teko::testing::PipelineTest {
  protected:
    void SetUp() override {
        PipelineTest::SetUp();
        if (LogPath().empty()) GTEST_SKIP() << "TEKO32_FILTER_LOG is not set";
        std::filesystem::remove(LogPath());
        ASSERT_TRUE(allocator.Install());
    }
    // Appends `buffered` filters with work buffers, then one output stage without.
    void BuildList(int buffered) {
        for (int i = 0; i < buffered; ++i)
            ASSERT_TRUE(AppendFilter(NewFilter<BufferedFilter>()));
        ASSERT_TRUE(AppendFilter(NewFilter<CFilter>()));
    }
    CountingAllocator allocator;
};

TEST_F(FrameworkTest, FailedAllocationReleasesWhatWasAllocatedInDescendingOrder) {
    constexpr int kFilters = 4;
    // Allocation k fails: the work buffer of filter k, or the raw frame buffer for k == kFilters.
    for (int failing = 0; failing <= kFilters; ++failing) {
        SCOPED_TRACE(failing);
        for (int i = 0; i < kFilters; ++i)
            ASSERT_TRUE(AppendFilter(NewFilter<BufferedFilter>()));
        SetRawSize(8, 2);
        const auto first = static_cast<std::ptrdiff_t>(allocator.Allocations());
        allocator.FailAt(allocator.Allocations() + failing);
        allocator.ClearReleased();

        EXPECT_EQ(AllocateFilterBuffers(), 0);
        const std::vector<void*> allocated = allocator.Allocated();
        const std::vector<void*> buffers(allocated.begin() + first, allocated.end());
        std::vector<void*> expected;
        if (failing < kFilters) {
            expected.assign(buffers.rbegin(), buffers.rend());
        } else {
            expected = buffers;
        }
        EXPECT_EQ(allocator.Released(), expected);
        EXPECT_EQ(RawFrameBuffer(), nullptr);
        for (int i = 0; i < kFilters; ++i)
            EXPECT_EQ(GetFilter(i)->workBuffer, nullptr);
        DestroyFilters();
        EXPECT_EQ(allocator.Live(), 0);
    }
    EXPECT_EQ(ReadLog(), "");
}

TEST_F(FrameworkTest, ReleaseSkipsTheOutputStagesDestination) {
    SetRawSize(8, 2);
    EXPECT_EQ(AllocateFilterBuffers(), 1);  // empty list: the raw frame buffer only
    EXPECT_EQ(allocator.Allocations(), 1u);
    ReleaseFilterBuffers();
    EXPECT_EQ(allocator.Live(), 0);

    BuildList(2);
    ASSERT_EQ(AllocateFilterBuffers(), 1);
    EXPECT_EQ(OutputStage()->workBuffer, nullptr);  // an output stage owns no buffer
    uint8_t* raw = RawFrameBuffer();
    uint8_t* first = GetFilter(0)->workBuffer;
    uint8_t* second = GetFilter(1)->workBuffer;
    uint8_t client[4] = {};
    SetOutputDestination(client);
    allocator.ClearReleased();
    ReleaseFilterBuffers();
    EXPECT_EQ(allocator.Released(), (std::vector<void*>{raw, first, second}));
    EXPECT_EQ(OutputStage()->workBuffer, client);
    // Nor does the rollback after a failed raw frame buffer.
    allocator.FailAt(allocator.Allocations() + 2);
    EXPECT_EQ(AllocateFilterBuffers(), 0);
    EXPECT_EQ(OutputStage()->workBuffer, client);
    EXPECT_EQ(allocator.Live(), 3);  // the three filter objects
    SetOutputDestination(nullptr);
    DestroyFilters();
    EXPECT_EQ(allocator.Live(), 0);
    EXPECT_EQ(ReadLog(), "");
}

TEST_F(FrameworkTest, DestroyingAFilterThatHoldsItsBufferLogsOneLine) {
    BuildList(2);
    SetRawSize(4, 1);
    ASSERT_EQ(AllocateFilterBuffers(), 1);
    uint8_t* held = GetFilter(1)->workBuffer;
    GetFilter(0)->FreeWorkBuffer();
    uint8_t* raw = RawFrameBuffer();
    SetRawFrameBuffer(nullptr);
    DestroyFilters();
    EXPECT_EQ(GetFilterCount(), 0);
    EXPECT_EQ(ReadLog(), "CFilter::~CFilter detect a non-freed memory block associate with it\n");
    EXPECT_EQ(allocator.Live(), 2);  // the destructor never releases the buffer itself
    teko::platform::Release(held);
    teko::platform::Release(raw);
}

TEST_F(FrameworkTest, NormalUseLeavesNothingBehind) {
    teko::api::Driver().openCount = 1;
    ASSERT_EQ(SetFrameSize(320, 240, 24), 1);
    SetOutputDestination(nullptr);
    ASSERT_EQ(EnableZoom(1), 1);
    ASSERT_EQ(SetFrameSize(640, 480, 16), 1);
    ASSERT_EQ(SetFrameSize(320, 240, 24), 1);
    EXPECT_EQ(teko::api::HaltTeko(), 1);
    EXPECT_EQ(allocator.Live(), 0);
    EXPECT_EQ(ReadLog(), "");
}

// Every allocation of SetFrameSize refused in turn: the filter objects, their
// work buffers and the raw frame buffer.
TEST_F(FrameworkTest, SetFrameSizeSurvivesEveryFailedAllocation) {
    struct Config {
        int32_t zoom, allLines, sharpen, width, height;
    } const configs[] = {{1, 1, 1, 640, 480}, {0, 1, 1, 320, 240}, {0, 0, 1, 320, 240}};
    for (const Config& c : configs) {
        InitFilterStack(c.zoom, c.allLines, c.sharpen);
        const auto before = static_cast<int64_t>(allocator.Allocations());
        ASSERT_EQ(SetFrameSize(c.width, c.height, 24), 1);
        const int64_t perCall = static_cast<int64_t>(allocator.Allocations()) - before;
        const int32_t filters = GetFilterCount();
        ASSERT_GT(perCall, filters);  // the filter objects come first, then the buffers
        for (int64_t k = 0; k < perCall; ++k) {
            SCOPED_TRACE(::testing::Message()
                         << "zoom " << c.zoom << " allLines " << c.allLines << " allocation " << k);
            allocator.FailAt(allocator.Allocations() + static_cast<uint64_t>(k));
            EXPECT_EQ(SetFrameSize(c.width, c.height, 24), 0);
            EXPECT_FALSE(BuffersReady());
            EXPECT_EQ(RawFrameBuffer(), nullptr);
            if (k < filters) {
                // A filter object could not be made: no partial stack is kept.
                EXPECT_EQ(GetFilterCount(), 0);
                EXPECT_EQ(OutputStage(), nullptr);
            } else {
                EXPECT_EQ(GetFilterCount(), filters);
            }
            // Nothing but the filter objects is still held.
            EXPECT_EQ(allocator.Live(), GetFilterCount());
            // Nothing that a capture could run, and no harm in trying.
            SetOutputDestination(nullptr);
            RunFilterStack();
            ASSERT_EQ(SetFrameSize(c.width, c.height, 24), 1);
        }
    }
    ReleaseFilterBuffers();
    DestroyFilters();
    EXPECT_EQ(allocator.Live(), 0);
    EXPECT_EQ(ReadLog(), "");
}

}  // namespace
