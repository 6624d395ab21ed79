#include "session.h"

#include <cstdio>

#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"

namespace teko::gstsrc {

namespace {

// The library's driver state is process-wide: one session at a time. Never
// destroyed, because an abandoned worker may still release it while the
// program exits.
struct Owner {
    std::mutex mutex;
    std::condition_variable cv;
    bool owned = false;
};
Owner& TheOwner() {
    static Owner* const owner = new Owner;
    return *owner;
}

bool ClaimLibrary(std::chrono::milliseconds wait) {
    Owner& o = TheOwner();
    std::unique_lock lock(o.mutex);
    if (!o.cv.wait_for(lock, wait, [&] { return !o.owned; })) return false;
    o.owned = true;
    return true;
}

void ReleaseLibrary() {
    Owner& o = TheOwner();
    {
        std::lock_guard lock(o.mutex);
        o.owned = false;
    }
    o.cv.notify_all();
}

std::string Hex(uint16_t port) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%03X", port);
    return text;
}

// The values the library holds when it is loaded.
constexpr int32_t kLoadValues[ImageSettings::kCount] = {50, 1, 19, 64, 64, 18};

}  // namespace

ImageSettings::ImageSettings() {
    for (int i = 0; i < kCount; ++i) {
        values_[i].store(kLoadValues[i], std::memory_order_relaxed);
        changed_[i].store(false, std::memory_order_relaxed);
    }
}

void ImageSettings::Set(Field field, int32_t value) {
    values_[field].store(value, std::memory_order_relaxed);
    changed_[field].store(true, std::memory_order_release);
}

void ImageSettings::Apply(bool all) {
    for (int i = 0; i < kCount; ++i) {
        if (!changed_[i].exchange(false, std::memory_order_acquire) && !all) continue;
        const int32_t v = values_[i].load(std::memory_order_relaxed);
        switch (static_cast<Field>(i)) {
            case kShutter:
                SetShutterSpeed(v);
                break;
            case kAutoExposure:
                EnableAutoShutterSpeed(v);
                break;
            case kBrightness:
                SetBrightNess(v);
                break;
            case kRedGain:
                SetRedScale(v);
                break;
            case kBlueGain:
                SetBlueScale(v);
                break;
            case kGamma:
                SetGamma(v);
                break;
            case kCount:
                break;
        }
    }
}

void TEKO32_CALL Session::OnMessage(void* context, const char* text, const char* /*caption*/) {
    auto* self = static_cast<Session*>(context);
    {
        std::lock_guard lock(self->messageMutex_);
        self->lastMessage_ = text ? text : "";
        if (self->probing_) return;
    }
    if (self->quiet_.load(std::memory_order_acquire)) return;
    std::lock_guard lock(self->warnMutex_);
    if (self->warn_) self->warn_(text ? text : "");
}

std::shared_ptr<Session> Session::Open(const DeviceRequest& request,
                                       std::shared_ptr<ImageSettings> settings,
                                       const std::function<std::string(uint16_t)>& portProblem,
                                       std::chrono::milliseconds claimWait, OpenFailure* failure) {
    if (!ClaimLibrary(claimWait)) {
        failure->kind = OpenFailure::Kind::Busy;
        failure->text =
            "the camera library is in use by another tekosrc in this process (one at a time)";
        return nullptr;
    }
    std::shared_ptr<Session> session(new Session);
    session->settings_ = std::move(settings);
    TekoSetMessageHandler(OnMessage, session.get());
    if (!session->OpenCamera(request, portProblem, failure)) {
        TekoSetPortIo(nullptr);
        TekoSetMessageHandler(nullptr, nullptr);
        ReleaseLibrary();
        return nullptr;
    }
    session->worker_ = std::thread([self = session] { self->Run(); });
    return session;
}

bool Session::OpenCamera(const DeviceRequest& request,
                         const std::function<std::string(uint16_t)>& portProblem,
                         OpenFailure* failure) {
    std::vector<uint16_t> ports = request.ports;
    if (request.camera) {
        camera_ = request.camera;
        camera_->Install();
        ports = {camera_->config().base};
    } else {
        TekoSetPortIo(nullptr);
    }
    std::string denied, silent;
    for (const uint16_t base : ports) {
        if (!camera_ && portProblem) {
            if (std::string why = portProblem(base); !why.empty()) {
                denied += (denied.empty() ? "" : "; ") + why;
                continue;
            }
        }
        const uint16_t list[] = {base, 0};
        InitTeko(list);
        // A camera that answers accepts the sensor window of a small picture;
        // without one the register writes fail.
        {
            std::lock_guard lock(messageMutex_);
            probing_ = true;
            lastMessage_.clear();
        }
        InitFilterStack(0, 1, 1);
        SetRealizedFilter(0);
        const bool answers = SetFrameSize(160, 120, 24) == 1;
        std::string said;
        {
            std::lock_guard lock(messageMutex_);
            probing_ = false;
            said = lastMessage_;
        }
        if (answers) {
            port_ = base;
            libraryOpen_ = true;
            settings_->Apply(true);  // after InitTeko, which resets the gamma table
            return true;
        }
        HaltTeko(0);
        silent += (silent.empty() ? "" : "; ") +
                  (camera_ ? std::string("the virtual camera does not answer")
                           : "no camera answers at " + Hex(base)) +
                  (said.empty() ? "" : " (" + said + ")");
    }
    if (silent.empty() && !denied.empty()) {
        failure->kind = OpenFailure::Kind::Permission;
        failure->text = denied;
    } else {
        failure->kind = OpenFailure::Kind::NotFound;
        failure->text = silent.empty() ? "no port to try" : silent;
        if (!denied.empty()) failure->text += "; " + denied;
    }
    return false;
}

Session::~Session() {
    // The worker keeps the session alive while it runs; it is gone here.
    if (worker_.joinable()) worker_.detach();
}

void Session::SetWarningHandler(WarningFn fn) {
    std::lock_guard lock(warnMutex_);
    warn_ = std::move(fn);
}

bool Session::Configure(const FrameGeometry& g, std::chrono::nanoseconds frameInterval,
                        std::chrono::milliseconds wait, std::string* why) {
    std::unique_lock lock(mutex_);
    if (!cv_.wait_for(lock, wait, [&] { return !capturing_; })) {
        *why = "the camera is still busy with an earlier frame";
        return false;
    }
    configured_ = false;
    ready_ = -1;
    {
        std::lock_guard messageLock(messageMutex_);
        lastMessage_.clear();
    }
    // Pictures larger than 320x240 need the zoom pipeline.
    const bool zoom = g.width > 320 || g.height > 240;
    InitFilterStack(zoom ? 1 : 0, g.allLines ? 1 : 0, g.sharpen ? 1 : 0);
    SetRealizedFilter(g.format == PixelFormat::Uyvy ? 1 : 0);
    const int depth = g.format == PixelFormat::Bgr24 ? 24 : 16;
    if (SetFrameSize(g.width, g.height, depth) != 1) {
        std::lock_guard messageLock(messageMutex_);
        *why = "the camera library refuses a " + std::to_string(g.width) + "x" +
               std::to_string(g.height) + " picture" +
               (lastMessage_.empty() ? "" : " (" + lastMessage_ + ")");
        return false;
    }
    frameBytes_ = static_cast<size_t>(RowBytes(g.format, g.width)) * g.height;
    // Rows or columns a pipeline leaves unwritten read as zero, every frame.
    for (auto& buffer : buffers_)
        buffer.assign(frameBytes_, 0);
    inUse_ = -1;
    interval_ = frameInterval;
    configured_ = true;
    cv_.notify_all();
    return true;
}

void Session::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        cv_.wait(lock,
                 [&] { return quit_ || (streaming_ && configured_ && ready_ < 0 && !failed_); });
        if (quit_) break;
        // Frames no faster than the negotiated rate.
        if (interval_.count() > 0) {
            const auto next = lastStart_ + interval_;
            if (cv_.wait_until(lock, next, [&] { return quit_ || !streaming_ || !configured_; })) {
                continue;
            }
        }
        const int index = inUse_ == 0 ? 1 : 0;
        uint8_t* target = buffers_[index].data();
        capturing_ = true;
        lastStart_ = std::chrono::steady_clock::now();
        lock.unlock();

        settings_->Apply(false);
        {
            std::lock_guard messageLock(messageMutex_);
            lastMessage_.clear();
        }
        TekoCaptureStatus before{};
        before.size = sizeof before;
        TekoGetCaptureStatus(&before);
        const bool ok = CaptureFrameWait(target) == 1;
        TekoCaptureStatus after{};
        after.size = sizeof after;
        TekoGetCaptureStatus(&after);
        const auto end = std::chrono::steady_clock::now();
        std::string said;
        {
            std::lock_guard messageLock(messageMutex_);
            said = lastMessage_;
        }
        // The library still returns 1 for a transfer that ended early.
        const bool incomplete = ok && after.incompleteFrames != before.incompleteFrames;
        if (incomplete) {
            said = "the camera sent " + std::to_string(after.linesRead) + " of " +
                   std::to_string(after.linesExpected) + " lines";
        }

        lock.lock();
        capturing_ = false;
        framesCaptured_.fetch_add(1, std::memory_order_relaxed);
        if (!ok) {
            // A capture abandoned by a flush or a close reports nothing.
            if (!quit_ && !flushing_) {
                failed_ = true;
                failure_ = said.empty() ? "the camera delivered no frame" : said;
            }
        } else if (streaming_ && !quit_) {
            ready_ = index;
            readyFrame_ = Frame{target, end, incomplete, said};
        }
        cv_.notify_all();
    }
    const bool closeHere = detached_;
    lock.unlock();
    if (closeHere) CloseLibrary();
}

Session::Result Session::Acquire(std::chrono::milliseconds timeout, Frame* frame,
                                 std::string* why) {
    std::unique_lock lock(mutex_);
    if (!flushing_ && !streaming_) {
        streaming_ = true;
        cv_.notify_all();
    }
    // A flush that starts and ends while this call waits still releases it.
    const uint64_t flushes = flushes_;
    const auto flushed = [&] { return flushing_ || quit_ || flushes_ != flushes; };
    cv_.wait_for(lock, timeout, [&] { return flushed() || ready_ >= 0 || failed_; });
    if (flushed()) return Result::Flushing;
    if (ready_ >= 0) {
        inUse_ = ready_;
        ready_ = -1;
        *frame = readyFrame_;
        cv_.notify_all();  // the worker starts the next frame
        return Result::Frame;
    }
    if (failed_) {
        *why = failure_;
        return Result::Failed;
    }
    *why = "no frame from the camera within " + std::to_string(timeout.count()) + " ms";
    return Result::TimedOut;
}

void Session::Release() {
    std::lock_guard lock(mutex_);
    inUse_ = -1;
}

void Session::SetFlushing(bool flushing) {
    std::lock_guard lock(mutex_);
    flushing_ = flushing;
    quiet_.store(flushing || quit_, std::memory_order_release);
    if (flushing) {
        ++flushes_;
        streaming_ = false;
        ready_ = -1;  // a prefetched frame would be stale after the flush
    }
    cv_.notify_all();
}

void Session::Close(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    quit_ = true;
    streaming_ = false;
    quiet_.store(true, std::memory_order_release);
    cv_.notify_all();
    lock.unlock();
    SetWarningHandler(nullptr);
    lock.lock();
    if (!cv_.wait_for(lock, wait, [&] { return !capturing_; })) {
        // The worker finishes its capture, then closes the library itself.
        detached_ = true;
        lock.unlock();
        worker_.detach();
        return;
    }
    lock.unlock();
    worker_.join();
    CloseLibrary();
}

void Session::CloseLibrary() {
    if (libraryOpen_) HaltTeko(0);
    libraryOpen_ = false;
    TekoSetPortIo(nullptr);
    TekoSetMessageHandler(nullptr, nullptr);
    ReleaseLibrary();
}

}  // namespace teko::gstsrc
