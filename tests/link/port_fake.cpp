#include "port_fake.h"

#include <cstdio>

#include "support/port_io.h"

namespace teko::link::testing {
namespace {

constexpr uint8_t kStrobeBit = 0x01;
constexpr uint8_t kAutofeedBit = 0x02;
constexpr uint8_t kSelectInBit = 0x08;
constexpr uint8_t kDirectionBit = 0x20;
constexpr uint8_t kAckBit = 0x40;
constexpr int kDataWindows = 16;
constexpr int kSyncPulses = 2;
constexpr int kStartFrame = 20;
constexpr int kWakeToggles = 6;

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

}  // namespace

TekoPortIo FakePort::Io() {
    return teko::testing::MakePortIo(*this);
}

std::vector<Run> FakePort::Runs() const {
    std::vector<Run> runs;
    for (const Access& a : log) {
        if (!runs.empty() && runs.back().access == a) {
            ++runs.back().count;
        } else {
            runs.push_back({a, 1});
        }
    }
    return runs;
}

std::size_t FakePort::Count(Kind kind, uint16_t port) const {
    std::size_t n = 0;
    for (const Access& a : log)
        n += (a.kind == kind && a.port == port) ? 1 : 0;
    return n;
}

std::size_t FakePort::CountValue(Kind kind, uint16_t port, uint32_t value) const {
    std::size_t n = 0;
    for (const Access& a : log)
        n += (a.kind == kind && a.port == port && a.value == value) ? 1 : 0;
    return n;
}

std::vector<uint8_t> FakePort::ControlWrites() const {
    std::vector<uint8_t> values;
    for (const Access& a : log) {
        if (a.kind == Kind::Write8 && a.port == kControl)
            values.push_back(static_cast<uint8_t>(a.value));
    }
    return values;
}

bool FakePort::InterruptsBalanced() const {
    bool masked = false;
    for (const Access& a : log) {
        if (a.kind != Kind::Mask) continue;
        if (a.value != 0 && masked) return false;  // masked twice without an unmask
        masked = a.value != 0;
    }
    return !masked;
}

void FakePort::ClearLog() {
    log.clear();
    transfers.clear();
    unanswered.clear();
    commands.clear();
    events.clear();
}

uint8_t FakePort::Read8(uint16_t port) {
    uint8_t value = 0xFF;
    if (port == kStatus) {
        value = ReadStatus();
    } else if (port == kControl) {
        events.push_back("ctl?");
        value = control;
    } else if (port == kEcr) {
        events.push_back("ecr?");
        value = ecrPresent ? ecr : 0xFF;
    } else if (port == kEppData) {
        events.push_back("epp");
        ++eppCounter_;
        value = 0;
    } else if (port == kData) {
        if ((control & kDirectionBit) != 0 && !dataEcho) {
            if (dataScript.empty()) {
                value = dataDefault;
            } else {
                value = dataScript.front();
                dataScript.pop_front();
            }
        } else {
            value = data;
        }
    }
    log.push_back({Kind::Read8, port, value});
    return value;
}

void FakePort::Write8(uint16_t port, uint8_t value) {
    log.push_back({Kind::Write8, port, value});
    if (port == kControl) {
        OnControl(value);
    } else if (port == kEcr) {
        events.push_back("ecr=" + Hex(value));
        if (ecrPresent) ecr = value;
    } else if (port == kData) {
        data = value;
    }
}

uint16_t FakePort::Read16(uint16_t port) {
    const auto value = static_cast<uint16_t>(NextEppWord());
    log.push_back({Kind::Read16, port, value});
    return value;
}

uint32_t FakePort::Read32(uint16_t port) {
    const uint32_t value = NextEppWord();
    log.push_back({Kind::Read32, port, value});
    return value;
}

void FakePort::Read32Repeat(uint16_t port, uint32_t* dst, uint32_t count) {
    log.push_back({Kind::Read32Repeat, port, count});
    for (uint32_t i = 0; i < count; ++i)
        dst[i] = NextEppWord();
}

void FakePort::MaskInterrupts(int masked) {
    log.push_back({Kind::Mask, 0, masked != 0 ? 1u : 0u});
}

uint32_t FakePort::NextEppWord() {
    if (eppWords.empty()) return 0;
    const uint32_t word = eppWords.front();
    eppWords.pop_front();
    return word;
}

uint8_t FakePort::ReadStatus() {
    if (phase_ == Phase::Acknowledging) return kAckLow;
    if (phase_ == Phase::Data && windowOpen_) {
        ++statusReadsInWindow_;
        const bool bit = ((RegisterValue(current_.reg) >> window_) & 1u) != 0;
        return bit ? kAckHigh : static_cast<uint8_t>(kAckHigh & ~kAckBit);
    }
    if (statusScript.empty()) return statusDefault;
    const uint8_t value = statusScript.front();
    statusScript.pop_front();
    return value;
}

void FakePort::OnControl(uint8_t value) {
    // SELECT IN: a run of six or more toggles ending low wakes a pass-through
    // camera; SELECT IN held high puts it back to sleep.
    if (((value ^ control) & kSelectInBit) != 0) {
        ++selectToggles_;
        if (selectToggles_ >= kWakeToggles && (value & kSelectInBit) == 0) awake_ = true;
    } else {
        selectToggles_ = 0;
        if ((value & kSelectInBit) != 0) awake_ = false;
    }
    control = value;

    const bool strobe = (value & kStrobeBit) != 0;
    const bool autofeed = (value & kAutofeedBit) != 0;
    if (lastAutofeed_ && !autofeed) {
        windowOpen_ = true;
        pulses_ = 0;
        statusReadsInWindow_ = 0;
        if (phase_ == Phase::Acknowledging) {
            phase_ = Phase::Data;
            window_ = 0;
            current_ = Transfer{};
            current_.reg = command_;
        }
    }
    if (!autofeed && strobe && !lastStrobe_) ++pulses_;
    const bool closed = !lastAutofeed_ && autofeed;
    lastStrobe_ = strobe;
    lastAutofeed_ = autofeed;
    if (closed) {
        windowOpen_ = false;
        OnWindowClosed();
    }
}

void FakePort::OnWindowClosed() {
    switch (phase_) {
        case Phase::Idle:
            if (pulses_ == kSyncPulses) phase_ = Phase::Synced;
            break;
        case Phase::Synced:
            phase_ = Phase::Idle;
            command_ = static_cast<int>(pulses_);
            if (command_ == 0) break;
            commands.push_back(command_);
            if (command_ == kStartFrame) break;
            if (CameraAnswers() && deafCommands-- <= 0) {
                phase_ = Phase::Acknowledging;
            } else {
                unanswered.push_back(command_);
                events.push_back("C" + std::to_string(command_) + "?");
            }
            break;
        case Phase::Acknowledging:
            break;
        case Phase::Data:
            if (window_ < kDataWindows) {
                if (pulses_ > 0) current_.pulsedWindows |= 1u << window_;
                if (statusReadsInWindow_ > 0) current_.read = true;
                ++window_;
                break;
            }
            current_.closingPulse = pulses_ > 0;
            if (current_.read) {
                current_.value = RegisterValue(current_.reg);
                events.push_back("R" + std::to_string(current_.reg));
            } else {
                current_.value = current_.pulsedWindows;
                events.push_back("W" + std::to_string(current_.reg) + "=" + Hex(current_.value));
            }
            transfers.push_back(current_);
            phase_ = Phase::Idle;
            break;
    }
}

bool FakePort::CameraAnswers() const {
    switch (attach) {
        case Attach::None:
            return false;
        case Attach::Direct:
            return (control & kSelectInBit) != 0;
        case Attach::PassThrough:
            return awake_ && (control & kSelectInBit) == 0;
        case Attach::Any:
            return true;
    }
    return false;
}

uint32_t FakePort::RegisterValue(int reg) const {
    if (reg == 12) return identity;
    if (reg == 9) {
        if (!eppCounts) return reg9;
        return (reg9 & 0xFFu) | ((eppCounter_ & 0xFFu) << 8);
    }
    const auto it = registers.find(reg);
    return it == registers.end() ? 0 : it->second;
}

}  // namespace teko::link::testing
