// Camera register protocol. TODO(link).
#include "link/link.h"

namespace teko::link {

void SendCommand(int32_t /*number*/) {}
int32_t WriteCameraRegister(int32_t /*reg*/, int32_t /*value*/) { return 0; }
int32_t ReadCameraRegister(int32_t /*reg*/, int32_t* /*result*/) { return 0; }
int32_t ReadSensorType() { return 0; }
void SetExtraLeadSample(int32_t flag) { State().extraLeadSample.store(flag); }

}  // namespace teko::link
