// A client that breaks the threading contract, from real threads against the
// virtual camera: resizing, zooming, closing and opening while the capture
// thread runs, the same from the capture thread's message handler, captures
// that overlap, and a rebuild during another thread's capture. Then four
// threads calling every entry at random for a bounded time. Nothing may read
// or write freed memory (the sanitizer builds run these), every block is
// released after HaltTeko, and each entry returns one of its documented results.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <mutex>
#include <random>
#include <string_view>
#include <thread>
#include <vector>

#include "support/counting_allocator.h"
#include "support/library_fixture.h"
#include "support/message_recorder.h"
#include "support/row_size.h"
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

using namespace std::chrono_literals;

constexpr uint16_t kPort = 0x378;
constexpr uint32_t kSeed = 20261217;
constexpr auto kDeliveryLimit = 20s;
// Large enough for any picture: 640 x 480 at 3 bytes, rows padded to 4 bytes.
constexpr std::size_t kLargestPicture = teko::testing::PaddedPictureBytes(3, 640, 480);
// No gamma table holds 255 (soak test): a 24-bit byte still 0xFF was never written.
constexpr uint8_t kNeverWritten = 0xFF;

int Rounds(int normal, int sanitized) {
    return kSanitized ? sanitized : normal;
}

bool AwaitWord(std::atomic_ref<uint16_t> word, uint16_t value) {
    const auto limit = std::chrono::steady_clock::now() + kDeliveryLimit;
    while (word.load(std::memory_order_acquire) != value) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::yield();
    }
    return true;
}

bool AllWritten(const std::vector<uint8_t>& picture, std::size_t bytes) {
    return std::find(picture.begin(), picture.begin() + static_cast<std::ptrdiff_t>(bytes),
                     kNeverWritten) == picture.begin() + static_cast<std::ptrdiff_t>(bytes);
}

class ContractBreakTest : public teko::testing::LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_TRUE(camera.Install());
        ASSERT_TRUE(memory.Install());
        // Every request comes quickly: the capture settles in free-running mode and
        // never throws a stale frame away, so each capture ends exactly one frame.
        clock.Install();
        messages.Install();
    }
    void TearDown() override {
        SetupCaptureIsr(0, nullptr, nullptr, 0);
        HaltTeko(0);
        LibraryTest::TearDown();
        CountingAllocator::Uninstall();
    }

    void Open() { ASSERT_EQ(InitTeko(ports), TEKO32_INIT_RESULT); }

    teko::sim::VirtualCamera camera;
    CountingAllocator memory;
    SteppingClock clock;
    MessageRecorder messages;
    const uint16_t ports[2] = {kPort, 0};
};

// A picture in the limits of the zoom state, width a multiple of 4 so that
// a 24-bit row has no padding and the check sees every byte, height even (with
// every line read, an odd height leaves the last picture row as it was).
struct Picture {
    int32_t width;
    int32_t height;
    std::size_t Bytes() const { return std::size_t{3} * static_cast<std::size_t>(width * height); }
};

Picture RandomPicture(std::mt19937& random, bool zoom) {
    auto pick = [&](int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(random);
    };
    return {4 * pick(1, zoom ? 160 : 80), 2 * pick(1, zoom ? 240 : 120)};
}

TEST_F(ContractBreakTest, ReconfiguringWhileTheCaptureThreadRunsStopsItFirst) {
    Open();
    std::mt19937 random(kSeed);
    auto pick = [&](int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(random);
    };
    std::vector<uint8_t> picture(kLargestPicture, kNeverWritten);
    alignas(4) uint16_t flag = 1;
    std::atomic_ref<uint16_t> word(flag);
    bool zoomOn = false;  // the zoom state the library holds
    InitFilterStack(0, 1, 1);
    ASSERT_EQ(SetFrameSize(64, 48, 24), 1);

    const int rounds = Rounds(60, 15);
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(SetupCaptureIsr(0, picture.data(), &flag, 0), 1);
        // A second thread keeps asking for frames, as a careless client does.
        std::atomic<bool> stop{false};
        std::thread clearer([&] {
            while (!stop.load())
                word.store(0, std::memory_order_release);
        });
        // Let some frames come, then break the contract.
        const uint64_t ended = camera.FramesEnded();
        while (camera.FramesEnded() < ended + 2)
            std::this_thread::yield();
        const int action = pick(0, 3);
        const bool zoom = pick(0, 1) != 0;
        switch (action) {
            case 0:  // new switches (the thread keeps running) and a new size
                InitFilterStack(zoom ? 1 : 0, pick(0, 1), pick(0, 1));
                zoomOn = zoom;
                SetRealizedFilter(pick(0, 1));
                {
                    const Picture p = RandomPicture(random, zoom);
                    EXPECT_EQ(SetFrameSize(p.width, p.height, pick(0, 1) ? 24 : 16), 1);
                }
                break;
            case 1:
                EXPECT_EQ(EnableZoom(zoomOn ? 0 : 1), 1);
                zoomOn = !zoomOn;
                break;
            case 2:
                EXPECT_EQ(HaltTeko(0), 1);
                EXPECT_EQ(memory.Live(), 0) << "blocks held after HaltTeko";
                EXPECT_EQ(InitTeko(ports), TEKO32_INIT_RESULT);
                zoomOn = true;
                break;
            default:
                EXPECT_EQ(InitTeko(ports), TEKO32_INIT_RESULT);  // already open: nothing changes
                break;
        }
        // The thread has ended: nothing is captured however often the word is cleared.
        const uint64_t after = camera.FramesEnded();
        std::this_thread::sleep_for(5ms);
        stop = true;
        clearer.join();
        EXPECT_EQ(camera.FramesEnded(), after) << "captured after action " << action;

        // Resized, the capture thread delivers whole frames again.
        InitFilterStack(0, pick(0, 1), pick(0, 1));
        SetRealizedFilter(0);
        const Picture p = RandomPicture(random, false);
        ASSERT_EQ(SetFrameSize(p.width, p.height, 24), 1);
        std::fill(picture.begin(), picture.end(), kNeverWritten);
        word.store(1);
        ASSERT_EQ(SetupCaptureIsr(0, picture.data(), &flag, 0), 1);
        word.store(0, std::memory_order_release);
        ASSERT_TRUE(AwaitWord(word, 1)) << "no frame after the resize";
        EXPECT_TRUE(AllWritten(picture, p.Bytes())) << p.width << "x" << p.height;
        zoomOn = pick(0, 1) != 0;
        InitFilterStack(zoomOn ? 1 : 0, 1, 1);  // switches again, the thread running
        ASSERT_EQ(SetFrameSize(64, 48, 24), 1);
    }
    EXPECT_EQ(HaltTeko(0), 1);
    EXPECT_EQ(memory.Live(), 0) << "blocks held after HaltTeko";
    EXPECT_EQ(messages.Count(), 0u);
    EXPECT_FALSE(camera.InterruptsMasked());
}

// Calls every contract-breaking entry from the failure message's handler,
// which runs on the thread that is capturing.
struct HandlerCalls {
    std::atomic<int> calls{0};
    std::array<std::atomic<int64_t>, 5> results{};
    std::vector<uint8_t>* other = nullptr;
    uint16_t ports[2] = {kPort, 0};
};

void TEKO32_CALL ReconfigureFromHandler(void* context, const char*, const char*) {
    auto* self = static_cast<HandlerCalls*>(context);
    self->results[0] = SetFrameSize(32, 24, 24);
    self->results[1] = EnableZoom(1);
    self->results[2] = HaltTeko(0);
    self->results[3] = InitTeko(self->ports);
    self->results[4] = CaptureFrameWait(self->other->data());
    self->calls.fetch_add(1);
}

TEST_F(ContractBreakTest, FromInsideACaptureTheyRefuseInsteadOfWaitingForThemselves) {
    Open();
    InitFilterStack(0, 1, 1);
    ASSERT_EQ(SetFrameSize(64, 48, 24), 1);
    const Picture p{64, 48};
    std::vector<uint8_t> picture(kLargestPicture, kNeverWritten);
    std::vector<uint8_t> other(kLargestPicture, kNeverWritten);
    HandlerCalls handler;
    handler.other = &other;
    TekoSetMessageHandler(ReconfigureFromHandler, &handler);
    alignas(4) uint16_t flag = 1;
    std::atomic_ref<uint16_t> word(flag);

    for (const bool onCaptureThread : {true, false}) {
        SCOPED_TRACE(onCaptureThread ? "capture thread" : "client thread");
        handler.calls = 0;
        // The shutter register refuses once: the capture shows its failure.
        teko::sim::Faults faults;
        faults.refuseRegister = 10;
        faults.refuseCount = 1;
        camera.SetFaults(faults);
        SetShutterSpeed(70);
        if (onCaptureThread) {
            ASSERT_EQ(SetupCaptureIsr(0, picture.data(), &flag, 0), 1);
            word.store(0, std::memory_order_release);
            ASSERT_TRUE(AwaitWord(word, 1));
        } else {
            EXPECT_EQ(CaptureFrameWait(picture.data()), 0);
        }
        ASSERT_EQ(handler.calls.load(), 1);
        for (const auto& result : handler.results)
            EXPECT_EQ(result.load(), 0);
        EXPECT_TRUE(
            std::all_of(other.begin(), other.end(), [](uint8_t b) { return b == kNeverWritten; }));

        // Nothing was rebuilt: the next frame comes whole.
        std::fill(picture.begin(), picture.end(), kNeverWritten);
        if (onCaptureThread) {
            word.store(0, std::memory_order_release);
            ASSERT_TRUE(AwaitWord(word, 1));
            ASSERT_EQ(SetupCaptureIsr(0, nullptr, &flag, 0), 1);
        } else {
            EXPECT_EQ(CaptureFrameWait(picture.data()), 1);
        }
        EXPECT_TRUE(AllWritten(picture, p.Bytes()));
    }
    EXPECT_EQ(HaltTeko(0), 1);
    EXPECT_EQ(memory.Live(), 0);
}

TEST_F(ContractBreakTest, OverlappingCapturesAreRefusedAndTouchNothing) {
    Open();
    InitFilterStack(0, 1, 1);
    const Picture p{64, 48};
    ASSERT_EQ(SetFrameSize(p.width, p.height, 24), 1);
    const uint64_t endedBefore = camera.FramesEnded();

    // The capture thread, kept busy by a clearer that counts its deliveries.
    std::vector<uint8_t> threadPicture(kLargestPicture);
    alignas(4) uint16_t flag = 1;
    std::atomic_ref<uint16_t> word(flag);
    ASSERT_EQ(SetupCaptureIsr(0, threadPicture.data(), &flag, 0), 1);
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> delivered{0};
    std::thread clearer([&] {
        word.store(0, std::memory_order_release);
        while (!stop.load()) {
            if (word.load(std::memory_order_acquire) == 1) {
                delivered.fetch_add(1);
                word.store(0, std::memory_order_release);
            }
        }
    });

    // Two client threads capture at the same time, each into its own buffer.
    const int calls = Rounds(150, 40);
    std::atomic<uint64_t> captured{0};
    std::atomic<int> untouchedFailures{0};
    std::atomic<int> refused{0};
    auto client = [&] {
        std::vector<uint8_t> picture(kLargestPicture);
        for (int i = 0; i < calls; ++i) {
            std::fill(picture.begin(), picture.end(), kNeverWritten);
            const int32_t result = CaptureFrameWait(picture.data());
            const bool whole = AllWritten(picture, p.Bytes());
            const bool untouched = std::all_of(picture.begin(), picture.end(),
                                               [](uint8_t b) { return b == kNeverWritten; });
            if (result == 1) {
                captured.fetch_add(1);
                if (!whole) untouchedFailures.fetch_add(1);
            } else {
                refused.fetch_add(1);
                if (result != 0 || !untouched) untouchedFailures.fetch_add(1);
            }
        }
    };
    std::thread first(client);
    std::thread second(client);
    first.join();
    second.join();
    stop = true;
    clearer.join();
    ASSERT_EQ(SetupCaptureIsr(0, nullptr, &flag, 0), 1);  // waits for the capture in progress
    if (word.load() == 1) delivered.fetch_add(1);

    EXPECT_EQ(untouchedFailures.load(), 0)
        << "a refused capture wrote the buffer, or a successful one left it unfinished";
    EXPECT_GT(refused.load(), 0) << "the captures never overlapped";
    EXPECT_GT(captured.load(), 0u);
    // Every capture that ran ended exactly one frame at the camera; a refused
    // one reached no port.
    EXPECT_EQ(camera.FramesEnded() - endedBefore, captured.load() + delivered.load());
    EXPECT_EQ(messages.Count(), 0u);
    EXPECT_EQ(HaltTeko(0), 1);
    EXPECT_EQ(memory.Live(), 0);
}

// Holds the frame transfer at its first sample until released.
class Gate {
  public:
    void Enter() {
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
    }
    void AwaitEntered() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return entered_; });
    }
    void Open() {
        const std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool open_ = false;
};

TEST_F(ContractBreakTest, ARebuildWaitsForACaptureOnAnotherThread) {
    struct Case {
        const char* entry;
        int32_t (*call)(const uint16_t* ports);
        int32_t result;
    };
    const Case cases[] = {
        {"SetFrameSize", [](const uint16_t*) { return SetFrameSize(32, 24, 16); }, 1},
        {"EnableZoom", [](const uint16_t*) { return EnableZoom(1); }, 1},
        {"HaltTeko", [](const uint16_t*) { return HaltTeko(0); }, 1},
        {"InitTeko",
         [](const uint16_t* list) {
             HaltTeko(0);  // waits as well, then the open is a real one
             return static_cast<int32_t>(InitTeko(list));
         },
         static_cast<int32_t>(TEKO32_INIT_RESULT)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        Open();
        InitFilterStack(0, 1, 1);
        ASSERT_EQ(SetFrameSize(64, 48, 24), 1);
        Gate gate;
        camera.SetFrameSource([&](int, int) {
            gate.Enter();
            return uint8_t{100};
        });
        std::vector<uint8_t> picture(kLargestPicture, kNeverWritten);
        auto capture =
            std::async(std::launch::async, [&] { return CaptureFrameWait(picture.data()); });
        gate.AwaitEntered();

        auto rebuild = std::async(std::launch::async, [&] { return c.call(ports); });
        // A capture that starts meanwhile is refused at once and writes nothing.
        std::vector<uint8_t> other(kLargestPicture, kNeverWritten);
        EXPECT_EQ(CaptureFrameWait(other.data()), 0);
        EXPECT_TRUE(
            std::all_of(other.begin(), other.end(), [](uint8_t b) { return b == kNeverWritten; }));
        EXPECT_EQ(rebuild.wait_for(50ms), std::future_status::timeout)
            << "did not wait for the capture";

        gate.Open();
        EXPECT_EQ(capture.get(), 1);
        EXPECT_EQ(rebuild.get(), c.result);
        camera.SetFrameSource(nullptr);
        EXPECT_EQ(HaltTeko(0), c.entry == std::string_view("HaltTeko") ? 0 : 1);
        EXPECT_EQ(memory.Live(), 0);
    }
}

// Four threads call every entry at random for a bounded time.
TEST_F(ContractBreakTest, ChaosOfFourThreadsLeavesNothingBehind) {
    constexpr int kThreads = 4;
    const auto duration = kSanitized ? 1500ms : 3000ms;
    struct Worker {
        std::vector<uint8_t> picture = std::vector<uint8_t>(kLargestPicture);
        alignas(4) uint16_t flag = 1;
        uint64_t calls = 0;
        int unexpected = 0;
    };
    std::array<Worker, kThreads> workers;
    std::atomic<bool> stop{false};
    auto work = [&](int index) {
        Worker& self = workers[static_cast<std::size_t>(index)];
        std::mt19937 random(kSeed + static_cast<uint32_t>(index));
        auto pick = [&](int32_t low, int32_t high) {
            return std::uniform_int_distribution<int32_t>(low, high)(random);
        };
        auto expectIn = [&](int64_t result, std::initializer_list<int64_t> allowed) {
            if (std::find(allowed.begin(), allowed.end(), result) == allowed.end()) {
                ++self.unexpected;
            }
        };
        const uint16_t list[] = {kPort, 0};
        while (!stop.load(std::memory_order_relaxed)) {
            ++self.calls;
            switch (pick(0, 19)) {
                case 0:
                    expectIn(InitTeko(list), {TEKO32_INIT_RESULT});
                    break;
                case 1:
                    expectIn(HaltTeko(0), {0, 1});
                    break;
                case 2:
                case 3: {
                    const bool zoom = pick(0, 1) != 0;
                    expectIn(SetFrameSize(pick(-1, zoom ? 640 : 320), pick(-1, zoom ? 480 : 240),
                                          pick(0, 1) ? 24 : 16),
                             {0, 1});
                    break;
                }
                case 4:
                    expectIn(EnableZoom(pick(0, 1)), {0, 1});
                    break;
                case 5:
                    InitFilterStack(pick(0, 1), pick(0, 1), pick(0, 1));
                    break;
                case 6:
                    expectIn(SetRealizedFilter(pick(0, 1)), {1});
                    break;
                case 7:
                case 8:
                case 9:
                    expectIn(CaptureFrameWait(self.picture.data()), {0, 1});
                    break;
                case 10:
                    std::atomic_ref<uint16_t>(self.flag).store(0);
                    expectIn(SetupCaptureIsr(0, self.picture.data(), &self.flag, 0), {1});
                    break;
                case 11:
                    expectIn(SetupCaptureIsr(0, nullptr, &self.flag, 0), {1});
                    break;
                case 12:
                    std::atomic_ref<uint16_t>(self.flag).store(0);
                    expectIn(EnableIsr(pick(0, 1)), {1});
                    break;
                case 13: {
                    const int32_t value = pick(0, 500);
                    expectIn(SetShutterSpeed(value), {value});
                    GetShutterSpeed();
                    break;
                }
                case 14:
                    SetBrightNess(pick(0, 31));
                    SetShutterThreshold(pick(0, 255));
                    break;
                case 15:
                    SetRedScale(pick(20, 100));
                    SetBlueScale(pick(20, 100));
                    break;
                case 16:
                    expectIn(EnableAutoShutterSpeed(pick(0, 1)), {0, 1});
                    break;
                case 17:
                    expectIn(SetGamma(pick(6, 59)), {1});
                    break;
                case 18:
                    expectIn(ForceCCDType(pick(0, 1), pick(0, 2)), {0});
                    GetCCDType();
                    break;
                default:
                    std::this_thread::yield();
                    break;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back(work, i);
    std::this_thread::sleep_for(duration);
    stop = true;
    for (std::thread& t : threads)
        t.join();

    ASSERT_EQ(SetupCaptureIsr(0, nullptr, nullptr, 0), 1);
    // An EnableZoom after the last HaltTeko builds a stack on a closed camera,
    // which only the close of an open one releases: open and close once more.
    const uint16_t list[] = {kPort, 0};
    InitTeko(list);
    EXPECT_EQ(HaltTeko(0), 1);
    EXPECT_EQ(memory.Live(), 0) << "blocks held after HaltTeko";
    uint64_t calls = 0;
    for (const Worker& w : workers) {
        calls += w.calls;
        EXPECT_EQ(w.unexpected, 0);
    }
    EXPECT_GT(calls, 100u);
    EXPECT_FALSE(camera.InterruptsMasked());

    // The library still works.
    ForceCCDType(0, 0);
    Open();
    InitFilterStack(0, 1, 1);
    SetRealizedFilter(0);
    ASSERT_EQ(SetFrameSize(64, 48, 24), 1);
    std::vector<uint8_t> picture(kLargestPicture, kNeverWritten);
    EXPECT_EQ(CaptureFrameWait(picture.data()), 1);
    EXPECT_TRUE(AllWritten(picture, std::size_t{3} * 64 * 48));
    EXPECT_EQ(HaltTeko(0), 1);
    EXPECT_EQ(memory.Live(), 0);
}

}  // namespace
