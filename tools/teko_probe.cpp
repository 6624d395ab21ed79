// teko-probe: looks for the camera on parallel-port bases and says in words
// what it found: attachment, transfer mode, ECP register, CCD type.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "link/link.h"
#include "platform/platform.h"
#include "teko32/teko32_ext.h"
#include "teko32sim/virtual_camera.h"

namespace {

using namespace teko;

constexpr uint16_t kUsualBases[] = {0x378, 0x278, 0x3BC};

void Usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: teko-probe [--sim [camera options]] [ADDRESS ...]\n"
                 "Probes each parallel-port base address, hexadecimal with or without 0x\n"
                 "(default 378 278 3BC; with --sim the virtual camera's base) and prints\n"
                 "what answers there.\n\n"
                 "  --sim                 probe the virtual camera instead of a real port\n"
                 "  --direct              real ports: force direct port access (Linux: root)\n"
                 "  --parport DEV         real ports: force the kernel's parport device\n%s",
                 tools::SimOptionsHelp());
}

const char* TransferMode(uint8_t flags) {
    // The frame transfer checks SPP and PS/2 before EPP.
    if (flags & link::kSppMode) return "SPP (samples on the status lines)";
    if (flags & link::kPs2Mode) return "PS/2 (bidirectional data lines)";
    if (flags & link::kEppMode) return "EPP";
    return "none";
}

void Report(uint16_t base, uint8_t flags, int ccdType) {
    if (flags & link::kCameraPresent) {
        const char* ecp = (flags & link::kEcpPort) ? "ECP register present" : "no ECP register";
        std::printf(
            "port 0x%03X: camera present, %s, transfer mode %s, %s, CCD type %d\n", base,
            (flags & link::kPassThrough) ? "behind a printer pass-through" : "attached directly",
            TransferMode(flags), ecp, ccdType);
    } else {
        // Without an answer the probe's mode bits say nothing: an unreadable
        // port and a port with nothing on it look alike.
        std::printf("port 0x%03X: no camera (nothing answered; transfer mode and ECP register "
                    "not determined)\n",
                    base);
    }
}

}  // namespace

int main(int argc, char** argv) {
    bool useSim = false;
    tools::SimOptions simOptions;
    std::vector<uint16_t> bases;
    platform::PortBackend backend = platform::PortBackend::Auto;
    std::string parport;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string error;
        if (arg == "-h" || arg == "--help") {
            Usage(stdout);
            return 0;
        }
        if (arg == "--sim") {
            useSim = true;
            continue;
        }
        if (arg == "--direct") {
            backend = platform::PortBackend::Direct;
            continue;
        }
        if (arg == "--parport") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "teko-probe: --parport needs a device, e.g. /dev/parport0\n");
                return 2;
            }
            backend = platform::PortBackend::Ppdev;
            parport = argv[++i];
            continue;
        }
        if (tools::TakeSimOption(argc, argv, i, simOptions, &error)) {
            if (!error.empty()) {
                std::fprintf(stderr, "teko-probe: %s\n", error.c_str());
                return 2;
            }
            continue;
        }
        if (!arg.empty() && arg[0] == '-') {
            std::fprintf(stderr, "teko-probe: unknown option '%s'\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
        const auto base = tools::ParsePort(arg);
        if (!base) {
            std::fprintf(stderr, "teko-probe: malformed port address '%s' (for example 0x378)\n",
                         arg.c_str());
            return 2;
        }
        bases.push_back(*base);
    }

    std::unique_ptr<sim::VirtualCamera> camera;
    if (useSim) {
        camera = std::make_unique<sim::VirtualCamera>(simOptions.config);
        camera->Install();
        if (bases.empty()) bases.push_back(simOptions.config.base);
    } else {
        std::string why;
        if (!platform::SelectPortBackend(backend, parport.empty() ? nullptr : parport.c_str(),
                                         &why)) {
            std::fprintf(stderr, "teko-probe: cannot use that port access: %s\n", why.c_str());
            return 1;
        }
        if (bases.empty()) bases.assign(std::begin(kUsualBases), std::end(kUsualBases));
    }

    bool found = false;
    for (const uint16_t base : bases) {
        const uint8_t flags = link::ProbePort(base);
        const int ccdType = (flags & link::kCameraPresent) ? link::ReadSensorType() : 0;
        Report(base, flags, ccdType);
        link::ReleasePort();
        found = found || (flags & link::kCameraPresent);
    }
    TekoSetPortIo(nullptr);
    return found ? 0 : 1;
}
