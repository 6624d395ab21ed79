// A scripted camera on a fake parallel port for the pipeline tests. It
// decodes register transfers from the control-register writes (windows are
// AUTOFEED low, pulses are STROBE rising edges inside a window), acknowledges
// every command unless told to refuse a register, answers register reads, and
// records every register write.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "api/driver_state.h"
#include "link/link.h"
#include "support/port_io.h"
#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"

namespace teko::testing {

inline constexpr uint16_t kBase = 0x378;
inline constexpr int32_t kSyncPulses = 2;
inline constexpr int kValueBits = 16;

struct RegisterWrite {
    int32_t reg;
    int32_t value;
    bool operator==(const RegisterWrite&) const = default;
};

class ScriptedCamera {
  public:
    // Registers answered on read (register 9 gives the sensor type).
    std::map<int32_t, uint16_t> readValues{{static_cast<int32_t>(link::Register::CCDType), 2}};
    // How many more commands for a register go unacknowledged.
    std::map<int32_t, int> refusals;
    std::vector<RegisterWrite> writes;
    std::vector<int32_t> reads;
    uint64_t portAccesses = 0;

    ScriptedCamera() : io_(MakePortIo(*this)) {}

    // Installs the port and a link that looks probed on kBase, with the
    // camera open.
    void Attach() {
        ASSERT_EQ(TekoSetPortIo(&io_), 1);
        link::LinkState& st = link::State();
        st.dataPort = kBase;
        st.statusPort = kBase + link::kStatusOffset;
        st.controlPort = kBase + link::kControlOffset;
        st.eppDataPort = kBase + link::kEppDataOffset;
        st.ecrPort = kBase + link::kEcrOffset;
        st.controlShadow = link::kSelectIn | link::kAutofeed;
        st.probed = true;
        api::Driver().openCount = 1;
    }
    void InstallPortOnly() { ASSERT_EQ(TekoSetPortIo(&io_), 1); }

    // Forgets the traffic seen and the refusals left.
    void Clear() {
        writes.clear();
        reads.clear();
        refusals.clear();
        commands_.clear();
        portAccesses = 0;
        phase_ = Phase::Idle;
        windowOpen_ = false;
        strobe_ = false;
    }

    // The writes of one register, in order.
    std::vector<int32_t> WritesTo(link::Register reg) const {
        std::vector<int32_t> values;
        for (const RegisterWrite& w : writes)
            if (w.reg == static_cast<int32_t>(reg)) values.push_back(w.value);
        return values;
    }
    int CommandsFor(link::Register reg) const {
        const auto it = commands_.find(static_cast<int32_t>(reg));
        return it == commands_.end() ? 0 : it->second;
    }

  private:
    enum class Phase { Idle, Number, AwaitAck, WriteData, ReadData };

    friend struct PortIoOf<ScriptedCamera>;
    template <class T>
    T Touch(T value) {
        ++portAccesses;
        return value;
    }
    uint16_t Read16(uint16_t) { return Touch(uint16_t{0xFFFF}); }
    uint32_t Read32(uint16_t) { return Touch(0xFFFFFFFFu); }
    void Read32Repeat(uint16_t, uint32_t* dst, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i)
            dst[i] = Touch(0u);
    }
    void MaskInterrupts(int) { Touch(0); }

    uint8_t Read8(uint16_t port) {
        ++portAccesses;
        if (port != kBase + link::kStatusOffset) return 0xFF;
        bool ackLow = false;
        if (phase_ == Phase::AwaitAck && accept_) {
            ackLow = true;
            phase_ = command_ == static_cast<int32_t>(link::Register::CCDType) ||
                             command_ == static_cast<int32_t>(link::Register::CameraId)
                         ? Phase::ReadData
                         : Phase::WriteData;
            bits_.clear();
        } else if (phase_ == Phase::ReadData && windowOpen_) {
            const auto it = readValues.find(command_);
            const uint16_t value = it == readValues.end() ? 0 : it->second;
            ackLow = ((value >> bits_.size()) & 1u) == 0;
        }
        return static_cast<uint8_t>(ackLow ? 0x3F : 0x7F);
    }

    void Write8(uint16_t port, uint8_t value) {
        ++portAccesses;
        if (port != kBase + link::kControlOffset) return;
        const bool strobe = (value & link::kStrobe) != 0;
        const bool autofeed = (value & link::kAutofeed) != 0;
        if (!windowOpen_ && !autofeed) {
            windowOpen_ = true;
            pulses_ = 0;
        } else if (windowOpen_ && strobe && !strobe_) {
            ++pulses_;
        }
        strobe_ = strobe;
        if (windowOpen_ && autofeed) {
            windowOpen_ = false;
            WindowClosed(pulses_);
        }
    }

    void WindowClosed(int pulses) {
        // A two-pulse window outside a data phase starts a new transfer.
        if (pulses == kSyncPulses && phase_ != Phase::WriteData && phase_ != Phase::ReadData &&
            phase_ != Phase::Number) {
            phase_ = Phase::Number;
            return;
        }
        switch (phase_) {
            case Phase::Number: {
                command_ = pulses;
                ++commands_[command_];
                if (command_ == static_cast<int32_t>(link::Register::StartFrame)) {
                    phase_ = Phase::Idle;
                    return;
                }
                int& refused = refusals[command_];
                accept_ = refused == 0;
                if (!accept_) --refused;
                phase_ = Phase::AwaitAck;
                return;
            }
            case Phase::WriteData:
                if (bits_.size() < kValueBits) {
                    bits_.push_back(pulses);
                    return;
                }
                EXPECT_EQ(pulses, 1) << "a write ends with a pulsed window";
                writes.push_back({command_, Value()});
                phase_ = Phase::Idle;
                return;
            case Phase::ReadData:
                if (bits_.size() < kValueBits) {
                    bits_.push_back(pulses);
                    return;
                }
                reads.push_back(command_);
                phase_ = Phase::Idle;
                return;
            default:
                return;
        }
    }

    int32_t Value() const {
        int32_t value = 0;
        for (std::size_t i = 0; i < bits_.size(); ++i)
            if (bits_[i] != 0) value |= 1 << i;
        return value;
    }

    TekoPortIo io_;
    Phase phase_ = Phase::Idle;
    bool windowOpen_ = false;
    bool strobe_ = false;
    int pulses_ = 0;
    int32_t command_ = 0;
    bool accept_ = true;
    std::vector<int> bits_;
    std::map<int32_t, int> commands_;
};

}  // namespace teko::testing

#include "pipeline/pipeline.h"
#include "support/counting_allocator.h"
#include "support/library_fixture.h"
#include "support/message_recorder.h"
#include "support/row_size.h"

namespace teko::testing {

inline constexpr int32_t kTypeShort = 2;  // the 246-line sensor
inline constexpr int32_t kTypeTall = 3;   // any other type: 248 lines

// A library at load with the scripted camera on a probed port.
// ---- Configuration codes ---------------------------------------------------
inline constexpr int32_t kCodeZoom = 0x02;
inline constexpr int32_t kCodeRgb24 = 0x08;
inline constexpr int32_t kCodeUyvy = 0x10;
inline constexpr int32_t kConfigurationCodes = 24;

inline bool CodeZooms(int32_t code) {
    return (code & kCodeZoom) != 0;
}
// Chooses the switches of configuration code `code`; returns the depth that
// SetFrameSize must be given for it.
inline int32_t SelectConfiguration(int32_t code) {
    InitFilterStack(CodeZooms(code) ? 1 : 0, (code >> 2) & 1, code & 1);
    SetRealizedFilter((code & kCodeUyvy) != 0 ? 1 : 0);
    return (code & kCodeRgb24) != 0 ? 24 : 16;
}
// Bytes per row in the client's buffer: rows are padded to 32-bit words.
inline int64_t ClientRowBytes(int32_t code, int32_t width) {
    return PaddedRowBytes((code & kCodeUyvy) == 0 && (code & kCodeRgb24) != 0 ? 3 : 2, width);
}

class PipelineTest : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        camera.Attach();
        messages.Install();
    }
    void SetSensorType(int32_t type) {
        camera.readValues[static_cast<int32_t>(link::Register::CCDType)] =
            static_cast<uint16_t>(type);
    }
    // TopOffset, LeftOffset and RightOffset as last written.
    std::vector<int32_t> LastWindow() const {
        std::vector<int32_t> window;
        for (auto reg :
             {link::Register::TopOffset, link::Register::LeftOffset, link::Register::RightOffset}) {
            const auto values = camera.WritesTo(reg);
            window.push_back(values.empty() ? -1 : values.back());
        }
        return window;
    }

    ScriptedCamera camera;
    MessageRecorder messages;
};

}  // namespace teko::testing
