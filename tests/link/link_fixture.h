// Fixture and expectation helpers shared by the link tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "link/link.h"
#include "platform/platform.h"
#include "port_fake.h"
#include "support/library_fixture.h"

namespace teko::link::testing {

// A control shadow as a direct probe leaves it: INIT, SELECT IN, direction,
// the two top bits, AUTOFEED 1, STROBE 0.
inline constexpr uint8_t kShadow = 0xEE;
inline constexpr uint8_t kOpen = kShadow & ~0x03;            // STROBE 0, AUTOFEED 0
inline constexpr uint8_t kPulse = (kShadow & ~0x03) | 0x01;  // STROBE 1, AUTOFEED 0
inline constexpr uint8_t kIdle = (kShadow & ~0x03) | 0x02;   // STROBE 0, AUTOFEED 1
inline constexpr uint8_t kHigh = kShadow | 0x03;             // STROBE 1, AUTOFEED 1

// Every case starts from the load state with the recording port installed.
class LinkTest : public teko::testing::LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        const TekoPortIo io = port.Io();
        ASSERT_TRUE(platform::SetPortIo(&io));
    }

    // The link as a probe of FakePort::kBase would leave it, without probing.
    void AttachLink(uint8_t flags, uint8_t shadow = kShadow) {
        LinkState& st = State();
        st.dataPort = FakePort::kData;
        st.statusPort = FakePort::kStatus;
        st.controlPort = FakePort::kControl;
        st.eppDataPort = FakePort::kEppData;
        st.ecrPort = FakePort::kEcr;
        st.controlShadow = shadow;
        st.linkFlags = flags;
        st.probed = true;
        port.control = shadow;
    }

    FakePort port;
};

// Builds an expected access sequence as runs of identical accesses.
class Expect {
  public:
    Expect& Add(Access access, uint32_t count = 1) {
        if (count == 0) return *this;
        if (!runs_.empty() && runs_.back().access == access) {
            runs_.back().count += count;
        } else {
            runs_.push_back({access, count});
        }
        return *this;
    }
    Expect& Ctl(uint8_t value, uint32_t count = 1) {
        return Add({Kind::Write8, FakePort::kControl, value}, count);
    }
    Expect& Out(uint16_t port, uint8_t value, uint32_t count = 1) {
        return Add({Kind::Write8, port, value}, count);
    }
    Expect& In(uint16_t port, uint8_t answer, uint32_t count = 1) {
        return Add({Kind::Read8, port, answer}, count);
    }
    Expect& Mask(bool masked) { return Add({Kind::Mask, 0, masked ? 1u : 0u}); }
    // The command of a register transfer or of StartFrame: 98 + 8 * n writes.
    Expect& Command(int n) {
        Ctl(kOpen, 31).Ctl(kPulse, 4).Ctl(kOpen, 4).Ctl(kPulse, 4).Ctl(kOpen, 13);
        Ctl(kIdle, 10).Ctl(kOpen, 13);
        for (int i = 0; i < n; ++i)
            Ctl(kPulse, 4).Ctl(kOpen, 4);
        return Ctl(kOpen, 9).Ctl(kIdle, 10);
    }
    const std::vector<Run>& Runs() const { return runs_; }

  private:
    std::vector<Run> runs_;
};

inline std::ostream& operator<<(std::ostream& os, const Run& run) {
    static constexpr const char* kNames[] = {"in8", "out8", "in16", "in32", "in32rep", "mask"};
    return os << kNames[static_cast<int>(run.access.kind)] << "(0x" << std::hex << run.access.port
              << ", 0x" << run.access.value << std::dec << ")x" << run.count;
}

}  // namespace teko::link::testing
