// teko-capture: opens the camera (the virtual camera unless a real port is
// named), captures frames and writes the last one to a picture file.
#include <atomic>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "api/driver_state.h"
#include "capture_options.h"
#include "cli.h"
#include "image_file.h"
#include "link/link.h"
#include "platform/platform.h"
#include "scene_option.h"
#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"
#include "teko32sim/virtual_camera.h"

namespace {

using namespace teko;
using Options = tools::CaptureOptions;

// The automatic exposure's good band: it leaves the shutter value as it is.
constexpr uint16_t kGoodExposureBand = 2;

// Counts every port access on its way to the real port access below it.
struct CountingPort {
    TekoPortIo inner{};
    uint16_t statusPort = 0;
    uint64_t reads = 0;
    uint64_t writes = 0;
    uint64_t statusPolls = 0;

    static CountingPort& Of(void* context) { return *static_cast<CountingPort*>(context); }
    static uint8_t TEKO32_CALL Read8(void* c, uint16_t port) {
        auto& self = Of(c);
        ++self.reads;
        if (port == self.statusPort) ++self.statusPolls;
        return self.inner.read8(self.inner.context, port);
    }
    static void TEKO32_CALL Write8(void* c, uint16_t port, uint8_t value) {
        auto& self = Of(c);
        ++self.writes;
        self.inner.write8(self.inner.context, port, value);
    }
    static uint16_t TEKO32_CALL Read16(void* c, uint16_t port) {
        auto& self = Of(c);
        ++self.reads;
        return self.inner.read16(self.inner.context, port);
    }
    static uint32_t TEKO32_CALL Read32(void* c, uint16_t port) {
        auto& self = Of(c);
        ++self.reads;
        return self.inner.read32(self.inner.context, port);
    }
    static void TEKO32_CALL Read32Repeat(void* c, uint16_t port, uint32_t* dst, uint32_t count) {
        auto& self = Of(c);
        self.reads += count;
        self.inner.read32Repeat(self.inner.context, port, dst, count);
    }
    static void TEKO32_CALL Mask(void* c, int masked) {
        auto& self = Of(c);
        self.inner.maskInterrupts(self.inner.context, masked);
    }
    TekoPortIo Table() { return {this, Read8, Write8, Read16, Read32, Read32Repeat, Mask}; }
    void Reset() { reads = writes = statusPolls = 0; }
};

void TEKO32_CALL PrintMessage(void* context, const char* text, const char* caption) {
    ++*static_cast<int*>(context);
    std::fprintf(stderr, "\nteko-capture: the library says (%s): %s\n", caption, text);
}

// Captures one frame on the capture thread: clears the flag word and waits
// until the thread has set it again.
bool CaptureOnThread(uint16_t& flagWord) {
    std::atomic_ref<uint16_t> flag(flagWord);
    flag.store(0, std::memory_order_release);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (flag.load(std::memory_order_acquire) == 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

TekoCaptureStatus ReadCaptureStatus() {
    TekoCaptureStatus status{};
    status.size = sizeof status;
    TekoGetCaptureStatus(&status);
    return status;
}

const char* FormatName(tools::PixelFormat f) {
    switch (f) {
        case tools::PixelFormat::Bgr24:
            return "24-bit BGR";
        case tools::PixelFormat::Rgb555:
            return "16-bit RGB 5-5-5";
        case tools::PixelFormat::Uyvy:
            return "packed YUV 4:2:2";
    }
    return "";
}

int Run(const Options& o) {
    int messages = 0;
    TekoSetMessageHandler(PrintMessage, &messages);

    // Port access: the virtual camera, or the platform's access to a real port.
    std::unique_ptr<sim::VirtualCamera> camera;
    TekoPortIo base{};
    if (o.port) {
        std::string why;
        if (!platform::SelectPortBackend(o.backend, o.parport.empty() ? nullptr : o.parport.c_str(),
                                         &why)) {
            std::fprintf(stderr, "teko-capture: cannot use that port access: %s\n", why.c_str());
            return 1;
        }
        base = platform::DefaultPortIo();
    } else {
        camera = std::make_unique<sim::VirtualCamera>(o.sim.config);
        std::string why;
        if (!tools::ApplyScene(*camera, o.sim.scene, &why)) {
            std::fprintf(stderr, "teko-capture: %s\n", why.c_str());
            return 1;
        }
        base = camera->PortIo();
    }
    const uint16_t portBase = o.port ? *o.port : o.sim.config.base;
    CountingPort counting{base, static_cast<uint16_t>(portBase + link::kStatusOffset)};
    const TekoPortIo table = counting.Table();
    TekoSetPortIo(&table);

    // Settings survive InitTeko; gamma is rebuilt by it, so it comes after.
    if (o.shutter) SetShutterSpeed(*o.shutter);
    if (o.brightness) SetBrightNess(*o.brightness);
    if (o.autoShutter) EnableAutoShutterSpeed(*o.autoShutter);
    if (o.redGain) SetRedScale(*o.redGain);
    if (o.blueGain) SetBlueScale(*o.blueGain);

    const uint16_t ports[] = {portBase, 0};
    InitTeko(ports);
    if ((link::State().linkFlags & link::kCameraPresent) == 0) {
        std::fprintf(stderr, "teko-capture: no camera found on port 0x%03X\n", portBase);
        HaltTeko(0);
        TekoSetPortIo(nullptr);
        return 1;
    }
    if (o.gamma) SetGamma(*o.gamma);
    if (o.zoom || o.allLines || o.sharpen) {
        InitFilterStack(o.zoom.value_or(true), o.allLines.value_or(true), o.sharpen.value_or(true));
    }
    SetRealizedFilter(o.yuv ? 1 : 0);
    if (SetFrameSize(o.width, o.height, o.depth) == 0) {
        const bool zoom = o.zoom.value_or(true);
        std::fprintf(stderr, "teko-capture: cannot capture %dx%d frames (%s)\n", o.width, o.height,
                     messages ? "see the library's message above"
                              : (zoom ? "the largest picture is 640x480"
                                      : "the largest picture without zoom is 320x240"));
        HaltTeko(0);
        TekoSetPortIo(nullptr);
        return 1;
    }

    const tools::PixelFormat format = o.yuv           ? tools::PixelFormat::Uyvy
                                      : o.depth == 24 ? tools::PixelFormat::Bgr24
                                                      : tools::PixelFormat::Rgb555;
    std::vector<uint8_t> buffer(static_cast<std::size_t>(tools::RowSize(format, o.width)) *
                                o.height);
    uint16_t flagWord = 1;
    if (o.continuous && SetupCaptureIsr(0, buffer.data(), &flagWord, 0) == 0) {
        std::fprintf(stderr, "teko-capture: the capture thread could not be started\n");
        HaltTeko(0);
        TekoSetPortIo(nullptr);
        return 1;
    }

    // One capture into the buffer; false when it failed. An incomplete frame
    // is reported here and counted in *incomplete.
    TekoCaptureStatus before = ReadCaptureStatus();
    int incomplete = 0;
    const auto capture = [&](const char* what, int frame) {
        const int messagesBefore = messages;
        const bool ok = o.continuous ? CaptureOnThread(flagWord) && messages == messagesBefore
                                     : CaptureFrameWait(buffer.data()) == 1;
        if (!ok) {
            std::fprintf(stderr, "\nteko-capture: %s %d could not be captured\n", what, frame);
            return false;
        }
        const TekoCaptureStatus now = ReadCaptureStatus();
        if (now.incompleteFrames != before.incompleteFrames) {
            std::fprintf(stderr, "\n%s %d: camera stopped sending at line %u of %u\n", what, frame,
                         now.linesRead, now.linesExpected);
            ++incomplete;
        }
        before = now;
        return true;
    };

    int status = 0;
    // Settling: the library writes the exposure registers after a frame is
    // read, so a frame shows the settings of the frames before it.
    const bool autoExposure = o.autoShutter.value_or(1) != 0;
    int settleFrames = 0;
    if (autoExposure && o.settle > 0) {
        bool settled = false;
        for (int frame = 1; frame <= o.settle && status == 0; ++frame) {
            if (!capture("settling frame", frame)) {
                status = 1;
                break;
            }
            ++settleFrames;
            // The first frame after opening is taken with the camera's earlier
            // registers, so its band says nothing about the settings.
            settled = frame >= 2 && api::Driver().exposureBand == kGoodExposureBand;
            if (!o.quiet) {
                std::fprintf(stderr, "\rsettling exposure: frame %d (at most %d), shutter %d, band %u   ",
                             frame, o.settle, GetShutterSpeed(),
                             static_cast<unsigned>(api::Driver().exposureBand));
            }
            if (settled) break;
        }
        if (status == 0 && !o.quiet) {
            std::fprintf(stderr, settled ? "(good band: settled)\n" : "\n");
        }
        if (status == 0 && !settled) {
            std::fprintf(stderr,
                         "teko-capture: the exposure did not reach its good band in %d frames "
                         "(band %u); the picture may be too dark or too bright\n",
                         o.settle, static_cast<unsigned>(api::Driver().exposureBand));
        }
    } else if (!autoExposure && (o.shutter || o.brightness)) {
        if (!o.quiet) {
            std::fprintf(stderr, "discarding one frame so that the saved one is taken with the "
                                 "shutter and brightness given\n");
        }
        if (capture("settling frame", 1)) {
            settleFrames = 1;
        } else {
            status = 1;
        }
    }
    incomplete = 0;  // only the frames that count decide the exit status

    const auto start = std::chrono::steady_clock::now();
    for (int frame = 1; frame <= o.frames && status == 0; ++frame) {
        counting.Reset();
        if (!capture("frame", frame)) {
            status = 1;
            break;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (o.stats) {
            const uint64_t accesses = counting.reads + counting.writes;
            std::fprintf(stderr,
                         "frame %d: %llu port reads, %llu writes, %llu acknowledge polls; "
                         "%.1f ms at %.2f us per access\n",
                         frame, static_cast<unsigned long long>(counting.reads),
                         static_cast<unsigned long long>(counting.writes),
                         static_cast<unsigned long long>(counting.statusPolls),
                         static_cast<double>(accesses) * o.accessMicroseconds / 1000.0,
                         o.accessMicroseconds);
        }
        if (o.frames > 1 && !o.quiet) {
            // The capture that set the flag word has finished: its state is settled.
            std::fprintf(stderr, "\rframe %d/%d  %.1f fps  shutter %d  exposure band %u   ", frame,
                         o.frames, seconds > 0 ? frame / seconds : 0.0, GetShutterSpeed(),
                         static_cast<unsigned>(api::Driver().exposureBand));
            if (frame == o.frames || o.stats) std::fputc('\n', stderr);
        }
    }
    if (o.stats) {
        const TekoCaptureStatus s = ReadCaptureStatus();
        std::fprintf(stderr,
                     "capture status: %u frames (%d discarded while settling), %u incomplete, "
                     "%u failed; last frame %u of %u lines in %u ms; last message: %s\n",
                     s.frames, settleFrames, s.incompleteFrames, s.failures, s.linesRead,
                     s.linesExpected, s.lastFrameMs, s.lastMessage[0] ? s.lastMessage : "none");
    }
    if (o.continuous) SetupCaptureIsr(0, nullptr, &flagWord, 0);
    HaltTeko(0);
    TekoSetPortIo(nullptr);
    TekoSetMessageHandler(nullptr, nullptr);
    if (status != 0) return status;
    if (incomplete > 0 && !o.allowIncomplete) {
        std::fprintf(stderr,
                     "teko-capture: %d frame%s arrived incomplete; the picture is not written "
                     "(--allow-incomplete writes it anyway)\n",
                     incomplete, incomplete == 1 ? "" : "s");
        return 1;
    }

    std::string error;
    if (!o.raw.empty() && !tools::WriteRawFile(o.raw, buffer, &error)) {
        std::fprintf(stderr, "teko-capture: %s\n", error.c_str());
        return 1;
    }
    if (!tools::WriteImageFile(o.output, tools::ToRgb(format, o.width, o.height, buffer), &error)) {
        std::fprintf(stderr, "teko-capture: %s\n", error.c_str());
        return 1;
    }
    if (!o.quiet) {
        std::printf("wrote %s: %dx%d, %s from %s\n", o.output.c_str(), o.width, o.height,
                    FormatName(format), o.port ? "the camera" : "the virtual camera");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit makes the write fail with EFBIG, which is reported,
    // instead of a signal that ends the program mid-write.
    std::signal(SIGXFSZ, SIG_IGN);
    Options options;
    const auto parsed = tools::ParseCaptureArguments(
        std::span<char* const>(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)),
        options);
    if (options.help) {
        std::fputs(tools::CaptureUsage().c_str(), stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "teko-capture: %s\n", parsed.error.c_str());
        return 2;
    }
    for (const auto& warning : parsed.warnings)
        std::fprintf(stderr, "teko-capture: warning: %s\n", warning.c_str());
    return Run(options);
}
