// Small wire helpers shared by the link's source files: control values
// derived from controlShadow, repeated control writes (the protocol's hold
// times) and the one acknowledge wait with a poll limit.
#pragma once

#include <cstdint>

#include "link/link.h"
#include "platform/platform.h"

namespace teko::link::wire {

// The two clock lines every transfer drives; everything else in a control
// write comes from controlShadow.
inline constexpr uint8_t kClockLines = kStrobe | kAutofeed;

// STROBE / AUTOFEED levels as written to the control register.
enum class Lines : uint8_t {
    Open = 0,                          // STROBE 0, AUTOFEED 0: a window is open
    Pulse = kStrobe,                   // STROBE 1, AUTOFEED 0: pulse inside a window
    Idle = kAutofeed,                  // STROBE 0, AUTOFEED 1: the idle state
    StrobeHigh = kStrobe | kAutofeed,  // STROBE 1, AUTOFEED 1
};

// controlShadow with only the clock lines replaced.
constexpr uint8_t ControlValue(uint8_t shadow, Lines lines) {
    return static_cast<uint8_t>((shadow & ~kClockLines) | static_cast<uint8_t>(lines));
}

// Writes `value` to the control register `times` times in a row.
inline void WriteControlRaw(const LinkState& st, uint8_t value, uint32_t times = 1) {
    for (uint32_t i = 0; i < times; ++i)
        platform::Out8(st.controlPort, value);
}

// Writes controlShadow with the given clock lines `times` times in a row.
inline void WriteControl(const LinkState& st, Lines lines, uint32_t times = 1) {
    WriteControlRaw(st, ControlValue(st.controlShadow, lines), times);
}

inline bool AckLow(uint8_t status) {
    return (status & kAck) == 0;
}

// Reads the status register up to `limit` times; true at the first read in
// which the camera holds ACK low, false when the limit is reached first.
inline bool WaitForAck(const LinkState& st, uint32_t limit) {
    for (uint32_t poll = 0; poll < limit; ++poll) {
        if (AckLow(platform::In8(st.statusPort))) return true;
    }
    return false;
}

}  // namespace teko::link::wire
