// A thousand open / size / capture / close cycles with random sizes and
// switches (fixed seed), some sizing twice: every block the library
// allocated is released at the close, and no filter reports a problem in the
// filter log. Under AddressSanitizer, LeakSanitizer checks the same at exit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/counting_allocator.h"
#include "support/library_fixture.h"
#include "support/row_size.h"
#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"
#include "teko32sim/virtual_camera.h"

namespace {

using teko::testing::PaddedPictureBytes;
using teko::testing::CountingAllocator;

constexpr int kCycles = 1'000;
constexpr int kCapturesPerCycle = 3;
constexpr uint32_t kSeed = 20261210;
constexpr uint16_t kPort = 0x378;

// TEKO32_RELIABILITY_CYCLES overrides the number of cycles.
int Cycles() {
    if (const char* text = std::getenv("TEKO32_RELIABILITY_CYCLES"); text && *text) {
        return std::max(1, std::atoi(text));
    }
    return kCycles;
}

uintmax_t FilterLogSize() {
    const char* path = std::getenv("TEKO32_FILTER_LOG");
    if (path == nullptr || *path == '\0') return 0;
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

class LifecycleCyclesTest : public teko::testing::LibraryTest {
  protected:
    void TearDown() override {
        HaltTeko(0);
        LibraryTest::TearDown();
        CountingAllocator::Uninstall();
    }

    // Members, so that the close in TearDown still finds them after a failure.
    teko::sim::VirtualCamera camera;
    CountingAllocator counts;
};

TEST_F(LifecycleCyclesTest, EveryCycleReleasesWhatItAllocated) {
    ASSERT_TRUE(camera.Install());
    ASSERT_TRUE(counts.Install());
    const uintmax_t logBefore = FilterLogSize();

    std::mt19937 random(kSeed);
    auto pick = [&](int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(random);
    };
    const uint16_t ports[] = {kPort, 0};
    std::vector<uint8_t> buffer;
    // New switches and a new size; the buffer follows the picture.
    auto sizeRandomly = [&] {
        const int32_t zoom = pick(0, 1);
        InitFilterStack(zoom, pick(0, 1), pick(0, 1));
        SetRealizedFilter(pick(0, 1));
        const int32_t depth = pick(0, 1) != 0 ? 24 : 16;
        const int32_t width = pick(1, zoom != 0 ? 640 : 320);
        const int32_t height = pick(1, zoom != 0 ? 480 : 240);
        const int32_t bytesPerPixel = depth == 24 ? 3 : 2;
        buffer.assign(PaddedPictureBytes(bytesPerPixel, width, height), 0);
        return ::testing::AssertionResult(SetFrameSize(width, height, depth) == 1)
               << width << "x" << height << " at depth " << depth;
    };
    const int cycles = Cycles();
    for (int cycle = 0; cycle < cycles; ++cycle) {
        SCOPED_TRACE(cycle);
        ASSERT_EQ(InitTeko(ports), TEKO32_INIT_RESULT);
        ASSERT_TRUE(sizeRandomly());
        const int captures = pick(1, kCapturesPerCycle);
        for (int i = 0; i < captures; ++i) {
            ASSERT_EQ(CaptureFrameWait(buffer.data()), 1);
        }
        if (pick(0, 3) == 0) {
            // A second size in the same cycle: the first one's buffers go.
            ASSERT_TRUE(sizeRandomly());
            ASSERT_EQ(CaptureFrameWait(buffer.data()), 1);
        }
        ASSERT_EQ(HaltTeko(0), 1);
        ASSERT_EQ(counts.Allocations(), counts.Releases()) << "blocks still held after HaltTeko";
    }
    EXPECT_GT(counts.Allocations(), 0u);
    EXPECT_EQ(FilterLogSize(), logBefore) << "the filter log gained lines";
    EXPECT_EQ(logBefore, 0u) << "the filter log is not empty";
    EXPECT_FALSE(camera.InterruptsMasked());
}

}  // namespace
