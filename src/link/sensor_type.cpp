// The sensor type: which sensor the camera carries, read from the low four
// bits of register 9, and the two things that follow from it (the extra lead
// sample of every line and the sensor window's geometry).
#include <cstdint>
#include <optional>

#include "link/link.h"

namespace teko::link {
namespace {

constexpr int32_t kSensorTypeMask = 0x0F;
// The short sensor; its lines also carry one more lead sample.
constexpr int32_t kTypeShortSensor = 2;

constexpr SensorGeometry kShortSensor{510, 246, 2, 4};
constexpr SensorGeometry kTallSensor{510, 248, 4, 5};

}  // namespace

std::optional<int32_t> ReadSensorTypeCode() {
    int32_t value = 0;
    if (ReadCameraRegister(static_cast<int32_t>(Register::CCDType), &value) == 0)
        return std::nullopt;
    return value & kSensorTypeMask;
}

int32_t ReadSensorType() {
    return ReadSensorTypeCode().value_or(0);
}

bool ReadsExtraLeadSample(int32_t type) {
    return type == kTypeShortSensor;
}

SensorGeometry GeometryOf(int32_t type) {
    return type == kTypeShortSensor ? kShortSensor : kTallSensor;
}

}  // namespace teko::link
