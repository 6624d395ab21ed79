// Port access where the platform offers none: the empty port.
#include <string>

#include "platform/os.h"
#include "platform/platform.h"

namespace teko::platform {

namespace os {
TekoPortIo DefaultPortIo() {
    return EmptyPortIo();
}
void ResetPortBackends() {}
}  // namespace os

bool SelectPortBackend(PortBackend backend, const char* /*device*/, std::string* whyNot) {
    if (backend == PortBackend::Auto || backend == PortBackend::Empty) {
        SetPortIo(nullptr);
        return true;
    }
    if (whyNot) *whyNot = "this build has no port access of its own";
    return false;
}

}  // namespace teko::platform
