// Command-line helpers shared by the tools: numbers, port addresses and the
// virtual camera's options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "teko32sim/virtual_camera.h"

namespace teko::tools {

// A decimal or 0x-prefixed integer; nullopt when malformed or out of int32 range.
std::optional<int32_t> ParseInt(std::string_view text);
// A port base address: hexadecimal with or without 0x, 1 to FFFF.
std::optional<uint16_t> ParsePort(std::string_view text);
// ParseInt limited to low..high.
std::optional<int32_t> ParseInRange(std::string_view text, int32_t low, int32_t high);

// Options that configure the virtual camera. TakeSimOption consumes argv[i]
// (and its value, advancing i) when it is one of them and returns true;
// *error is set when the option is known but its value is bad.
struct SimOptions {
    sim::CameraConfig config;
    std::string scene;  // PNG file, empty for the built-in scene
};
bool TakeSimOption(int argc, char* const* argv, int& i, SimOptions& options, std::string* error);
// Help text for the options above.
const char* SimOptionsHelp();

}  // namespace teko::tools
