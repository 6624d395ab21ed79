// The element's threads without GStreamer around them: a consumer taking
// frames, the application changing settings and flushing, and a close that
// abandons a stalled transfer. Runs under ThreadSanitizer with no
// suppressions.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "session.h"
#include "teko32sim/virtual_camera.h"

namespace {

using namespace std::chrono_literals;
using teko::gstsrc::DeviceRequest;
using teko::gstsrc::FrameGeometry;
using teko::gstsrc::ImageSettings;
using teko::gstsrc::OpenFailure;
using teko::gstsrc::Session;

std::shared_ptr<Session> OpenVirtual(std::shared_ptr<teko::sim::VirtualCamera> camera,
                                     std::shared_ptr<ImageSettings> settings,
                                     OpenFailure* failure) {
    DeviceRequest request;
    request.camera = std::move(camera);
    return Session::Open(request, std::move(settings), nullptr, 3s, failure);
}

TEST(SessionTest, FramesFlushesAndSettingsFromOtherThreads) {
    auto camera = std::make_shared<teko::sim::VirtualCamera>();
    auto settings = std::make_shared<ImageSettings>();
    OpenFailure failure;
    auto session = OpenVirtual(camera, settings, &failure);
    ASSERT_NE(session, nullptr) << failure.text;
    std::string why;
    ASSERT_TRUE(session->Configure(FrameGeometry{160, 120}, 0ns, 1s, &why)) << why;
    ASSERT_EQ(session->FrameBytes(), static_cast<size_t>(480 * 120));

    std::atomic<bool> done{false};
    std::thread app([&] {
        for (int i = 0; !done.load(); ++i) {
            settings->Set(ImageSettings::kShutter, 40 + i % 100);
            settings->Set(ImageSettings::kRedGain, 40 + i % 30);
            if (i % 7 == 0) {
                session->SetFlushing(true);
                session->SetFlushing(false);
            }
            std::this_thread::sleep_for(1ms);
        }
    });
    int frames = 0, flushes = 0;
    uint64_t checksum = 0;
    bool failed = false;
    while (frames < 200 && !failed) {
        Session::Frame frame;
        switch (session->Acquire(2s, &frame, &why)) {
            case Session::Result::Frame:
                for (size_t i = 0; i < session->FrameBytes(); i += 97)
                    checksum += frame.data[i];
                session->Release();
                ++frames;
                break;
            case Session::Result::Flushing:
                ++flushes;
                std::this_thread::yield();
                break;
            default:
                ADD_FAILURE() << why;
                failed = true;
        }
    }
    done = true;
    app.join();
    EXPECT_GT(checksum, 0u);
    session->Close(1s);
    // Closed: the library is free again and the camera idle.
    auto again = OpenVirtual(camera, settings, &failure);
    ASSERT_NE(again, nullptr) << failure.text;
    again->Close(1s);
}

TEST(SessionTest, SecondOpenIsBusyAndCloseAbandonsAStalledFrame) {
    std::mutex mutex;
    std::condition_variable cv;
    bool stalled = false, released = false;
    auto camera = std::make_shared<teko::sim::VirtualCamera>();
    camera->SetFrameSource([&](int line, int) -> uint8_t {
        if (line == 30) {
            std::unique_lock lock(mutex);
            if (!stalled) {
                stalled = true;
                cv.notify_all();
                cv.wait_for(lock, 20s, [&] { return released; });
            }
        }
        return 100;
    });
    auto settings = std::make_shared<ImageSettings>();
    OpenFailure failure;
    auto session = OpenVirtual(camera, settings, &failure);
    ASSERT_NE(session, nullptr) << failure.text;

    DeviceRequest other;
    other.camera = std::make_shared<teko::sim::VirtualCamera>();
    EXPECT_EQ(Session::Open(other, settings, nullptr, 10ms, &failure), nullptr);
    EXPECT_EQ(failure.kind, OpenFailure::Kind::Busy);

    std::string why;
    ASSERT_TRUE(session->Configure(FrameGeometry{320, 240}, 0ns, 1s, &why)) << why;
    std::thread consumer([&] {
        Session::Frame frame;
        // Released by the close while the transfer hangs.
        EXPECT_EQ(session->Acquire(30s, &frame, &why), Session::Result::Flushing);
    });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, 10s, [&] { return stalled; }));
    }
    const auto start = std::chrono::steady_clock::now();
    session->Close(200ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    consumer.join();
    session.reset();

    // Still busy until the abandoned frame ends; then free.
    EXPECT_EQ(Session::Open(other, settings, nullptr, 10ms, &failure), nullptr);
    {
        std::lock_guard lock(mutex);
        released = true;
    }
    cv.notify_all();
    auto next = Session::Open(other, settings, nullptr, 5s, &failure);
    ASSERT_NE(next, nullptr) << failure.text;
    next->Close(1s);
}

}  // namespace
