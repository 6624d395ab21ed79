// tekosrc in a GstHarness against the virtual camera: pictures equal to what
// the library writes, properties reaching the camera, buffer counts and EOS,
// latency, failures at start, state cycles and a stalled transfer.
#include <gst/check/gstharness.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "session.h"
#include "teko32/teko32.h"
#include "teko32sim/virtual_camera.h"
#include "tekosrc.h"

namespace {

using namespace std::chrono_literals;
using teko::gstsrc::PixelFormat;
using teko::gstsrc::RowBytes;

// A still scene, so that every frame after the first (whose exposure the
// camera had before the settings were written) is the same picture.
const std::string& ScenePath() {
    static const std::string path = [] {
        const auto file = std::filesystem::temp_directory_path() /
                          ("tekosrc-scene-" + std::to_string(::getpid()) + ".png");
        GError* error = nullptr;
        const std::string line =
            "videotestsrc pattern=smpte num-buffers=1 ! "
            "video/x-raw,width=640,height=480,format=RGB ! pngenc ! filesink location=" +
            file.string();
        GstElement* pipeline = gst_parse_launch(line.c_str(), &error);
        EXPECT_EQ(error, nullptr);
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        GstBus* bus = gst_element_get_bus(pipeline);
        GstMessage* m = gst_bus_timed_pop_filtered(
            bus, 10 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        EXPECT_TRUE(m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS);
        if (m) gst_message_unref(m);
        gst_object_unref(bus);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
        return file.string();
    }();
    return path;
}

class Environment : public ::testing::Environment {
  public:
    void SetUp() override {
        // A registry of its own: no installed or built plugin is loaded.
        g_setenv("GST_REGISTRY", "unit-registry.bin", FALSE);
        gst_init(nullptr, nullptr);
        ASSERT_TRUE(teko::gstsrc::RegisterStaticPlugin());
    }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

GstElement* MakeSource() {
    GstElement* src = gst_element_factory_make("tekosrc", nullptr);
    EXPECT_NE(src, nullptr);
    g_object_set(src, "device", "virtual", nullptr);
    return src;
}

// A harness around a fresh tekosrc with a fixed exposure on the still scene.
struct Harness {
    GstHarness* h = nullptr;
    GstElement* src = nullptr;

    explicit Harness(const std::string& caps, bool stillScene = true) {
        src = MakeSource();
        if (stillScene) {
            g_object_set(src, "scene", ScenePath().c_str(), "auto-exposure", FALSE, "shutter", 90,
                         nullptr);
        }
        h = gst_harness_new_with_element(src, nullptr, "src");
        gst_harness_use_systemclock(h);
        if (!caps.empty()) gst_harness_set_sink_caps_str(h, caps.c_str());
    }
    ~Harness() {
        gst_harness_teardown(h);
        gst_object_unref(src);
    }
    std::shared_ptr<teko::sim::VirtualCamera> Camera() const {
        return teko::gstsrc::VirtualCameraOf(src);
    }
    // Pulls one buffer and drops it; false when none came.
    bool PullOne() const {
        GstBuffer* buffer = gst_harness_pull(h);
        if (buffer == nullptr) return false;
        gst_buffer_unref(buffer);
        return true;
    }
};

std::vector<uint8_t> Bytes(GstBuffer* buffer) {
    GstMapInfo map;
    EXPECT_TRUE(gst_buffer_map(buffer, &map, GST_MAP_READ));
    std::vector<uint8_t> bytes(map.data, map.data + map.size);
    gst_buffer_unmap(buffer, &map);
    return bytes;
}

// What CaptureFrameWait writes for the same settings, frame `frames` of a
// fresh virtual camera, into a zero-filled buffer (bottom-up rows).
std::vector<uint8_t> ReferenceFrame(PixelFormat format, int width, int height, int frames) {
    teko::sim::VirtualCamera camera;
    std::string why;
    EXPECT_TRUE(camera.LoadScenePng(ScenePath(), &why)) << why;
    camera.Install();
    const uint16_t ports[] = {camera.config().base, 0};
    InitTeko(ports);
    EnableAutoShutterSpeed(0);
    SetShutterSpeed(90);
    SetBrightNess(19);
    SetRedScale(64);
    SetBlueScale(64);
    SetGamma(18);
    InitFilterStack(width > 320 || height > 240 ? 1 : 0, 1, 1);
    SetRealizedFilter(format == PixelFormat::Uyvy ? 1 : 0);
    EXPECT_EQ(SetFrameSize(width, height, format == PixelFormat::Bgr24 ? 24 : 16), 1);
    std::vector<uint8_t> picture(static_cast<size_t>(RowBytes(format, width)) * height, 0);
    for (int i = 0; i < frames; ++i)
        EXPECT_EQ(CaptureFrameWait(picture.data()), 1);
    HaltTeko(0);
    TekoSetPortIo(nullptr);
    return picture;
}

GstVideoInfo InfoOf(GstHarness* h) {
    GstCaps* caps = gst_pad_get_current_caps(h->sinkpad);
    GstVideoInfo info;
    EXPECT_TRUE(caps && gst_video_info_from_caps(&info, caps));
    if (caps) gst_caps_unref(caps);
    return info;
}

// ---- Pictures ---------------------------------------------------------------

struct PictureCase {
    const char* format;
    PixelFormat library;
    int width;
    int height;
};

class PictureTest : public ::testing::TestWithParam<PictureCase> {};

TEST_P(PictureTest, TopDownCopyOfWhatTheLibraryWrites) {
    const PictureCase& c = GetParam();
    Harness harness("video/x-raw,format=" + std::string(c.format) +
                    ",width=" + std::to_string(c.width) + ",height=" + std::to_string(c.height) +
                    ",framerate=200/1");
    gst_harness_play(harness.h);
    constexpr int kFrames = 3;
    std::vector<uint8_t> last;
    for (int i = 0; i < kFrames; ++i) {
        GstBuffer* buffer = gst_harness_pull(harness.h);
        ASSERT_NE(buffer, nullptr);
        EXPECT_FALSE(GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_CORRUPTED));
        last = Bytes(buffer);
        gst_buffer_unref(buffer);
    }
    const GstVideoInfo info = InfoOf(harness.h);
    ASSERT_EQ(last.size(), GST_VIDEO_INFO_SIZE(&info));
    const size_t stride = static_cast<size_t>(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0));
    ASSERT_EQ(stride, static_cast<size_t>(RowBytes(c.library, c.width)));
    gst_element_set_state(harness.src, GST_STATE_NULL);

    const auto reference = ReferenceFrame(c.library, c.width, c.height, kFrames);
    ASSERT_EQ(reference.size(), last.size());
    for (int y = 0; y < c.height; ++y) {
        ASSERT_EQ(0,
                  std::memcmp(&last[y * stride], &reference[(c.height - 1 - y) * stride], stride))
            << "row " << y;
    }
    // Not a blank picture.
    EXPECT_NE(std::count(last.begin(), last.end(), last[0]), static_cast<long>(last.size()));
}

INSTANTIATE_TEST_SUITE_P(FormatsAndSizes, PictureTest,
                         ::testing::Values(PictureCase{"BGR", PixelFormat::Bgr24, 640, 480},
                                           PictureCase{"BGR", PixelFormat::Bgr24, 320, 240},
                                           PictureCase{"BGR", PixelFormat::Bgr24, 33, 17},
                                           PictureCase{"BGR", PixelFormat::Bgr24, 321, 241},
                                           PictureCase{"RGB15", PixelFormat::Rgb555, 640, 480},
                                           PictureCase{"RGB15", PixelFormat::Rgb555, 161, 121},
                                           PictureCase{"RGB15", PixelFormat::Rgb555, 33, 17},
                                           PictureCase{"UYVY", PixelFormat::Uyvy, 640, 480},
                                           PictureCase{"UYVY", PixelFormat::Uyvy, 320, 240},
                                           PictureCase{"UYVY", PixelFormat::Uyvy, 33, 17}),
                         [](const auto& p) {
                             return std::string(p.param.format) + "_" +
                                    std::to_string(p.param.width) + "x" +
                                    std::to_string(p.param.height);
                         });

TEST(CapsTest, SixteenBitFormatHasBlueInTheLowFiveBits) {
    // The library packs red into bits 10..14 and blue into bits 0..4.
    const GstVideoFormatInfo* info = gst_video_format_get_info(GST_VIDEO_FORMAT_RGB15);
    EXPECT_EQ(GST_VIDEO_FORMAT_INFO_SHIFT(info, 0), 10u);  // red
    EXPECT_EQ(GST_VIDEO_FORMAT_INFO_SHIFT(info, 1), 5u);   // green
    EXPECT_EQ(GST_VIDEO_FORMAT_INFO_SHIFT(info, 2), 0u);   // blue
    EXPECT_EQ(gst_video_format_from_masks(15, 16, G_LITTLE_ENDIAN, 0x7C00, 0x03E0, 0x001F, 0),
              GST_VIDEO_FORMAT_RGB15);
}

TEST(CapsTest, FixationPrefersBgrAndTheLargestPicture) {
    Harness harness("video/x-raw,format={UYVY,BGR,RGB15},width=[1,400],height=[1,300]");
    gst_harness_play(harness.h);
    ASSERT_TRUE(harness.PullOne());
    const GstVideoInfo info = InfoOf(harness.h);
    EXPECT_EQ(GST_VIDEO_INFO_FORMAT(&info), GST_VIDEO_FORMAT_BGR);
    EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), 400);
    EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&info), 300);
    EXPECT_EQ(GST_VIDEO_INFO_FPS_N(&info), 30);
}

TEST(CapsTest, ImpossibleCapsFailNegotiation) {
    for (const char* caps : {"video/x-raw,format=BGR,width=800,height=600,framerate=30/1",
                             "video/x-raw,format=I420,width=320,height=240,framerate=30/1"}) {
        Harness harness(caps);
        GstBus* bus = gst_bus_new();
        gst_element_set_bus(harness.src, bus);
        gst_harness_play(harness.h);
        GstMessage* m = gst_bus_timed_pop_filtered(bus, 5 * GST_SECOND, GST_MESSAGE_ERROR);
        ASSERT_NE(m, nullptr) << caps;
        GError* error = nullptr;
        gst_message_parse_error(m, &error, nullptr);
        EXPECT_TRUE(g_error_matches(error, GST_CORE_ERROR, GST_CORE_ERROR_NEGOTIATION))
            << caps << ": " << error->message;
        g_error_free(error);
        gst_message_unref(m);
        gst_element_set_bus(harness.src, nullptr);
        gst_object_unref(bus);
    }
}

// ---- Streaming ---------------------------------------------------------------

TEST(StreamTest, NumBuffersGivesExactlyThatManyThenEos) {
    Harness harness("video/x-raw,format=BGR,width=160,height=120,framerate=100/1");
    g_object_set(harness.src, "num-buffers", 7, nullptr);
    gst_harness_play(harness.h);
    GstClockTime lastPts = 0;
    for (guint64 i = 0; i < 7; ++i) {
        GstBuffer* buffer = gst_harness_pull(harness.h);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(GST_BUFFER_OFFSET(buffer), i);
        EXPECT_EQ(GST_BUFFER_OFFSET_END(buffer), i + 1);
        EXPECT_EQ(GST_BUFFER_DURATION(buffer), GST_SECOND / 100);
        ASSERT_TRUE(GST_BUFFER_PTS_IS_VALID(buffer));
        if (i > 0) {
            EXPECT_GT(GST_BUFFER_PTS(buffer), lastPts);
        }
        lastPts = GST_BUFFER_PTS(buffer);
        gst_buffer_unref(buffer);
    }
    bool eos = false;
    while (GstEvent* event = gst_harness_pull_event(harness.h)) {
        eos = GST_EVENT_TYPE(event) == GST_EVENT_EOS;
        gst_event_unref(event);
        if (eos) break;
    }
    EXPECT_TRUE(eos);
    EXPECT_EQ(gst_harness_buffers_in_queue(harness.h), 0u);
}

TEST(StreamTest, LatencyIsLiveWithOneFrameMinimum) {
    Harness harness("video/x-raw,format=BGR,width=320,height=240,framerate=25/1");
    gst_harness_play(harness.h);
    ASSERT_TRUE(harness.PullOne());
    GstQuery* query = gst_query_new_latency();
    GstPad* pad = gst_element_get_static_pad(harness.src, "src");
    ASSERT_TRUE(gst_pad_query(pad, query));
    gboolean live = FALSE;
    GstClockTime min = 0, max = 0;
    gst_query_parse_latency(query, &live, &min, &max);
    EXPECT_TRUE(live);
    EXPECT_EQ(min, GST_SECOND / 25);
    EXPECT_GE(max, min);
    gst_query_unref(query);
    gst_object_unref(pad);
}

TEST(StreamTest, PropertyChangesWhilePlayingReachTheCamera) {
    Harness harness("video/x-raw,format=BGR,width=160,height=120,framerate=200/1");
    const auto camera = harness.Camera();
    gst_harness_play(harness.h);
    const auto pull = [&] { ASSERT_TRUE(harness.PullOne()); };
    for (int i = 0; i < 3; ++i)
        pull();
    g_object_set(harness.src, "shutter", 222, "brightness", 5, nullptr);
    for (int i = 0; i < 4; ++i)
        pull();
    gst_element_set_state(harness.src, GST_STATE_NULL);

    // Read after NULL: the worker no longer drives the port.
    EXPECT_EQ(camera->RegisterValue(10), 222);    // shutter
    EXPECT_EQ(camera->RegisterValue(8), 31 - 5);  // brightness
    const auto& log = camera->RegisterLog();
    const auto first = std::find(log.begin(), log.end(), std::pair<int, int32_t>{10, 90});
    const auto changed = std::find(log.begin(), log.end(), std::pair<int, int32_t>{10, 222});
    EXPECT_TRUE(first != log.end() && changed != log.end() && first < changed);
}

TEST(StreamTest, StateChangeCycles) {
    Harness harness("video/x-raw,format=RGB15,width=320,height=240,framerate=100/1");
    for (int cycle = 0; cycle < 4; ++cycle) {
        ASSERT_NE(gst_element_set_state(harness.src, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(harness.PullOne()) << "cycle " << cycle;
        }
        // PLAYING -> PAUSED -> PLAYING keeps streaming.
        ASSERT_NE(gst_element_set_state(harness.src, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
        ASSERT_NE(gst_element_set_state(harness.src, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
        ASSERT_TRUE(harness.PullOne()) << "cycle " << cycle;
        ASSERT_EQ(gst_element_set_state(harness.src, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
        while (GstBuffer* stale = gst_harness_try_pull(harness.h))
            gst_buffer_unref(stale);
    }
    gchar* name = nullptr;
    g_object_get(harness.src, "device-name", &name, nullptr);
    EXPECT_STREQ(name, "virtual camera");
    g_free(name);
}

// ---- Failures at start ---------------------------------------------------------

// Sets `src` to PLAYING, which must fail, and returns the error posted.
GError* StartError(GstElement* src) {
    GstBus* bus = gst_bus_new();
    gst_element_set_bus(src, bus);
    EXPECT_EQ(gst_element_set_state(src, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    GstMessage* m = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
    GError* error = nullptr;
    if (m) {
        gst_message_parse_error(m, &error, nullptr);
        gst_message_unref(m);
    }
    gst_element_set_state(src, GST_STATE_NULL);
    gst_element_set_bus(src, nullptr);
    gst_object_unref(bus);
    return error;
}

TEST(StartTest, FailuresPostTheRightResourceError) {
    struct Case {
        const char* name;
        const char* device;
        bool silentCamera;
        const char* scene;
        int code;
    };
    const Case cases[] = {
        {"camera does not answer", "virtual", true, nullptr, GST_RESOURCE_ERROR_NOT_FOUND},
        {"unknown device", "lp9", false, nullptr, GST_RESOURCE_ERROR_NOT_FOUND},
        {"missing parport device", "/dev/parport7", false, nullptr, GST_RESOURCE_ERROR_NOT_FOUND},
        {"unreadable scene", "virtual", false, "/nonexistent.png", GST_RESOURCE_ERROR_OPEN_READ},
    };
    for (const Case& c : cases) {
        GstElement* src = gst_element_factory_make("tekosrc", nullptr);
        g_object_set(src, "device", c.device, "scene", c.scene, nullptr);
        if (c.silentCamera) {
            teko::sim::Faults faults;
            faults.neverAcknowledge = true;
            teko::gstsrc::VirtualCameraOf(src)->SetFaults(faults);
        }
        GError* error = StartError(src);
        ASSERT_NE(error, nullptr) << c.name;
        EXPECT_TRUE(g_error_matches(error, GST_RESOURCE_ERROR, c.code))
            << c.name << ": " << error->message;
        g_error_free(error);
        gst_object_unref(src);
    }
}

TEST(StartTest, SecondSourceInTheProcessIsBusy) {
    Harness first("video/x-raw,format=BGR,width=160,height=120,framerate=30/1");
    gst_harness_play(first.h);
    ASSERT_TRUE(first.PullOne());

    GstElement* second = MakeSource();
    GError* error = StartError(second);
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(g_error_matches(error, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_BUSY))
        << error->message;
    g_error_free(error);
    gst_object_unref(second);
}

// ---- Never a hang -------------------------------------------------------------

// A frame source that blocks in the middle of one frame until released.
struct Stall {
    std::mutex mutex;
    std::condition_variable cv;
    bool armed = false;
    bool stalled = false;
    bool released = false;

    uint8_t Sample(int line, int column) {
        if (line == 60 && column == 0) {
            std::unique_lock lock(mutex);
            if (armed) {
                armed = false;
                stalled = true;
                cv.notify_all();
                cv.wait_for(lock, 20s, [&] { return released; });
            }
        }
        return static_cast<uint8_t>(line * 3 + column);
    }
};

TEST(HangTest, NullWhileATransferIsStalledReturnsPromptly) {
    auto stall = std::make_shared<Stall>();
    {
        Harness harness("video/x-raw,format=BGR,width=320,height=240,framerate=100/1", false);
        harness.Camera()->SetFrameSource(
            [stall](int line, int column) { return stall->Sample(line, column); });
        gst_harness_play(harness.h);
        ASSERT_TRUE(harness.PullOne());
        {
            std::unique_lock lock(stall->mutex);
            stall->armed = true;
            ASSERT_TRUE(stall->cv.wait_for(lock, 10s, [&] { return stall->stalled; }));
        }
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(gst_element_set_state(harness.src, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
        {
            std::lock_guard lock(stall->mutex);
            stall->released = true;
        }
        stall->cv.notify_all();
    }
    // The abandoned frame ends, the library is closed and free for the next source.
    Harness next("video/x-raw,format=BGR,width=160,height=120,framerate=30/1");
    gst_harness_play(next.h);
    ASSERT_TRUE(next.PullOne());
}

TEST(HangTest, FlushReleasesAWaitingCreateAtOnce) {
    // A camera that never delivers: create waits until unlock releases it.
    auto stall = std::make_shared<Stall>();
    Harness harness("video/x-raw,format=BGR,width=160,height=120,framerate=30/1", false);
    harness.Camera()->SetFrameSource(
        [stall](int line, int column) { return stall->Sample(line, column); });
    {
        std::lock_guard lock(stall->mutex);
        stall->armed = true;
    }
    gst_harness_play(harness.h);
    {
        std::unique_lock lock(stall->mutex);
        ASSERT_TRUE(stall->cv.wait_for(lock, 10s, [&] { return stall->stalled; }));
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(gst_element_set_state(harness.src, GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    EXPECT_NE(gst_element_set_state(harness.src, GST_STATE_READY), GST_STATE_CHANGE_FAILURE);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    {
        std::lock_guard lock(stall->mutex);
        stall->released = true;
    }
    stall->cv.notify_all();
}

}  // namespace

namespace {

TEST(StreamTest, IncompleteFrameIsPushedCorruptedWithAWarning) {
    Harness harness("video/x-raw,format=BGR,width=320,height=240,framerate=100/1");
    teko::sim::Faults faults;
    faults.lineNeverReady = 50;
    harness.Camera()->SetFaults(faults);
    GstBus* bus = gst_bus_new();
    gst_element_set_bus(harness.src, bus);
    gst_harness_play(harness.h);
    GstBuffer* buffer = gst_harness_pull(harness.h);
    ASSERT_NE(buffer, nullptr);
    EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_CORRUPTED));
    gst_buffer_unref(buffer);
    GstMessage* m = gst_bus_timed_pop_filtered(bus, 5 * GST_SECOND, GST_MESSAGE_WARNING);
    EXPECT_NE(m, nullptr);
    if (m) gst_message_unref(m);
    gst_element_set_state(harness.src, GST_STATE_NULL);
    gst_element_set_bus(harness.src, nullptr);
    gst_object_unref(bus);
}

}  // namespace
