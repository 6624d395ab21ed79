#include "scene_option.h"

namespace teko::tools {

bool ApplyScene(sim::VirtualCamera& camera, const std::string& path, std::string* error) {
    if (path.empty()) {
        camera.UseBuiltInScene();
        return true;
    }
    std::string why;
    if (camera.LoadScenePng(path, &why)) return true;
    // The reason names the file already.
    *error = "cannot use scene " + (why.empty() ? path : why);
    return false;
}

}  // namespace teko::tools
