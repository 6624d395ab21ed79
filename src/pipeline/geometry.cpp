// Frame geometry and zoom. TODO(pipeline): negotiation, sensor window, SetFrameSize.
#include "pipeline/pipeline.h"

namespace teko::pipeline {
namespace {
SensorGeometry gGeometry;
}

const SensorGeometry& Geometry() { return gGeometry; }
void ReadSensorGeometry() {}
void NegotiateFrameSizes(int32_t /*width*/, int32_t /*height*/) {}
int32_t SetSensorWindow(int32_t /*width*/, int32_t /*height*/) { return 0; }

void InitFilterStack(int32_t zoom, int32_t allLines, int32_t sharpen) {
    Settings().zoom = zoom;
    Settings().allLines = allLines;
    Settings().sharpen = sharpen;
}

int32_t SetFrameSize(int32_t /*width*/, int32_t /*height*/, int32_t /*depth*/) { return 0; }
int32_t EnableZoom(int32_t /*enable*/) { return 0; }

void ResetGeometryForTesting() { gGeometry = SensorGeometry{}; }

}  // namespace teko::pipeline
