// A long run of the capture thread against the virtual camera: a second
// thread keeps changing every image setting at random while the test's own
// thread plays the client, clearing the flag word and checking each frame.
// Every cleared word must come back as 1 after exactly one captured frame,
// every delivered frame must fill the whole picture, and the library must
// hold the same memory late in the run as early in it.
//
// 10,000 frames in a normal build; fewer under a sanitizer. The variable
// TEKO32_SOAK_FRAMES overrides the count.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "support/counting_allocator.h"
#include "support/library_fixture.h"
#include "support/message_recorder.h"
#include "support/sanitizer.h"
#include "support/test_clock.h"
#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"
#include "teko32sim/virtual_camera.h"

namespace {

using teko::testing::CountingAllocator;
using teko::testing::kSanitized;
using teko::testing::MessageRecorder;
using teko::testing::SteppingClock;

constexpr int kFrames = 10'000;
constexpr int kSanitizedFrames = 1'500;
constexpr uint32_t kSeed = 20261211;
constexpr uint16_t kPort = 0x378;
// A small picture keeps a frame short; 3 x 64 bytes per row leaves no padding,
// so the output stage writes every byte of the buffer.
constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;
constexpr int32_t kDepth = 24;
constexpr std::size_t kPictureBytes = std::size_t{3} * kWidth * kHeight;
// Every byte of a 24-bit picture is a gamma-table value, and no gamma puts
// 255 in the table: a byte still 0xFF after delivery was never written.
constexpr uint8_t kNeverWritten = 0xFF;
constexpr auto kDeliveryLimit = std::chrono::seconds(20);

int Frames() {
    if (const char* text = std::getenv("TEKO32_SOAK_FRAMES"); text && *text) {
        return std::max(10, std::atoi(text));
    }
    return kSanitized ? kSanitizedFrames : kFrames;
}

// Calls one settings entry, chosen at random, with a random argument; only
// entries that may run while the capture thread runs.
void ChangeOneSetting(std::mt19937& random) {
    auto pick = [&](int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(random);
    };
    // Mostly ordinary values, now and then one at the 32-bit extremes.
    auto value = [&](int32_t low, int32_t high) {
        constexpr int32_t kExtremes[] = {std::numeric_limits<int32_t>::min(), -1, 0,
                                         std::numeric_limits<int32_t>::max()};
        return pick(0, 15) == 0 ? kExtremes[pick(0, 3)] : pick(low, high);
    };
    switch (pick(0, 11)) {
        case 0:
            SetShutterSpeed(value(0, 600));
            break;
        case 1:
            GetShutterSpeed();
            break;
        case 2:
            SetBrightNess(value(-8, 40));
            break;
        case 3:
            SetShutterThreshold(value(0, 300));
            break;
        case 4:
            SetRedScale(value(0, 200));
            break;
        case 5:
            SetBlueScale(value(0, 200));
            break;
        case 6:
            EnableAutoShutterSpeed(pick(0, 2));
            break;
        case 7:
            SetGamma(value(0, 70));
            break;
        case 8:
            ForceCCDType(pick(0, 1), pick(0, 3));
            break;
        case 9:
            GetCCDType();
            break;
        case 10:
            EnableIsr(value(0, 1));
            break;
        default:  // a nudge of the current value, as a slider would give
            SetShutterSpeed(static_cast<int32_t>(static_cast<uint32_t>(GetShutterSpeed()) +
                                                 static_cast<uint32_t>(pick(-3, 3))));
            break;
    }
}

// Waits for the capture thread's 1; false when it does not come in time.
bool AwaitDelivery(std::atomic_ref<uint16_t> word) {
    const auto limit = std::chrono::steady_clock::now() + kDeliveryLimit;
    for (uint32_t spins = 0;; ++spins) {
        if (word.load(std::memory_order_acquire) == 1) return true;
        if (spins % 1024 == 0 && std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::yield();
    }
}

class SoakTest : public teko::testing::LibraryTest {
  protected:
    void TearDown() override {
        SetupCaptureIsr(0, nullptr, nullptr, 0);
        HaltTeko(0);
        LibraryTest::TearDown();
    }

    // Members, so that TearDown still finds them after a failed assertion.
    teko::sim::VirtualCamera camera;
    CountingAllocator memory;
    SteppingClock clock;
    MessageRecorder messages;
};

TEST_F(SoakTest, CaptureThreadKeepsEveryHandshakeWhileSettingsChange) {
    const int frames = Frames();
    const int checkpoint = std::max(1, frames / 10);
    ASSERT_TRUE(camera.Install());
    ASSERT_TRUE(memory.Install());
    // A clock one millisecond further on every reading: every request comes
    // quickly, so the capture settles in free-running mode and never finds a
    // stale frame to throw away, however the machine schedules the threads.
    // Each captured frame is then exactly one frame ended at the camera.
    clock.Install();
    messages.Install();

    const uint16_t ports[] = {kPort, 0};
    ASSERT_EQ(InitTeko(ports), TEKO32_INIT_RESULT);
    InitFilterStack(0, 1, 1);
    ASSERT_EQ(SetFrameSize(kWidth, kHeight, kDepth), 1);

    std::vector<uint8_t> picture(kPictureBytes, kNeverWritten);
    alignas(4) uint16_t flag = 1;
    std::atomic_ref<uint16_t> word(flag);
    const uint64_t endedBefore = camera.FramesEnded();
    ASSERT_EQ(SetupCaptureIsr(0, picture.data(), &flag, 0), 1);

    std::atomic<bool> done{false};
    std::atomic<uint64_t> changes{0};
    std::thread settings([&] {
        std::mt19937 random(kSeed);
        while (!done.load(std::memory_order_relaxed)) {
            ChangeOneSetting(random);
            changes.fetch_add(1, std::memory_order_relaxed);
            std::this_thread::yield();
        }
    });

    // The client: clear the word, wait for its 1, check the frame.
    int clears = 0;
    int lostAt = 0;       // the clear whose 1 never came
    int miscountAt = 0;   // the handshake after which frames and clears differ
    int unwrittenAt = 0;  // the frame that left bytes of the picture unwritten
    uint64_t framesAtMismatch = 0;
    CountingAllocator::Usage early{};
    while (clears < frames) {
        std::fill(picture.begin(), picture.end(), kNeverWritten);
        ++clears;
        word.store(0, std::memory_order_release);
        if (!AwaitDelivery(word)) {
            lostAt = clears;
            break;
        }
        // The frame was read to its end at the camera before the word became 1.
        const uint64_t ended = camera.FramesEnded() - endedBefore;
        if (ended != static_cast<uint64_t>(clears)) {
            miscountAt = clears;
            framesAtMismatch = ended;
            break;
        }
        if (std::find(picture.begin(), picture.end(), kNeverWritten) != picture.end()) {
            unwrittenAt = clears;
            break;
        }
        if (clears == checkpoint) early = memory.Now();
    }
    const CountingAllocator::Usage late = memory.Now();
    done = true;
    settings.join();
    ASSERT_EQ(SetupCaptureIsr(0, nullptr, &flag, 0), 1);

    ASSERT_EQ(lostAt, 0) << "the word cleared for frame " << lostAt << " never became 1";
    ASSERT_EQ(miscountAt, 0) << framesAtMismatch << " frames captured for " << miscountAt
                             << " cleared words";
    ASSERT_EQ(unwrittenAt, 0) << "frame " << unwrittenAt << " left part of the picture unwritten";
    // Nothing more is captured once the last 1 has been seen.
    EXPECT_EQ(camera.FramesEnded() - endedBefore, static_cast<uint64_t>(frames));
    EXPECT_EQ(messages.Count(), 0u);
    EXPECT_GT(changes.load(), 0u);

    // A capture allocates nothing: the library holds the same blocks at the
    // end as at the checkpoint, and has asked for no new ones in between.
    EXPECT_GT(early.blocks, 0);
    EXPECT_EQ(late.blocks, early.blocks) << "at frame " << checkpoint << " and frame " << frames;
    EXPECT_EQ(late.bytes, early.bytes) << "at frame " << checkpoint << " and frame " << frames;
    EXPECT_EQ(late.allocations, early.allocations);

    ASSERT_EQ(HaltTeko(0), 1);
    EXPECT_EQ(memory.Now().blocks, 0);
    EXPECT_FALSE(camera.InterruptsMasked());
}

}  // namespace
