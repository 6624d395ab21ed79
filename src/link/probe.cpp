// Port probe and transfer modes: finds the camera on one port (directly
// attached or behind a printer pass-through), works out how the port can move
// frame data, and gives the port back in the state in which it was found.
#include <cstdint>

#include "link/link.h"
#include "link/wire.h"
#include "platform/platform.h"

namespace teko::link {
namespace {

using wire::Lines;
using wire::WriteControl;
using wire::WriteControlRaw;

LinkState gState;

// The ECR bits below the mode field (kept when the mode changes).
constexpr uint8_t kEcrLowBits = 0x1F;

// ReleasePort's hand-over value for the control register: INIT and
// SELECT IN high, the two top bits set.
constexpr uint8_t kReleaseControl = 0xCC;

// DetectCamera: passes with a wrong identity before an attempt gives up,
// identity reads per half-pass, and SELECT IN pulses of the wake sequence.
constexpr int32_t kIdentityPasses = 5;
constexpr int kIdentityReadsPerTry = 3;
constexpr int kWakePulses = 3;
// ProbePort: SELECT IN pulses for an SPP camera behind a pass-through.
constexpr int kSppPassThroughPulses = 3;

// ResyncLink hold times and window count.
constexpr uint32_t kResyncHold = 4;
constexpr int kResyncWindows = 256;

// LinkDelay iterations.
constexpr uint32_t kLinkDelayIterations = 65'536;

// TestPs2Mode: the test values 0, 2, ..., 254 and how often each is written.
constexpr unsigned kPs2LastValue = 254;
constexpr unsigned kPs2ValueStep = 2;
constexpr int kPs2WritesPerValue = 3;

constexpr int32_t kEppTestDoneValue = 1;  // written to register 9 after the EPP test

constexpr uint8_t EcrMode(uint8_t ecr) {
    return ecr & kEcrModeMask;
}
constexpr uint8_t WithEcrMode(uint8_t ecr, uint8_t mode) {
    return static_cast<uint8_t>((ecr & kEcrLowBits) | mode);
}

bool Has(uint8_t flags) {
    return (gState.linkFlags & flags) != 0;
}

void LinkDelay() {
    // A counted busy loop that the optimiser must keep; it touches no port.
    volatile uint32_t counter = 0;
    for (uint32_t i = 0; i < kLinkDelayIterations; ++i)
        counter = counter + 1;
}

void ResyncLink() {
    const LinkState& st = gState;
    WriteControl(st, Lines::Idle, kResyncHold);
    for (int i = 0; i < kResyncWindows; ++i) {  // empty windows, STROBE 0
        WriteControl(st, Lines::Open, kResyncHold);
        WriteControl(st, Lines::Idle, kResyncHold);
    }
    WriteControl(st, Lines::StrobeHigh, kResyncHold);
    for (int i = 0; i < kResyncWindows; ++i) {  // empty windows, STROBE held at 1
        WriteControl(st, Lines::Pulse, kResyncHold);
        WriteControl(st, Lines::StrobeHigh, kResyncHold);
    }
    LinkDelay();
    WriteControl(st, Lines::Idle, kResyncHold);
}

// Up to three identity reads, stopping at the first acknowledged one.
bool TryReadIdentity(int32_t& identity) {
    for (int i = 0; i < kIdentityReadsPerTry; ++i) {
        if (ReadCameraRegister(static_cast<int32_t>(Register::CameraId), &identity) != 0) {
            return true;
        }
    }
    return false;
}

enum class IdentityResult { NoAnswer, Valid, WrongIdentity };

// Identity passes until a pass goes unanswered, a valid identity arrives or
// kIdentityPasses passes gave wrong values.
IdentityResult RunIdentityPasses() {
    for (int32_t pass = 1;; ++pass) {
        int32_t identity = 0;
        bool answered = TryReadIdentity(identity);
        if (!answered) {
            ResyncLink();
            answered = TryReadIdentity(identity);
        }
        if (!answered) return IdentityResult::NoAnswer;
        if (identity == kCameraIdA || identity == kCameraIdB) return IdentityResult::Valid;
        if (pass == kIdentityPasses) return IdentityResult::WrongIdentity;
    }
}

void WriteSelectInPulses(int pulses) {
    for (int i = 0; i < pulses; ++i) {
        WriteControlRaw(gState, gState.controlShadow | kSelectIn);
        WriteControlRaw(gState, gState.controlShadow & ~kSelectIn);
    }
}

void DetectCamera() {
    LinkState& st = gState;
    // Direct attachment: SELECT IN high.
    st.controlShadow |= kSelectIn;
    WriteControlRaw(st, st.controlShadow);
    LinkDelay();
    if (RunIdentityPasses() == IdentityResult::Valid) {
        st.linkFlags |= kCameraPresent;
        return;
    }

    // Behind a pass-through: SELECT IN low, then the wake sequence.
    WriteControlRaw(st, st.controlShadow & ~kSelectIn);
    LinkDelay();
    WriteSelectInPulses(kWakePulses);
    st.controlShadow &= ~kSelectIn;
    switch (RunIdentityPasses()) {
        case IdentityResult::NoAnswer:
            break;
        case IdentityResult::Valid:
            st.linkFlags |= kCameraPresent | kPassThrough;
            break;
        case IdentityResult::WrongIdentity:
            st.controlShadow |= kSelectIn;
            WriteControlRaw(st, st.controlShadow);
            LinkDelay();
            break;
    }
}

void DetectEcp() {
    const uint8_t ecr = platform::In8(gState.ecrPort);
    platform::Out8(gState.ecrPort, WithEcrMode(ecr, kEcrStandard));
    // A port without an ECR reads 0xFF here.
    if (EcrMode(platform::In8(gState.ecrPort)) == kEcrStandard) gState.linkFlags |= kEcpPort;
}

// Switches the ECR to `mode` through standard mode; true when the mode field
// reads back as `mode`.
bool SwitchEcrMode(uint8_t mode) {
    const uint8_t ecr = platform::In8(gState.ecrPort);
    platform::Out8(gState.ecrPort, WithEcrMode(ecr, kEcrStandard));
    platform::Out8(gState.ecrPort, WithEcrMode(ecr, mode));
    return EcrMode(platform::In8(gState.ecrPort)) == mode;
}

// Register 9's EPP cycle counter: bits 15..8.
constexpr unsigned kCounterShift = 8;
constexpr uint32_t kCounterMask = 0xFF;
uint32_t CounterOf(int32_t value) {
    return (static_cast<uint32_t>(value) >> kCounterShift) & kCounterMask;
}

// Register 9, 0 when the read was not acknowledged.
int32_t ReadCounterRegister() {
    int32_t value = 0;
    ReadCameraRegister(static_cast<int32_t>(Register::CCDType), &value);
    return value;
}

// An empty window with `eppReads` byte reads of the EPP data register inside.
void EppWindow(int eppReads) {
    WriteControl(gState, Lines::Open);
    for (int i = 0; i < eppReads; ++i)
        platform::In8(gState.eppDataPort);
    WriteControl(gState, Lines::Idle);
}

// True when it set EppMode. Register 9's high byte must hold across plain
// windows and grow with every batch of EPP read cycles.
bool TestEppMode() {
    ReadCounterRegister();
    EppWindow(0);
    const int32_t a = ReadCounterRegister();
    EppWindow(0);
    const int32_t b = ReadCounterRegister();
    bool works = CounterOf(a) == CounterOf(b);
    if (works) {
        EppWindow(1);
        const int32_t c = ReadCounterRegister();
        works = CounterOf(c) > CounterOf(b);
        if (works) {
            EppWindow(2);
            const int32_t d = ReadCounterRegister();
            works = CounterOf(d) > CounterOf(c);
        }
    }
    if (works) gState.linkFlags |= kEppMode;
    WriteCameraRegister(static_cast<int32_t>(Register::CCDType), kEppTestDoneValue);
    return works;
}

// True when it set Ps2Mode: with the direction bit on, the data register no
// longer reads back what was written.
bool TestPs2Mode() {
    WriteControlRaw(gState, gState.controlShadow | kDirection);
    for (unsigned value = 0; value <= kPs2LastValue; value += kPs2ValueStep) {
        const auto byte = static_cast<uint8_t>(value);
        for (int i = 0; i < kPs2WritesPerValue; ++i)
            platform::Out8(gState.dataPort, byte);
        platform::In8(gState.dataPort);
        if (platform::In8(gState.dataPort) != byte) {
            gState.linkFlags |= kPs2Mode;
            return true;
        }
    }
    return false;
}

void DetectPortModes() {
    DetectEcp();
    if (Has(kEcpPort)) {
        if (SwitchEcrMode(kEcrEpp) && Has(kCameraPresent) && TestEppMode()) return;
        if (SwitchEcrMode(kEcrPs2) && TestPs2Mode()) return;
    }
    if (Has(kCameraPresent) && TestEppMode()) return;
    if (TestPs2Mode()) return;
    gState.linkFlags |= kSppMode;
}

}  // namespace

void LinkState::Reset() {
    dataPort = statusPort = controlPort = eppDataPort = ecrPort = 0;
    controlShadow = savedControl = savedEcr = linkFlags = 0;
    probed = false;
    firstLinePending = 0;
    lineLength = 0;
    skipCount = 0;
    extraLeadSample.store(0, std::memory_order_relaxed);
    brightSampleCount = 0;
    sampleCount = 0;
}

LinkState& State() {
    return gState;
}

bool HasPort() {
    return gState.probed;
}

uint8_t ProbePort(uint16_t base) {
    LinkState& st = gState;
    st.dataPort = base;
    st.statusPort = static_cast<uint16_t>(base + kStatusOffset);
    st.controlPort = static_cast<uint16_t>(base + kControlOffset);
    st.eppDataPort = static_cast<uint16_t>(base + kEppDataOffset);
    st.ecrPort = static_cast<uint16_t>(base + kEcrOffset);
    st.probed = true;
    st.linkFlags = 0;

    // What teardown gives back.
    st.savedControl = platform::In8(st.controlPort);
    st.savedEcr = platform::In8(st.ecrPort);

    // Idle clock lines on the port's own control value, then the shadow with
    // the data lines switched to input.
    const uint8_t idle = wire::ControlValue(platform::In8(st.controlPort), Lines::Idle);
    WriteControlRaw(st, idle);
    st.controlShadow = idle | kDirection;
    WriteControl(st, Lines::Idle);

    // PS/2 byte mode, written whether or not the port has an ECR.
    platform::Out8(st.ecrPort, WithEcrMode(platform::In8(st.ecrPort), kEcrPs2));

    DetectCamera();
    DetectPortModes();
    if (!Has(kCameraPresent)) {
        DetectCamera();
        if (!Has(kCameraPresent)) return st.linkFlags;
        DetectPortModes();
    }

    if (Has(kSppMode) && Has(kPassThrough)) WriteSelectInPulses(kSppPassThroughPulses);
    WriteControl(st, Lines::Idle);
    return st.linkFlags;
}

void ReleasePort() {
    if (!HasPort()) return;
    const LinkState& st = gState;
    platform::Out8(st.ecrPort, WithEcrMode(platform::In8(st.ecrPort), kEcrStandard));
    platform::Out8(st.controlPort, kReleaseControl);
    platform::Out8(st.ecrPort, st.savedEcr);
    platform::Out8(st.controlPort, st.savedControl);
}

}  // namespace teko::link
