// The capture thread driving the whole pipeline while the settings entries
// are called from a third thread (run under ThreadSanitizer).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "e2e_support.h"

namespace {

using teko::testing::Format;
using teko::testing::Picture;

using ThreadedEndToEndTest = teko::testing::EndToEndTest;

TEST_F(ThreadedEndToEndTest, CaptureThreadWithSettingsChangingMeanwhile) {
    Open({});
    const Picture picture{320, 240, Format::Rgb24};
    Size(picture, 0, 1, 1);
    std::vector<uint8_t> frame(picture.Bytes(), 0);
    alignas(4) uint16_t flag = 1;
    std::atomic_ref<uint16_t> word(flag);
    ASSERT_EQ(SetupCaptureIsr(0, frame.data(), &flag, 0), 1);

    std::atomic<bool> done{false};
    std::thread settings([&] {
        for (int32_t i = 0; !done.load(); ++i) {
            SetGamma(10 + (i & 31));
            SetRedScale(40 + (i & 31));
            SetBlueScale(40 + (i & 31));
            SetShutterThreshold(60 + (i & 63));
            SetShutterSpeed(50 + (i & 63));
            SetBrightNess(i & 31);
            EnableAutoShutterSpeed(i & 1);
        }
    });
    const uint64_t endedBefore = camera->FramesEnded();
    constexpr int kFrames = 8;
    for (int i = 0; i < kFrames; ++i) {
        word.store(0, std::memory_order_release);
        while (word.load(std::memory_order_acquire) != 1)
            std::this_thread::yield();
    }
    done = true;
    settings.join();
    ASSERT_EQ(SetupCaptureIsr(0, nullptr, &flag, 0), 1);
    EXPECT_EQ(camera->FramesEnded() - endedBefore, static_cast<uint64_t>(kFrames));
    EXPECT_NE(std::count(frame.begin(), frame.end(), 0), static_cast<std::ptrdiff_t>(frame.size()));
    EXPECT_TRUE(Messages().empty());
}

}  // namespace
