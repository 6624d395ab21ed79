#include "cli.h"

#include <charconv>
#include <cstring>
#include <limits>

namespace teko::tools {

std::optional<int32_t> ParseInt(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (negative) value = -value;
    if (value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

std::optional<uint16_t> ParsePort(std::string_view text) {
    // Port addresses are always hexadecimal, with or without 0x.
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 4) return std::nullopt;
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc{} || end != text.data() + text.size() || value == 0) return std::nullopt;
    return static_cast<uint16_t>(value);
}

std::optional<int32_t> ParseInRange(std::string_view text, int32_t low, int32_t high) {
    const auto value = ParseInt(text);
    if (!value || *value < low || *value > high) return std::nullopt;
    return value;
}

bool TakeSimOption(int argc, char* const* argv, int& i, SimOptions& options, std::string* error) {
    const std::string_view arg = argv[i];
    auto& cfg = options.config;
    const auto value = [&]() -> const char* {
        if (i + 1 >= argc) {
            *error = std::string(arg) + " needs a value";
            return nullptr;
        }
        return argv[++i];
    };
    if (arg == "--pass-through") {
        cfg.attachment = sim::Attachment::PassThrough;
    } else if (arg == "--direct-attach") {
        cfg.attachment = sim::Attachment::Direct;
    } else if (arg == "--no-ecr") {
        cfg.port.ecr = false;
    } else if (arg == "--no-epp") {
        cfg.port.epp = false;
    } else if (arg == "--no-ps2") {
        cfg.port.ps2 = false;
    } else if (arg == "--mode") {
        const char* mode = value();
        if (!mode) return true;
        if (std::strcmp(mode, "epp") == 0) {
            cfg.port.epp = true;
        } else if (std::strcmp(mode, "ps2") == 0) {
            cfg.port.epp = false;
            cfg.port.ps2 = true;
        } else if (std::strcmp(mode, "spp") == 0) {
            cfg.port.epp = false;
            cfg.port.ps2 = false;
        } else {
            *error = std::string("unknown transfer mode '") + mode + "' (epp, ps2 or spp)";
        }
    } else if (arg == "--identity") {
        const char* text = value();
        if (!text) return true;
        const auto id = ParseInt(text);
        if (!id || *id < 0 || *id > 0xFFFF) {
            *error = std::string("--identity takes 0 to 0xFFFF, not '") + text + "'";
        } else {
            cfg.identity = static_cast<uint16_t>(*id);
        }
    } else if (arg == "--ccd-type") {
        const char* text = value();
        if (!text) return true;
        const auto type = ParseInt(text);
        if (!type || *type < 0 || *type > 15) {
            *error = std::string("--ccd-type takes 0 to 15, not '") + text + "'";
        } else {
            cfg.ccdType = *type;
        }
    } else if (arg == "--sim-base") {
        const char* text = value();
        if (!text) return true;
        const auto base = ParsePort(text);
        if (!base) {
            *error = std::string("--sim-base takes a hexadecimal port address from 1 to FFFF, not '") +
                     text + "'";
        } else {
            cfg.base = *base;
        }
    } else if (arg == "--stop-at-line") {
        const char* text = value();
        if (!text) return true;
        const auto line = ParseInRange(text, 0, 1000);
        if (!line) {
            *error = std::string("--stop-at-line takes 0 to 1000, not '") + text + "'";
        } else {
            cfg.faults.lineNeverReady = *line;
        }
    } else if (arg == "--scene") {
        const char* text = value();
        if (text) options.scene = text;
    } else {
        return false;
    }
    return true;
}

const char* SimOptionsHelp() {
    return "virtual camera:\n"
           "  --pass-through        the camera sits behind a printer pass-through\n"
           "  --mode epp|ps2|spp    what the port can do (default: epp)\n"
           "  --no-ecr              the port has no ECP extended control register\n"
           "  --no-epp, --no-ps2    the port's EPP cycles / PS/2 input do not work\n"
           "  --identity N          what the identity register answers (0x3071, 0x2974)\n"
           "  --ccd-type N          the sensor type the camera reports (0..15; 2 has a\n"
           "                        shorter sensor and one more lead sample per line)\n"
           "  --sim-base ADDR       the port base the camera answers at, hexadecimal with\n"
           "                        or without 0x (default 378)\n"
           "  --scene FILE          show this PNG picture instead of the built-in scene\n"
           "  --stop-at-line N      the camera stops sending at frame line N, every frame\n"
           "                        (to see how a broken transfer is reported)\n";
}

}  // namespace teko::tools
