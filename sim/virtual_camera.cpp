// The virtual camera. TODO(sim).
#include "teko32sim/virtual_camera.h"
