// A capture session of the tekosrc element: it owns the library (whose driver
// state is process-wide) from Open() to Close() and captures on a worker
// thread of its own, one frame ahead of the consumer at most.
//
// Every library call except the image-settings entries runs with the
// session's mutex held or on the worker while it owns a capture, so no two
// of them overlap. A consumer waiting for a frame can be released at any
// time (SetFlushing); a capture that does not end in time is abandoned by
// Close(): the worker finishes it, then closes the library and gives up the
// ownership on its own.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "teko32sim/virtual_camera.h"

namespace teko::gstsrc {

// The three pictures the library writes (bottom-up rows).
enum class PixelFormat { Bgr24, Rgb555, Uyvy };

// Bytes per row of a picture in the library's buffer: padded to 4 bytes.
constexpr int RowBytes(PixelFormat format, int width) {
    const int bytesPerPixel = format == PixelFormat::Bgr24 ? 3 : 2;
    return (bytesPerPixel * width + 3) & ~3;
}

// Image settings an application may change at any time. Setters store the
// value and mark it changed; the worker writes changed values into the
// library just before its next capture.
class ImageSettings {
  public:
    enum Field { kShutter, kAutoExposure, kBrightness, kRedGain, kBlueGain, kGamma, kCount };

    ImageSettings();
    void Set(Field field, int32_t value);
    int32_t Get(Field field) const { return values_[field].load(std::memory_order_relaxed); }
    // Calls the library setter of every changed value (of every value when
    // `all`), clearing its mark first so that a later change is not lost.
    void Apply(bool all);

  private:
    std::atomic<int32_t> values_[kCount];
    std::atomic<bool> changed_[kCount];
};

// What a session opens.
struct DeviceRequest {
    // The virtual camera, or nullptr for the real port(s) below.
    std::shared_ptr<sim::VirtualCamera> camera;
    // Port bases to try one after another (each alone), for a real camera.
    std::vector<uint16_t> ports;
};

struct OpenFailure {
    enum class Kind { Busy, NotFound, Permission };
    Kind kind = Kind::NotFound;
    std::string text;
};

struct FrameGeometry {
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::Bgr24;
    bool allLines = true;
    bool sharpen = true;
};

class Session : public std::enable_shared_from_this<Session> {
  public:
    using WarningFn = std::function<void(const std::string&)>;

    // Claims the library (waiting up to `claimWait` for a session that is
    // finishing an abandoned capture), installs the port, opens the camera
    // and checks that it answers. `portProblem` tells why a port cannot be
    // reached (empty when it can), for the failure report.
    static std::shared_ptr<Session> Open(const DeviceRequest& request,
                                         std::shared_ptr<ImageSettings> settings,
                                         const std::function<std::string(uint16_t)>& portProblem,
                                         std::chrono::milliseconds claimWait, OpenFailure* failure);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The base of the port where the camera answered (the virtual camera's too).
    uint16_t port() const { return port_; }

    // Library "NOTE" messages go here, except while flushing or closing.
    void SetWarningHandler(WarningFn fn);

    // Builds the pipeline for the picture. False with the reason when the
    // library refuses it or a capture still runs after `wait`.
    bool Configure(const FrameGeometry& geometry, std::chrono::nanoseconds frameInterval,
                   std::chrono::milliseconds wait, std::string* why);
    size_t FrameBytes() const { return frameBytes_; }

    // One frame for the consumer.
    struct Frame {
        const uint8_t* data = nullptr;  // bottom-up rows of RowBytes(format, width)
        std::chrono::steady_clock::time_point captured;  // when the transfer ended
        bool incomplete = false;  // the transfer ended early (see lastMessage)
        std::string detail;       // what the library said about this frame
    };
    enum class Result { Frame, Flushing, Failed, TimedOut };
    // Waits for the next frame. On Failed, *why holds the library's text.
    Result Acquire(std::chrono::milliseconds timeout, Frame* frame, std::string* why);
    // Gives back the frame of the last Acquire.
    void Release();
    // While flushing, Acquire returns at once and prefetched frames are dropped.
    void SetFlushing(bool flushing);

    // Stops capturing and closes the library. Returns within about `wait`:
    // a capture still running then is left to finish on the worker, which
    // closes the library afterwards.
    void Close(std::chrono::milliseconds wait);

    // For tests: frames captured, and whether a worker still runs.
    uint64_t FramesCaptured() const { return framesCaptured_.load(std::memory_order_relaxed); }

  private:
    Session() = default;
    static void TEKO32_CALL OnMessage(void* context, const char* text, const char* caption);
    bool OpenCamera(const DeviceRequest& request, const std::function<std::string(uint16_t)>&,
                    OpenFailure* failure);
    void Run();
    void CloseLibrary();

    std::shared_ptr<sim::VirtualCamera> camera_;
    std::shared_ptr<ImageSettings> settings_;
    uint16_t port_ = 0;

    std::mutex warnMutex_;  // guards warn_; held while it runs
    WarningFn warn_;

    // Messages from the library during the current library call (worker or
    // caller with mutex_ held); only the thread in the library writes them.
    std::mutex messageMutex_;
    std::string lastMessage_;
    bool probing_ = false;  // messages of the camera check are not forwarded

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::thread worker_;
    bool quit_ = false;
    bool detached_ = false;
    bool flushing_ = false;
    uint64_t flushes_ = 0;    // flushes begun
    bool streaming_ = false;  // a consumer wants frames: capture one ahead
    bool configured_ = false;
    bool capturing_ = false;
    bool failed_ = false;
    std::string failure_;
    std::vector<uint8_t> buffers_[2];
    size_t frameBytes_ = 0;
    int ready_ = -1;  // buffer holding a frame not yet taken
    int inUse_ = -1;  // buffer the consumer is reading
    Frame readyFrame_;
    std::chrono::nanoseconds interval_{0};
    std::chrono::steady_clock::time_point lastStart_{};
    bool libraryOpen_ = false;
    std::atomic<bool> quiet_{false};  // flushing or closing: no warnings
    std::atomic<uint64_t> framesCaptured_{0};
};

}  // namespace teko::gstsrc
