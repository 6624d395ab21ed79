// The picture the virtual camera shows, chosen on the command line.
#pragma once

#include <string>

#include "teko32sim/virtual_camera.h"

namespace teko::tools {

// Shows the PNG file `path`, or the built-in scene for an empty path. False
// with the reason in *error when the file cannot be read.
bool ApplyScene(sim::VirtualCamera& camera, const std::string& path, std::string* error);

}  // namespace teko::tools
