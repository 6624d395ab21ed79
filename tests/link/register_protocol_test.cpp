// The serial register protocol against the recording port.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "link/link.h"
#include "link_fixture.h"

namespace teko::link::testing {
namespace {

class RegisterProtocolTest : public LinkTest {
  protected:
    void SetUp() override {
        LinkTest::SetUp();
        AttachLink(kSppMode);
        port.attach = FakePort::Attach::Direct;
    }
};

TEST_F(RegisterProtocolTest, SendCommandWritesTheSyncAndNumberWindows) {
    port.attach = FakePort::Attach::None;  // a bare command: no transfer follows
    for (const int n : {1, 5, 12, 20}) {
        SCOPED_TRACE(n);
        port.ClearLog();
        SendCommand(n);
        EXPECT_EQ(port.log.size(), 98u + 8u * static_cast<unsigned>(n));
        EXPECT_EQ(port.Runs(), Expect().Command(n).Runs());
        EXPECT_EQ(port.commands, std::vector<int>{n});
    }
}

// Writes per data window: 12 without a pulse, 16 with one.
uint32_t WriteTransferWrites(int reg, uint32_t value) {
    uint32_t writes = 98 + 8 * static_cast<uint32_t>(reg);
    for (int bit = 0; bit < 16; ++bit)
        writes += ((value >> bit) & 1u) != 0 ? 16 : 12;
    return writes + 16;  // closing window with its pulse
}

TEST_F(RegisterProtocolTest, WriteSendsTheLow16BitsAsPulsedWindows) {
    struct Case {
        int reg;
        int32_t value;
        uint32_t sent;
    };
    for (const Case c :
         {Case{10, 53, 53}, Case{8, 0, 0}, Case{5, 0x12345, 0x2345}, Case{9, 0xFFFF, 0xFFFF}}) {
        SCOPED_TRACE(c.value);
        port.ClearLog();
        EXPECT_EQ(WriteCameraRegister(c.reg, c.value), 1);
        ASSERT_EQ(port.transfers.size(), 1u);
        const Transfer& t = port.transfers[0];
        EXPECT_EQ(t.reg, c.reg);
        EXPECT_FALSE(t.read);
        EXPECT_EQ(t.pulsedWindows, c.sent);  // window k carries a pulse for bit k
        EXPECT_TRUE(t.closingPulse);
        EXPECT_EQ(port.ControlWrites().size(), WriteTransferWrites(c.reg, c.sent));
        EXPECT_EQ(port.Count(Kind::Read8, FakePort::kStatus), 1u);  // the acknowledge only
        EXPECT_EQ(port.ControlWrites().back(), kIdle);
    }
}

TEST_F(RegisterProtocolTest, WriteOf53ToRegister10HasTheExactSequence) {
    EXPECT_EQ(WriteCameraRegister(10, 53), 1);
    Expect e;
    e.Command(10).In(FakePort::kStatus, FakePort::kAckLow);
    for (int bit = 0; bit < 16; ++bit) {
        e.Ctl(kOpen, 4);
        if (((53 >> bit) & 1) != 0) e.Ctl(kPulse, 4);
        e.Ctl(kOpen, 4).Ctl(kIdle, 4);
    }
    e.Ctl(kOpen, 4).Ctl(kPulse, 4).Ctl(kOpen, 4).Ctl(kIdle, 4);
    EXPECT_EQ(port.Runs(), e.Runs());
}

TEST_F(RegisterProtocolTest, ReadTakesEachBitFromAckInsideAPulsedWindow) {
    for (const uint16_t value : {uint16_t{0xFFFF}, uint16_t{0}, uint16_t{0x3071}}) {
        SCOPED_TRACE(value);
        port.ClearLog();
        port.registers[6] = value;
        int32_t result = -1;
        EXPECT_EQ(ReadCameraRegister(6, &result), 1);
        EXPECT_EQ(result, value);
        ASSERT_EQ(port.transfers.size(), 1u);
        EXPECT_TRUE(port.transfers[0].read);
        EXPECT_EQ(port.transfers[0].pulsedWindows, 0xFFFFu);  // every data window pulsed
        EXPECT_FALSE(port.transfers[0].closingPulse);
        EXPECT_EQ(port.ControlWrites().size(), 98u + 8u * 6u + 16u * 16u + 12u);
        EXPECT_EQ(port.Count(Kind::Read8, FakePort::kStatus), 1u + 16u);
    }
}

TEST_F(RegisterProtocolTest, ReadHasTheExactSequence) {
    port.registers[7] = 0x0001;
    int32_t result = 0;
    ASSERT_EQ(ReadCameraRegister(7, &result), 1);
    Expect e;
    e.Command(7).In(FakePort::kStatus, FakePort::kAckLow);
    for (int bit = 0; bit < 16; ++bit) {
        const uint8_t status = bit == 0 ? FakePort::kAckHigh : FakePort::kAckHigh & ~0x40;
        e.Ctl(kOpen, 4).Ctl(kPulse, 4).Ctl(kOpen, 4).In(FakePort::kStatus, status).Ctl(kIdle, 4);
    }
    e.Ctl(kOpen, 8).Ctl(kIdle, 4);
    EXPECT_EQ(port.Runs(), e.Runs());
}

TEST_F(RegisterProtocolTest, NothingAttachedTimesOutAfter300Polls) {
    port.attach = FakePort::Attach::None;
    const std::vector<std::function<int32_t()>> operations = {
        [] { return WriteCameraRegister(10, 53); },
        [] {
            int32_t result = 1234;
            const int32_t ok = ReadCameraRegister(10, &result);
            EXPECT_EQ(result, 1234);  // untouched
            return ok;
        },
        [] { return ReadSensorType(); },
    };
    for (const auto& operation : operations) {
        port.ClearLog();
        EXPECT_EQ(operation(), 0);
        EXPECT_EQ(port.Count(Kind::Read8, FakePort::kStatus), 300u);
        const size_t n = port.unanswered.empty() ? 0 : static_cast<size_t>(port.unanswered[0]);
        EXPECT_EQ(port.ControlWrites().size(), 98u + 8u * n);
        EXPECT_EQ(port.log.size(), 98u + 8u * n + 300u);
        EXPECT_EQ(port.ControlWrites().back(), kIdle);
    }
}

TEST_F(RegisterProtocolTest, SensorTypeIsTheLowFourBitsOfRegister9) {
    for (const uint16_t reg9 : {uint16_t{0xAB32}, uint16_t{0x0002}, uint16_t{0xFF0F}}) {
        port.reg9 = reg9;
        EXPECT_EQ(ReadSensorType(), reg9 & 0x0F);
    }
    EXPECT_EQ(port.commands, (std::vector<int>{9, 9, 9}));
}

TEST_F(RegisterProtocolTest, ReadIntoANullResultDiscardsTheValue) {
    port.registers[6] = 0x1234;
    EXPECT_EQ(ReadCameraRegister(6, nullptr), 1);
    EXPECT_EQ(port.transfers.size(), 1u);
}

}  // namespace
}  // namespace teko::link::testing
