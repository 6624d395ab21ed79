// The `device` property of tekosrc: what it names, and whether this process
// may reach a parallel port before the library tries it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace teko::gstsrc {

struct DeviceChoice {
    enum class Kind { Virtual, Ports };
    Kind kind = Kind::Ports;
    std::vector<uint16_t> ports;  // bases to try in order
    std::string parport;          // the parport device named, if one was
};

// The usual parallel-port bases `auto` tries.
inline constexpr uint16_t kUsualPorts[] = {0x378, 0x278, 0x3BC};

// "auto", "virtual", a port address ("0x378", "378" is hexadecimal too) or a
// parport device ("/dev/parport0"). nullopt with the reason in *error.
std::optional<DeviceChoice> ParseDevice(std::string_view text, std::string* error);

// Why this process cannot reach the port at `base`, or "" when it can as far
// as can be told before opening: through the kernel's parport device at that
// base (it must open read-write), else by direct port access.
std::string PortAccessProblem(uint16_t base);

}  // namespace teko::gstsrc
