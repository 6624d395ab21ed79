// teko-capture's command line: the options, their ranges and the help text,
// kept apart from the program so that a test can parse command lines.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli.h"
#include "platform/platform.h"

namespace teko::tools {

struct CaptureOptions {
    int width = 640;
    int height = 480;
    int depth = 24;
    bool yuv = false;
    std::optional<bool> zoom, allLines, sharpen;
    std::optional<int32_t> shutter, brightness, autoShutter, redGain, blueGain, gamma;
    int frames = 1;
    int settle = 30;  // most frames discarded while the automatic exposure settles
    bool continuous = false;
    std::string output = "frame.png";
    std::string raw;
    bool stats = false;
    bool allowIncomplete = false;
    double accessMicroseconds = 1.0;
    bool quiet = false;
    bool help = false;
    // Real port instead of the virtual camera.
    std::optional<uint16_t> port;
    platform::PortBackend backend = platform::PortBackend::Auto;
    std::string parport;
    SimOptions sim;
};

// The outcome of parsing: an error ends the program with exit status 2;
// warnings are shown and the program goes on.
struct CaptureParse {
    std::string error;
    std::vector<std::string> warnings;
};

// Parses the arguments after the program name into *options.
CaptureParse ParseCaptureArguments(std::span<char* const> args, CaptureOptions& options);

// The --help text.
std::string CaptureUsage();

}  // namespace teko::tools
