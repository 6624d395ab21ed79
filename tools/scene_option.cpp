#include "scene_option.h"

namespace teko::tools {

bool ApplyScene(sim::VirtualCamera& /*camera*/, const std::string& path, std::string* error) {
    if (path.empty()) return true;
    *error = "scene files are not supported yet: " + path;
    return false;
}

}  // namespace teko::tools
