#include "device.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace teko::gstsrc {

namespace {

std::string Hex(uint16_t port) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%03X", port);
    return text;
}

// The base of /dev/parportN as the kernel reports it.
std::optional<uint16_t> ParportBase(int n) {
    std::ifstream in("/proc/sys/dev/parport/parport" + std::to_string(n) + "/base-addr");
    unsigned long base = 0;
    if (!(in >> base) || base == 0 || base > 0xFFFF) return std::nullopt;
    return static_cast<uint16_t>(base);
}

constexpr int kMaxParports = 8;

std::optional<int> ParportAt(uint16_t base) {
    for (int n = 0; n < kMaxParports; ++n) {
        if (ParportBase(n) == base) return n;
    }
    return std::nullopt;
}

}  // namespace

std::optional<DeviceChoice> ParseDevice(std::string_view text, std::string* error) {
    DeviceChoice choice;
    if (text.empty() || text == "auto") {
        choice.ports.assign(std::begin(kUsualPorts), std::end(kUsualPorts));
        return choice;
    }
    if (text == "virtual") {
        choice.kind = DeviceChoice::Kind::Virtual;
        return choice;
    }
    constexpr std::string_view kParport = "/dev/parport";
    if (text.starts_with(kParport)) {
        const std::string_view digits = text.substr(kParport.size());
        int n = -1;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (ec != std::errc() || end != digits.data() + digits.size() || n < 0 ||
            n >= kMaxParports) {
            *error = "'" + std::string(text) + "' is not a parport device (/dev/parport0 ...)";
            return std::nullopt;
        }
        const auto base = ParportBase(n);
        if (!base) {
            *error = "the kernel reports no port " + std::string(text) +
                     " (are the parport_pc and ppdev modules loaded?)";
            return std::nullopt;
        }
        choice.ports = {*base};
        choice.parport = std::string(text);
        return choice;
    }
    std::string_view digits = text;
    if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || value == 0 ||
        value > 0xFFFF) {
        *error = "unknown device '" + std::string(text) +
                 "' (auto, virtual, a port address such as 0x378, or /dev/parport0)";
        return std::nullopt;
    }
    choice.ports = {static_cast<uint16_t>(value)};
    return choice;
}

std::string PortAccessProblem(uint16_t base) {
    if (const auto n = ParportAt(base)) {
        const std::string device = "/dev/parport" + std::to_string(*n);
        const int fd = ::open(device.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            return "";
        }
        const int err = errno;
        return "cannot open " + device + " for port " + Hex(base) + ": " + std::strerror(err) +
               (err == EACCES ? " (add the user to the group that owns it, e.g. lp)" : "");
    }
#if defined(SYS_ioperm)
    // The library asks for the same window when it opens the port.
    if (::syscall(SYS_ioperm, static_cast<unsigned long>(base), 8UL, 1) == 0) return "";
    const int err = errno;
    return "no parport device sits at " + Hex(base) +
           " and the system refuses direct port access (" + std::strerror(err) + ")" +
           (err == EPERM ? ": run as root, or load parport_pc and ppdev" : "");
#else
    return "no parport device sits at " + Hex(base) + " and this system has no direct port access";
#endif
}

}  // namespace teko::gstsrc
