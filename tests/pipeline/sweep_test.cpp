// Every configuration over a dense sample of accepted picture sizes, run over
// random raw data into a client buffer of exactly the picture's size, so that
// any read or write outside a buffer lands in a sanitizer's red zone.
#include <cstdint>
#include <memory>
#include <random>
#include <span>

#include "pipeline/pipeline.h"
#include "scripted_camera.h"

namespace {

using teko::pipeline::ConfigurationCode;
using teko::pipeline::RawFrameBuffer;
using teko::pipeline::RawHeight;
using teko::pipeline::RawWidth;
using teko::pipeline::RunFilterStack;
using teko::pipeline::SetOutputDestination;

using teko::testing::ClientRowBytes;
using teko::testing::CodeZooms;
using teko::testing::SelectConfiguration;

class SweepTest : public teko::testing::PipelineTest {
  protected:
    void SetUp() override {
        PipelineTest::SetUp();
        ASSERT_TRUE(allocator.Install());
    }
    teko::testing::CountingAllocator allocator;
};

TEST_F(SweepTest, EveryConfigurationAndSizeStaysInsideItsBuffers) {
    const int32_t widths[] = {0, 1, 2, 3, 5, 31, 160, 255, 319, 320};
    const int32_t heights[] = {0, 1, 2, 3, 5, 17, 119, 239, 240};
    const int32_t zoomWidths[] = {0, 1, 2, 3, 7, 33, 321, 511, 639, 640};
    const int32_t zoomHeights[] = {0, 1, 2, 3, 7, 241, 479, 480};
    std::mt19937 random(20261210);

    for (int32_t code = 0; code < teko::testing::kConfigurationCodes; ++code) {
        const bool zoom = CodeZooms(code);
        const int32_t depth = SelectConfiguration(code);
        const std::span<const int32_t> ws =
            zoom ? std::span<const int32_t>(zoomWidths) : std::span<const int32_t>(widths);
        const std::span<const int32_t> hs =
            zoom ? std::span<const int32_t>(zoomHeights) : std::span<const int32_t>(heights);
        for (const int32_t w : ws) {
            for (const int32_t h : hs) {
                SCOPED_TRACE(::testing::Message() << "code " << code << " " << w << "x" << h);
                ASSERT_EQ(SetFrameSize(w, h, depth), 1);
                ASSERT_EQ(ConfigurationCode(), code);
                const auto rawBytes = static_cast<std::size_t>(RawWidth()) * RawHeight();
                const std::span<uint8_t> raw(RawFrameBuffer(), rawBytes);
                for (uint8_t& sample : raw)
                    sample = static_cast<uint8_t>(random());

                const auto clientBytes = static_cast<std::size_t>(ClientRowBytes(code, w) * h);
                const std::unique_ptr<uint8_t[]> client(new uint8_t[clientBytes]);
                const uint64_t allocations = allocator.Allocations();
                SetOutputDestination(client.get());
                RunFilterStack();
                SetOutputDestination(nullptr);
                EXPECT_EQ(allocator.Allocations(), allocations) << "a frame allocates nothing";
            }
        }
    }
}

}  // namespace
