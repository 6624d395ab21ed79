// teko-capture: opens the camera (the virtual camera unless a real port is
// named), captures frames and writes the last one to a picture file.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "api/driver_state.h"
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

struct Options {
    int width = 640;
    int height = 480;
    int depth = 24;
    bool yuv = false;
    std::optional<bool> zoom, allLines, sharpen;
    std::optional<int32_t> shutter, brightness, autoShutter, redGain, blueGain, gamma;
    int frames = 1;
    bool continuous = false;
    std::string output = "frame.png";
    std::string raw;
    bool stats = false;
    double accessMicroseconds = 1.0;
    bool quiet = false;
    // Real port instead of the virtual camera.
    std::optional<uint16_t> port;
    platform::PortBackend backend = platform::PortBackend::Auto;
    std::string parport;
    tools::SimOptions sim;
};

void Usage(std::FILE* out) {
    std::fprintf(
        out,
        "usage: teko-capture [options]\n"
        "Captures frames from the camera (by default the virtual camera) and writes the\n"
        "last one to a picture file (default frame.png, 640x480, 24-bit).\n\n"
        "picture:\n"
        "  --size WxH            picture size (up to 320x240, 640x480 with zoom; default 640x480)\n"
        "  --depth 24|16         24-bit BGR or 16-bit RGB 5-5-5 (default 24)\n"
        "  --yuv                 packed YUV 4:2:2 (UYVY) output\n"
        "  --zoom on|off         640x480 mode (default on)\n"
        "  --all-lines on|off    read every sensor line, or one in three (default on)\n"
        "  --sharpen on|off      sharpening filter (default on)\n"
        "  --shutter N           shutter value (larger is longer; default 50)\n"
        "  --brightness N        brightness 0..31 (default 19)\n"
        "  --auto-shutter on|off automatic exposure after every frame (default on)\n"
        "  --red-gain N, --blue-gain N   colour gains, 40 is unity (default 64)\n"
        "  --gamma N             gamma in tenths, 6..59 (default 18)\n"
        "capture:\n"
        "  --frames N            number of frames (default 1); a progress line is shown\n"
        "  --continuous          capture on the library's capture thread\n"
        "  -o, --output FILE     picture file, .png or .bmp (default frame.png)\n"
        "  --raw FILE            also write the client buffer exactly as the library wrote it\n"
        "  --stats               per frame: port reads, writes, acknowledge polls and their\n"
        "                        time at --access-time microseconds per port access (default 1)\n"
        "  --access-time US      time of one port access for --stats\n"
        "  -q, --quiet           no progress line\n"
        "real camera:\n"
        "  --port ADDR           use the parallel port at ADDR (e.g. 0x378) instead of the\n"
        "                        virtual camera, with the platform's port access\n"
        "  --direct              force direct port access (Linux: needs root or CAP_SYS_RAWIO)\n"
        "  --parport DEV         force the kernel's parport device (e.g. /dev/parport0)\n"
        "%s"
        "  --scene FILE          show this PNG picture instead of the built-in scene\n",
        tools::SimOptionsHelp());
}

bool ParseSwitch(const char* text, bool* value) {
    if (std::strcmp(text, "on") == 0 || std::strcmp(text, "1") == 0) {
        *value = true;
        return true;
    }
    if (std::strcmp(text, "off") == 0 || std::strcmp(text, "0") == 0) {
        *value = false;
        return true;
    }
    return false;
}

// Parses the command line; returns an exit code when the program should stop.
std::optional<int> ParseArguments(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string error;
        const auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const auto fail = [&](const std::string& why) {
            std::fprintf(stderr, "teko-capture: %s\n", why.c_str());
            return std::optional<int>(2);
        };
        const auto number = [&](std::optional<int32_t>& into) -> bool {
            const char* text = value();
            const auto n = text ? tools::ParseInt(text) : std::nullopt;
            if (n) into = *n;
            return n.has_value();
        };
        const auto onOff = [&](std::optional<bool>& into) -> bool {
            const char* text = value();
            bool v = false;
            if (!text || !ParseSwitch(text, &v)) return false;
            into = v;
            return true;
        };
        if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            return 0;
        } else if (tools::TakeSimOption(argc, argv, i, o.sim, &error)) {
            if (!error.empty()) return fail(error);
        } else if (arg == "--size") {
            const char* text = value();
            int w = 0, h = 0;
            char extra = 0;
            if (!text || std::sscanf(text, "%dx%d%c", &w, &h, &extra) != 2 || w < 0 || h < 0) {
                return fail(std::string("bad size '") + (text ? text : "") +
                            "' (use WxH, e.g. 320x240)");
            }
            o.width = w;
            o.height = h;
        } else if (arg == "--depth") {
            std::optional<int32_t> d;
            if (!number(d) || (*d != 24 && *d != 16)) return fail("depth must be 24 or 16");
            o.depth = *d;
        } else if (arg == "--yuv") {
            o.yuv = true;
        } else if (arg == "--zoom") {
            if (!onOff(o.zoom)) return fail("--zoom takes on or off");
        } else if (arg == "--all-lines") {
            if (!onOff(o.allLines)) return fail("--all-lines takes on or off");
        } else if (arg == "--sharpen") {
            if (!onOff(o.sharpen)) return fail("--sharpen takes on or off");
        } else if (arg == "--auto-shutter") {
            std::optional<bool> on;
            if (!onOff(on)) return fail("--auto-shutter takes on or off");
            o.autoShutter = *on ? 1 : 0;
        } else if (arg == "--shutter") {
            if (!number(o.shutter)) return fail("--shutter takes a number");
        } else if (arg == "--brightness") {
            if (!number(o.brightness)) return fail("--brightness takes a number");
        } else if (arg == "--red-gain") {
            if (!number(o.redGain)) return fail("--red-gain takes a number");
        } else if (arg == "--blue-gain") {
            if (!number(o.blueGain)) return fail("--blue-gain takes a number");
        } else if (arg == "--gamma") {
            if (!number(o.gamma) || *o.gamma < 6 || *o.gamma > 59) {
                return fail("--gamma takes tenths from 6 to 59 (18 is gamma 1.8)");
            }
        } else if (arg == "--frames") {
            std::optional<int32_t> n;
            if (!number(n) || *n < 1) return fail("--frames takes a positive number");
            o.frames = *n;
        } else if (arg == "--continuous") {
            o.continuous = true;
        } else if (arg == "-o" || arg == "--output") {
            const char* text = value();
            if (!text) return fail(arg + " needs a file name");
            o.output = text;
        } else if (arg == "--raw") {
            const char* text = value();
            if (!text) return fail("--raw needs a file name");
            o.raw = text;
        } else if (arg == "--stats") {
            o.stats = true;
        } else if (arg == "--access-time") {
            const char* text = value();
            char* end = nullptr;
            const double us = text ? std::strtod(text, &end) : -1;
            if (!text || *end != '\0' || us < 0) return fail("--access-time takes microseconds");
            o.accessMicroseconds = us;
        } else if (arg == "-q" || arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--port") {
            const char* text = value();
            const auto port = text ? tools::ParsePort(text) : std::nullopt;
            if (!port) {
                return fail(std::string("malformed port address '") + (text ? text : "") +
                            "' (for example 0x378)");
            }
            o.port = *port;
        } else if (arg == "--direct") {
            o.backend = platform::PortBackend::Direct;
        } else if (arg == "--parport") {
            const char* text = value();
            if (!text) return fail("--parport needs a device, e.g. /dev/parport0");
            o.backend = platform::PortBackend::Ppdev;
            o.parport = text;
        } else {
            Usage(stderr);
            return fail("unknown option '" + arg + "'");
        }
    }
    if (!tools::IsImageFileName(o.output)) {
        std::fprintf(stderr, "teko-capture: unknown picture type for %s (use .png or .bmp)\n",
                     o.output.c_str());
        return 2;
    }
    if (!o.port && (o.backend != platform::PortBackend::Auto)) {
        std::fprintf(stderr, "teko-capture: --direct and --parport need --port ADDR\n");
        return 2;
    }
    return std::nullopt;
}

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

    int status = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int frame = 1; frame <= o.frames; ++frame) {
        counting.Reset();
        const int messagesBefore = messages;
        bool ok = false;
        if (o.continuous) {
            ok = CaptureOnThread(flagWord) && messages == messagesBefore;
        } else {
            ok = CaptureFrameWait(buffer.data()) == 1;
        }
        if (!ok) {
            std::fprintf(stderr, "teko-capture: frame %d could not be captured\n", frame);
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
    if (o.continuous) SetupCaptureIsr(0, nullptr, &flagWord, 0);
    HaltTeko(0);
    TekoSetPortIo(nullptr);
    TekoSetMessageHandler(nullptr, nullptr);
    if (status != 0) return status;

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
    Options options;
    if (const auto exit = ParseArguments(argc, argv, options)) return *exit;
    if (options.width > 640 || options.height > 480) {
        std::fprintf(stderr, "teko-capture: bad size %dx%d (at most 640x480)\n", options.width,
                     options.height);
        return 2;
    }
    return Run(options);
}
