// The virtual camera behind the example's port, so that it runs without a
// camera: its default configuration on port 0x378 with the built-in scene.
#include "teko32sim/virtual_camera.h"

extern "C" const TekoPortIo* ExampleVirtualCameraPort() {
    static teko::sim::VirtualCamera camera;
    static const TekoPortIo io = camera.PortIo();
    return &io;
}
