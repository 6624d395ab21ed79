// The camera's serial register protocol, clocked out by software on STROBE
// and AUTOFEED while the camera answers on ACK.
//
// A transfer: sync window with two pulses, number window with N pulses, an
// acknowledge wait, then 16 data windows (bit 0 first) and a closing window.
#include <cstdint>
#include <optional>

#include "link/link.h"
#include "link/wire.h"
#include "platform/platform.h"

namespace teko::link {
namespace {

using wire::Lines;
using wire::WriteControl;

// Hold times of the command, in control writes.
constexpr uint32_t kSyncOpenHold = 31;
constexpr uint32_t kSyncPulseHold = 4;
constexpr uint32_t kSyncLastLowHold = 13;
constexpr uint32_t kWindowCloseHold = 10;
constexpr uint32_t kNumberOpenHold = 13;
constexpr uint32_t kNumberPulseHold = 4;
constexpr uint32_t kNumberTailHold = 9;
// Hold time of every step of a data window.
constexpr uint32_t kDataHold = 4;

constexpr int kValueBits = 16;
constexpr uint32_t kValueMask = 0xFFFF;

// One window carrying a STROBE pulse: open, pulse, release, close.
void PulsedWindow(const LinkState& st) {
    WriteControl(st, Lines::Open, kDataHold);
    WriteControl(st, Lines::Pulse, kDataHold);
    WriteControl(st, Lines::Open, kDataHold);
    WriteControl(st, Lines::Idle, kDataHold);
}

// Steps 1 to 4 of a register read; nothing when the camera did not answer.
std::optional<uint16_t> ReadRegisterValue(int32_t reg) {
    const LinkState& st = State();
    SendCommand(reg);
    if (!wire::WaitForAck(st, kRegisterAckPolls)) return std::nullopt;

    uint32_t value = 0;
    for (int bit = 0; bit < kValueBits; ++bit) {
        WriteControl(st, Lines::Open, kDataHold);
        WriteControl(st, Lines::Pulse, kDataHold);
        WriteControl(st, Lines::Open, kDataHold);
        // The ACK line carries the bit as read (1 when the status bit reads 1).
        if ((platform::In8(st.statusPort) & kAck) != 0) value |= 1u << bit;
        WriteControl(st, Lines::Idle, kDataHold);
    }
    // Closing window without a pulse.
    WriteControl(st, Lines::Open, kDataHold);
    WriteControl(st, Lines::Open, kDataHold);
    WriteControl(st, Lines::Idle, kDataHold);
    return static_cast<uint16_t>(value);
}

}  // namespace

void SendCommand(int32_t number) {
    if (!HasPort()) return;
    const LinkState& st = State();
    // Sync window with two pulses.
    WriteControl(st, Lines::Open, kSyncOpenHold);
    WriteControl(st, Lines::Pulse, kSyncPulseHold);
    WriteControl(st, Lines::Open, kSyncPulseHold);
    WriteControl(st, Lines::Pulse, kSyncPulseHold);
    WriteControl(st, Lines::Open, kSyncLastLowHold);
    WriteControl(st, Lines::Idle, kWindowCloseHold);
    // Number window: one pulse per unit of the number.
    WriteControl(st, Lines::Open, kNumberOpenHold);
    for (int32_t pulse = 0; pulse < number; ++pulse) {
        WriteControl(st, Lines::Pulse, kNumberPulseHold);
        WriteControl(st, Lines::Open, kNumberPulseHold);
    }
    WriteControl(st, Lines::Open, kNumberTailHold);
    WriteControl(st, Lines::Idle, kWindowCloseHold);
}

int32_t WriteCameraRegister(int32_t reg, int32_t value) {
    if (!HasPort()) return 0;
    const LinkState& st = State();
    SendCommand(reg);
    if (!wire::WaitForAck(st, kRegisterAckPolls)) return 0;

    const uint32_t bits = static_cast<uint32_t>(value) & kValueMask;
    for (int bit = 0; bit < kValueBits; ++bit) {
        WriteControl(st, Lines::Open, kDataHold);
        if (((bits >> bit) & 1u) != 0) WriteControl(st, Lines::Pulse, kDataHold);
        WriteControl(st, Lines::Open, kDataHold);
        WriteControl(st, Lines::Idle, kDataHold);
    }
    PulsedWindow(st);  // closing window
    return 1;
}

int32_t ReadCameraRegister(int32_t reg, int32_t* result) {
    if (!HasPort()) return 0;
    const std::optional<uint16_t> value = ReadRegisterValue(reg);
    if (!value) return 0;
    // A null result is a read whose value is discarded.
    if (result != nullptr) *result = *value;
    return 1;
}

void SetExtraLeadSample(int32_t flag) {
    State().extraLeadSample.store(flag, std::memory_order_relaxed);
}

}  // namespace teko::link
