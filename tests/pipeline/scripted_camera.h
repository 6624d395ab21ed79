// The pipeline tests' fixture: the library at load with the virtual camera on
// a probed port, its register traffic read back per register, the messages
// shown, the configuration codes of the stack builder and the client's row
// size per code.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "api/driver_state.h"
#include "link/link.h"
#include "pipeline/pipeline.h"
#include "support/counting_allocator.h"
#include "support/library_fixture.h"
#include "support/message_recorder.h"
#include "support/row_size.h"
#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"
#include "teko32sim/virtual_camera.h"

namespace teko::testing {

inline constexpr uint16_t kBase = 0x378;

inline constexpr int32_t kTypeShort = 2;  // the 246-line sensor
inline constexpr int32_t kTypeTall = 3;   // any other type: 248 lines

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
        ASSERT_TRUE(camera.Install());
        // A probed port with the camera open; the probe's own traffic is forgotten.
        ASSERT_NE(link::ProbePort(kBase) & link::kCameraPresent, 0);
        api::Driver().openCount = 1;
        ClearTraffic();
        SetSensorType(kTypeShort);
        messages.Install();
    }
    void SetSensorType(int32_t type) { camera.SetSensorType(type); }
    // The next `times` transfers of `reg` go unacknowledged.
    void Refuse(link::Register reg, int times) {
        sim::Faults faults;
        faults.refuseRegister = static_cast<int>(reg);
        faults.refuseCount = times;
        camera.SetFaults(faults);
    }
    // Forgets the traffic seen and the refusals left.
    void ClearTraffic() {
        camera.ClearRegisterLog();
        camera.ResetCounters();
        camera.SetFaults({});
    }
    // The writes of one register, in order.
    std::vector<int32_t> WritesTo(link::Register reg) const {
        std::vector<int32_t> values;
        for (const auto& [r, value] : camera.RegisterLog())
            if (r == static_cast<int>(reg)) values.push_back(value);
        return values;
    }
    uint64_t CommandsFor(link::Register reg) const {
        return camera.counters().commands[static_cast<std::size_t>(reg)];
    }
    // TopOffset, LeftOffset and RightOffset as last written.
    std::vector<int32_t> LastWindow() const {
        std::vector<int32_t> window;
        for (auto reg :
             {link::Register::TopOffset, link::Register::LeftOffset, link::Register::RightOffset}) {
            const auto values = WritesTo(reg);
            window.push_back(values.empty() ? -1 : values.back());
        }
        return window;
    }

    sim::VirtualCamera camera;
    MessageRecorder messages;
};

}  // namespace teko::testing
