#include "capture_options.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "image_file.h"

namespace teko::tools {
namespace {

constexpr int kMaxWidth = 640, kMaxHeight = 480;          // with zoom
constexpr int kMaxPlainWidth = 320, kMaxPlainHeight = 240;  // without zoom
constexpr int kMaxFrames = 1000000;
constexpr int kMaxSettle = 1000;
constexpr double kMaxAccessMicroseconds = 1e6;

std::optional<bool> ParseSwitch(std::string_view text) {
    if (text == "on" || text == "1") return true;
    if (text == "off" || text == "0") return false;
    return std::nullopt;
}

// One side of WxH: 1 to 4 decimal digits, so that no value can overflow.
std::optional<int> ParseSide(std::string_view text) {
    if (text.empty() || text.size() > 4) return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

CaptureParse ParseCaptureArguments(std::span<char* const> args, CaptureOptions& o) {
    CaptureParse result;
    const int argc = static_cast<int>(args.size());
    bool simOptionGiven = false, depthGiven = false, accessTimeGiven = false;
    bool settleGiven = false;
    std::string firstSimOption;
    const auto fail = [&result](std::string why) {
        result.error = std::move(why);
        return result;
    };
    for (int i = 0; i < argc; ++i) {
        const std::string arg = args[i];
        const auto value = [&]() -> const char* { return i + 1 < argc ? args[++i] : nullptr; };
        // A whole number low..high for the option `arg`.
        const auto number = [&](int32_t low, int32_t high) -> std::optional<int32_t> {
            const char* text = value();
            if (!text) {
                result.error = arg + " needs a number from " + std::to_string(low) + " to " +
                               std::to_string(high);
                return std::nullopt;
            }
            const auto n = ParseInRange(text, low, high);
            if (!n) {
                result.error = arg + " takes " + std::to_string(low) + " to " +
                               std::to_string(high) + ", not '" + text + "'";
            }
            return n;
        };
        const auto onOff = [&](std::optional<bool>& into) -> bool {
            const char* text = value();
            const auto v = text ? ParseSwitch(text) : std::nullopt;
            if (!v) {
                result.error = arg + " takes on or off";
                return false;
            }
            into = *v;
            return true;
        };
        std::string simError;
        if (arg == "-h" || arg == "--help") {
            o.help = true;
            return result;
        } else if (TakeSimOption(argc, args.data(), i, o.sim, &simError)) {
            if (!simError.empty()) return fail(simError);
            if (!simOptionGiven) firstSimOption = arg;
            simOptionGiven = true;
        } else if (arg == "--size") {
            const char* text = value();
            const std::string_view size = text ? text : "";
            const auto cross = size.find_first_of("xX");
            const auto w = cross == std::string_view::npos ? std::nullopt
                                                             : ParseSide(size.substr(0, cross));
            const auto h = cross == std::string_view::npos ? std::nullopt
                                                             : ParseSide(size.substr(cross + 1));
            if (!w || !h || *w < 1 || *h < 1 || *w > kMaxWidth || *h > kMaxHeight) {
                return fail("--size takes WxH from 1x1 to 640x480 (320x240 with --zoom off), not '" +
                            std::string(size) + "'");
            }
            o.width = *w;
            o.height = *h;
        } else if (arg == "--depth") {
            const char* text = value();
            const auto d = text ? ParseInt(text) : std::nullopt;
            if (!d || (*d != 24 && *d != 16)) return fail("--depth takes 24 or 16");
            o.depth = *d;
            depthGiven = true;
        } else if (arg == "--yuv") {
            o.yuv = true;
        } else if (arg == "--zoom") {
            if (!onOff(o.zoom)) return result;
        } else if (arg == "--all-lines") {
            if (!onOff(o.allLines)) return result;
        } else if (arg == "--sharpen") {
            if (!onOff(o.sharpen)) return result;
        } else if (arg == "--auto-shutter") {
            std::optional<bool> on;
            if (!onOff(on)) return result;
            o.autoShutter = *on ? 1 : 0;
        } else if (arg == "--shutter") {
            if (!(o.shutter = number(0, 65535))) return result;
        } else if (arg == "--brightness") {
            if (!(o.brightness = number(0, 31))) return result;
        } else if (arg == "--red-gain") {
            if (!(o.redGain = number(0, 255))) return result;
        } else if (arg == "--blue-gain") {
            if (!(o.blueGain = number(0, 255))) return result;
        } else if (arg == "--gamma") {
            if (!(o.gamma = number(6, 59))) return result;
        } else if (arg == "--frames") {
            const auto n = number(1, kMaxFrames);
            if (!n) return result;
            o.frames = *n;
        } else if (arg == "--settle") {
            const auto n = number(0, kMaxSettle);
            if (!n) return result;
            o.settle = *n;
            settleGiven = true;
        } else if (arg == "--continuous") {
            o.continuous = true;
        } else if (arg == "-o" || arg == "--output") {
            const char* text = value();
            if (!text || *text == '\0') return fail(arg + " needs a file name");
            o.output = text;
        } else if (arg == "--raw") {
            const char* text = value();
            if (!text || *text == '\0') return fail("--raw needs a file name");
            o.raw = text;
        } else if (arg == "--stats") {
            o.stats = true;
        } else if (arg == "--allow-incomplete") {
            o.allowIncomplete = true;
        } else if (arg == "--access-time") {
            const char* text = value();
            char* end = nullptr;
            const double us = text ? std::strtod(text, &end) : -1;
            if (!text || *text == '\0' || *end != '\0' || !std::isfinite(us) || us < 0 ||
                us > kMaxAccessMicroseconds) {
                return fail("--access-time takes microseconds from 0 to 1000000, not '" +
                            std::string(text ? text : "") + "'");
            }
            o.accessMicroseconds = us;
            accessTimeGiven = true;
        } else if (arg == "-q" || arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--port") {
            const char* text = value();
            const auto port = text ? ParsePort(text) : std::nullopt;
            if (!port) {
                return fail("--port takes a hexadecimal port address from 1 to FFFF (for "
                            "example 378 or 0x378), not '" +
                            std::string(text ? text : "") + "'");
            }
            o.port = *port;
        } else if (arg == "--direct") {
            o.backend = platform::PortBackend::Direct;
        } else if (arg == "--parport") {
            const char* text = value();
            if (!text || *text == '\0') return fail("--parport needs a device, e.g. /dev/parport0");
            o.backend = platform::PortBackend::Ppdev;
            o.parport = text;
        } else {
            return fail("unknown option '" + arg + "' (see --help)");
        }
    }
    // Combinations.
    if (o.zoom == false && (o.width > kMaxPlainWidth || o.height > kMaxPlainHeight)) {
        return fail("--size " + std::to_string(o.width) + "x" +
                              std::to_string(o.height) +
                              " needs zoom: without it the largest picture is 320x240");
    }
    if (depthGiven && o.yuv) {
        return fail("--depth does not apply to --yuv output (always 16 bits a pixel)");
    }
    if (o.port && simOptionGiven) {
        return fail(firstSimOption + " configures the virtual camera and does not "
                                               "apply with --port");
    }
    if (!o.port && o.backend != platform::PortBackend::Auto) {
        return fail("--direct and --parport need --port ADDR");
    }
    if (!IsImageFileName(o.output)) {
        return fail("unknown picture type for " + o.output + " (use .png or .bmp)");
    }
    if (accessTimeGiven && !o.stats) {
        result.warnings.push_back("--access-time has no effect without --stats");
    }
    if (settleGiven && o.autoShutter == 0) {
        result.warnings.push_back(
            "--settle has no effect with --auto-shutter off (one frame is discarded when "
            "--shutter or --brightness is given)");
    }
    return result;
}

std::string CaptureUsage() {
    return std::string(
               "usage: teko-capture [options]\n"
               "Captures frames from the camera (by default the virtual camera) and writes the\n"
               "last one to a picture file (default frame.png, 640x480, 24-bit).\n\n"
               "picture:\n"
               "  --size WxH            picture size, 1x1 up to 640x480 (320x240 with --zoom\n"
               "                        off; default 640x480)\n"
               "  --depth 24|16         24-bit BGR or 16-bit RGB 5-5-5 (default 24)\n"
               "  --yuv                 packed YUV 4:2:2 (UYVY) output\n"
               "  --zoom on|off         640x480 mode (default on)\n"
               "  --all-lines on|off    read every sensor line, or one in three (default on)\n"
               "  --sharpen on|off      sharpening filter (default on)\n"
               "  --shutter N           shutter value 0..65535, larger is longer (default 50);\n"
               "                        with --auto-shutter on it is the starting point\n"
               "  --brightness N        brightness 0..31 (default 19)\n"
               "  --auto-shutter on|off  automatic exposure after every frame (default on)\n"
               "  --red-gain N          red gain 0..255 in 40ths: 40 passes the sensor's red\n"
               "                        unchanged (unity), 64 is 1.6 times (default 64)\n"
               "  --blue-gain N         blue gain 0..255, the same way (default 64); the\n"
               "                        virtual camera's sensor has weak red and blue and is\n"
               "                        calibrated for 64, so 40/40 shows it green; packed\n"
               "                        YUV scales its chroma offset by the gains too, so\n"
               "                        YUV at 64 is tinted\n"
               "  --gamma N             gamma in tenths, 6..59 (default 18)\n"
               "capture:\n"
               "  --frames N            frames to capture and keep the last of, 1..1000000\n"
               "                        (default 1); a progress line is shown for more than 1\n"
               "  --settle N            with automatic exposure, first discard frames until\n"
               "                        the exposure is in its good band, at most N, 0..1000\n"
               "                        (default 30, 0: none); with --shutter or --brightness\n"
               "                        and --auto-shutter off one frame is discarded; the\n"
               "                        first frame after opening never counts as settled\n"
               "  --continuous          capture on the library's capture thread\n"
               "  -o, --output FILE     picture file, .png or .bmp (default frame.png)\n"
               "  --raw FILE            also write the client buffer exactly as the library wrote it\n"
               "  --stats               per frame: port reads, writes, acknowledge polls and their\n"
               "                        time; at the end the library's capture status\n"
               "  --access-time US      time of one port access for --stats, 0..1000000\n"
               "                        microseconds (default 1)\n"
               "  --allow-incomplete    exit 0 even when a frame arrived incomplete\n"
               "  -q, --quiet           no progress line\n"
               "real camera:\n"
               "  --port ADDR           use the parallel port at ADDR, hexadecimal with or\n"
               "                        without 0x (e.g. 378), instead of the virtual camera\n"
               "  --direct              with --port: force direct port access (Linux: needs\n"
               "                        root or CAP_SYS_RAWIO)\n"
               "  --parport DEV         with --port: force the kernel's parport device\n"
               "                        (e.g. /dev/parport0)\n") +
           SimOptionsHelp();
}

}  // namespace teko::tools
