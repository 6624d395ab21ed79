// The virtual camera driven by the library's own link code: probe results,
// register transfers, frames in every transfer mode, and faults that must end
// in time-outs rather than hangs.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "link/link.h"
#include "support/library_fixture.h"
#include "teko32/teko32_ext.h"
#include "teko32sim/virtual_camera.h"

namespace {

using teko::sim::Attachment;
using teko::sim::CameraConfig;
using teko::sim::VirtualCamera;
namespace link = teko::link;

constexpr uint16_t kBase = 0x378;

class SimLinkTest : public teko::testing::LibraryTest {
  protected:
    VirtualCamera& Attach(const CameraConfig& config) {
        camera_ = std::make_unique<VirtualCamera>(config);
        EXPECT_TRUE(camera_->Install());
        return *camera_;
    }
    void TearDown() override {
        TekoSetPortIo(nullptr);
        LibraryTest::TearDown();
    }
    std::unique_ptr<VirtualCamera> camera_;
};

CameraConfig Config(Attachment attachment, bool ecr, bool epp, bool ps2) {
    CameraConfig c;
    c.attachment = attachment;
    c.port = {ecr, epp, ps2};
    return c;
}

// ---- Probe ---------------------------------------------------------------

struct ProbeCase {
    const char* name;
    CameraConfig config;
    uint16_t probedBase;
    uint8_t flags;
};

std::vector<ProbeCase> ProbeCases() {
    using enum Attachment;
    CameraConfig other = Config(Direct, true, true, true);
    other.identity = 0x2974;
    CameraConfig wrong = Config(Direct, true, true, true);
    wrong.faults.wrongIdentity = true;
    CameraConfig wrongBehind = Config(PassThrough, false, true, false);
    wrongBehind.faults.wrongIdentity = true;
    CameraConfig mute = Config(Direct, true, true, true);
    mute.faults.neverAcknowledge = true;
    return {
        {"DirectAll", Config(Direct, true, true, true), kBase, 0x86},
        {"DirectNoEcr", Config(Direct, false, true, true), kBase, 0x82},
        {"DirectEcrPs2", Config(Direct, true, false, true), kBase, 0x85},
        {"DirectPs2", Config(Direct, false, false, true), kBase, 0x81},
        {"DirectEcrSpp", Config(Direct, true, false, false), kBase, 0x8C},
        {"DirectSpp", Config(Direct, false, false, false), kBase, 0x88},
        {"PassThroughAll", Config(PassThrough, true, true, true), kBase, 0x96},
        {"PassThroughPs2", Config(PassThrough, false, false, true), kBase, 0x91},
        {"PassThroughSpp", Config(PassThrough, false, false, false), kBase, 0x98},
        {"SecondIdentity", other, kBase, 0x86},
        {"WrongIdentity", wrong, kBase, 0x05},
        {"WrongIdentityBehind", wrongBehind, kBase, 0x08},
        {"NeverAcknowledges", mute, kBase, 0x05},
        {"OtherBaseIsEmpty", Config(Direct, true, true, true), 0x278, 0x01},
    };
}

TEST_F(SimLinkTest, ProbeReportsAttachmentAndPortModes) {
    for (const ProbeCase& c : ProbeCases()) {
        SCOPED_TRACE(c.name);
        teko::api::ResetLibraryForTesting();
        Attach(c.config);
        EXPECT_EQ(link::ProbePort(c.probedBase), c.flags);
        if ((c.flags & link::kCameraPresent) == 0) continue;
        const bool direct = c.config.attachment == Attachment::Direct;
        EXPECT_EQ((link::State().controlShadow & link::kSelectIn) != 0, direct);
        // The camera still answers after the probe's final writes.
        int32_t id = 0;
        EXPECT_EQ(link::ReadCameraRegister(12, &id), 1);
        EXPECT_EQ(id, c.config.identity);
    }
}

TEST_F(SimLinkTest, ReleaseRestoresPortRegisters) {
    VirtualCamera& cam = Attach(Config(Attachment::Direct, true, true, true));
    const uint8_t control = cam.ControlRegister();
    const uint8_t ecr = cam.EcrRegister();
    ASSERT_EQ(link::ProbePort(kBase), 0x86);
    link::ReleasePort();
    EXPECT_EQ(cam.ControlRegister(), control);
    EXPECT_EQ(cam.EcrRegister(), ecr);
    // A second probe finds the camera again.
    EXPECT_EQ(link::ProbePort(kBase), 0x86);
}

// ---- Registers -----------------------------------------------------------

TEST_F(SimLinkTest, RegisterWritesAndReads) {
    for (const Attachment attachment : {Attachment::Direct, Attachment::PassThrough}) {
        for (const int type : {0, 2, 0xA}) {
            SCOPED_TRACE(testing::Message() << "passThrough " << (attachment != Attachment::Direct)
                                            << " type " << type);
            teko::api::ResetLibraryForTesting();
            CameraConfig config = Config(attachment, true, true, true);
            config.ccdType = type;
            VirtualCamera& cam = Attach(config);
            ASSERT_NE(link::ProbePort(kBase) & link::kCameraPresent, 0);
            cam.ClearRegisterLog();

            EXPECT_EQ(link::WriteCameraRegister(10, 53), 1);
            EXPECT_EQ(link::WriteCameraRegister(8, 0x12345), 1);  // low 16 bits go out
            EXPECT_EQ(link::WriteCameraRegister(5, 0xFFFF), 1);
            EXPECT_EQ(link::WriteCameraRegister(6, 0), 1);
            const std::vector<std::pair<int, int32_t>> log{
                {10, 53}, {8, 0x2345}, {5, 0xFFFF}, {6, 0}};
            EXPECT_EQ(cam.RegisterLog(), log);
            EXPECT_EQ(cam.RegisterValue(8), 0x2345);
            EXPECT_FALSE(cam.RegisterValue(7).has_value());

            int32_t value = -1;
            ASSERT_EQ(link::ReadCameraRegister(9, &value), 1);
            EXPECT_EQ(value & 0x0F, type);
            EXPECT_EQ(link::ReadSensorType(), type);
            EXPECT_EQ(link::ReadCameraRegister(5, &value), 1);  // reads do not write
            EXPECT_EQ(value, 0xFFFF);
            EXPECT_EQ(cam.RegisterLog().size(), log.size());
        }
    }
}

TEST_F(SimLinkTest, RegisterFaultsTimeOut) {
    VirtualCamera& cam = Attach(Config(Attachment::Direct, true, true, true));
    ASSERT_EQ(link::ProbePort(kBase), 0x86);

    cam.faults().refuseRegister = 5;
    cam.faults().refuseCount = 4;
    for (int attempt = 0; attempt < 4; ++attempt)
        EXPECT_EQ(link::WriteCameraRegister(5, 2), 0);
    EXPECT_FALSE(cam.RegisterValue(5).has_value());
    EXPECT_EQ(link::WriteCameraRegister(5, 2), 1);
    EXPECT_EQ(cam.RegisterValue(5), 2);

    // Stops acknowledging from now on: each transfer gives up after 300 polls.
    cam.faults().neverAcknowledge = true;
    cam.ResetCounters();
    int32_t value = 77;
    EXPECT_EQ(link::ReadCameraRegister(12, &value), 0);
    EXPECT_EQ(value, 77);
    EXPECT_EQ(link::WriteCameraRegister(10, 9), 0);
    EXPECT_EQ(cam.counters().statusPolls, 2 * link::kRegisterAckPolls);
    EXPECT_FALSE(cam.RegisterValue(10).has_value());

    cam.faults().neverAcknowledge = false;
    EXPECT_EQ(link::WriteCameraRegister(10, 9), 1);
    EXPECT_EQ(cam.RegisterValue(10), 9);
}

// ---- Frames --------------------------------------------------------------

uint8_t Pattern(int line, int column) {
    return static_cast<uint8_t>(line * 37 + column * 11 + (column >> 3));
}

struct ModeCase {
    const char* name;
    CameraConfig config;
    uint8_t sampleMask;  // SPP carries the top five bits
};

std::vector<ModeCase> ModeCases() {
    return {
        {"Epp", Config(Attachment::Direct, true, true, true), 0xFF},
        {"Ps2", Config(Attachment::Direct, true, false, true), 0xFF},
        {"Spp", Config(Attachment::PassThrough, false, false, false), 0xF8},
    };
}

TEST_F(SimLinkTest, FramesMatchTheSourceInEveryMode) {
    constexpr int32_t kLineBytes = 42;  // stored as 40
    constexpr int32_t kStored = 40;
    constexpr int32_t kLines = 5;
    for (const ModeCase& mode : ModeCases()) {
        for (const int type : {0, 2}) {
            for (const bool thirds : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << mode.name << " type " << type << " thirds " << thirds);
                teko::api::ResetLibraryForTesting();
                CameraConfig config = mode.config;
                config.ccdType = type;
                VirtualCamera& cam = Attach(config);
                cam.SetFrameSource(Pattern);
                ASSERT_NE(link::ProbePort(kBase) & link::kCameraPresent, 0);
                link::SetExtraLeadSample(type == 2 ? 1 : 0);

                for (int frame = 0; frame < 2; ++frame) {
                    std::vector<uint8_t> buffer(kStored * kLines + 8, 0xEE);
                    link::StartFrame();
                    const int32_t ok =
                        thirds ? link::ReadFrameEveryThirdLine(kLineBytes, kLines, buffer.data())
                               : link::ReadFrame(kLineBytes, kLines, buffer.data());
                    ASSERT_EQ(ok, 1);
                    for (int j = 0; j < kLines; ++j) {
                        const int line = thirds ? 3 * j : j;
                        for (int c = 0; c < kStored; ++c)
                            ASSERT_EQ(buffer[j * kStored + c], Pattern(line, c) & mode.sampleMask)
                                << "line " << j << " column " << c;
                    }
                    EXPECT_EQ(buffer[kStored * kLines], 0xEE);
                }
                EXPECT_EQ(cam.counters().framesArmed, 2u);
                EXPECT_EQ(cam.counters().framesEnded, 2u);
                EXPECT_FALSE(cam.InterruptsMasked());
                EXPECT_GE(cam.counters().maskCalls, uint64_t{2 * kLines});
            }
        }
    }
}

TEST_F(SimLinkTest, WrongLeadCountShiftsThePicture) {
    CameraConfig config = Config(Attachment::Direct, true, true, true);
    config.ccdType = 2;
    VirtualCamera& cam = Attach(config);
    cam.SetFrameSource(Pattern);
    ASSERT_EQ(link::ProbePort(kBase), 0x86);
    link::SetExtraLeadSample(0);
    std::vector<uint8_t> buffer(16);
    link::StartFrame();
    ASSERT_EQ(link::ReadFrame(16, 1, buffer.data()), 1);
    EXPECT_EQ(buffer[0], VirtualCamera::kLeadSample);
    for (int c = 1; c < 16; ++c)
        EXPECT_EQ(buffer[c], Pattern(0, c - 1));
}

TEST_F(SimLinkTest, ReadinessAndSkippedFrames) {
    CameraConfig config = Config(Attachment::Direct, true, true, true);
    config.frameReadyPolls = 8;
    VirtualCamera& cam = Attach(config);
    cam.SetFrameSource(Pattern);
    ASSERT_EQ(link::ProbePort(kBase), 0x86);

    EXPECT_EQ(link::IsFrameReady(), 0);  // nothing armed
    link::StartFrame();
    for (int poll = 0; poll < 8; ++poll)
        EXPECT_EQ(link::IsFrameReady(), 0);
    EXPECT_EQ(link::IsFrameReady(), 1);

    link::SkipLines(240);
    EXPECT_EQ(cam.counters().framesEnded, 1u);
    EXPECT_EQ(cam.counters().linesDelivered, 240u);

    // An already waiting camera: the first line is dropped with the long skip.
    link::StartFrame();
    for (int poll = 0; poll < 9; ++poll)
        link::IsFrameReady();
    std::vector<uint8_t> buffer(8 * 3);
    ASSERT_EQ(link::ReadFrame(8, 3, buffer.data()), 1);
    for (int j = 0; j < 3; ++j)
        for (int c = 0; c < 8; ++c)
            EXPECT_EQ(buffer[j * 8 + c], Pattern(j, c));
}

TEST_F(SimLinkTest, LinesThatNeverComeTimeOut) {
    constexpr int32_t kBytes = 12;
    struct Case {
        bool thirds;
        int neverReady;  // frame-source line
        int storedBefore;
    };
    for (const Case c : {Case{false, 3, 3}, Case{true, 4, 2}, Case{true, 3, 1}}) {
        SCOPED_TRACE(testing::Message() << "thirds " << c.thirds << " line " << c.neverReady);
        teko::api::ResetLibraryForTesting();
        VirtualCamera& cam = Attach(Config(Attachment::Direct, false, false, true));
        cam.SetFrameSource(Pattern);
        ASSERT_EQ(link::ProbePort(kBase), 0x81);
        cam.faults().lineNeverReady = c.neverReady;

        std::vector<uint8_t> buffer(kBytes * 6, 0xEE);
        link::StartFrame();
        const int32_t ok = c.thirds ? link::ReadFrameEveryThirdLine(kBytes, 6, buffer.data())
                                    : link::ReadFrame(kBytes, 6, buffer.data());
        EXPECT_EQ(ok, 0);
        for (int j = 0; j < 6; ++j)
            for (int col = 0; col < kBytes; ++col)
                EXPECT_EQ(buffer[j * kBytes + col],
                          j < c.storedBefore ? Pattern(c.thirds ? 3 * j : j, col) : 0xEE);
        EXPECT_EQ(cam.counters().framesEnded, 0u);
        EXPECT_FALSE(cam.InterruptsMasked());

        // The abandoned frame does not upset the next command.
        cam.faults().lineNeverReady = -1;
        EXPECT_EQ(link::WriteCameraRegister(10, 100), 1);
        EXPECT_EQ(cam.RegisterValue(10), 100);
        link::StartFrame();
        ASSERT_EQ(link::ReadFrame(kBytes, 2, buffer.data()), 1);
        EXPECT_EQ(buffer[kBytes + 1], Pattern(1, 1));
    }
}

TEST_F(SimLinkTest, SilentCameraFailsTheFirstLine) {
    VirtualCamera& cam = Attach(Config(Attachment::Direct, true, true, true));
    ASSERT_EQ(link::ProbePort(kBase), 0x86);
    cam.faults().neverAcknowledge = true;
    std::vector<uint8_t> buffer(16, 0xEE);
    link::StartFrame();
    cam.ResetCounters();
    EXPECT_EQ(link::ReadFrame(16, 1, buffer.data()), 0);
    EXPECT_EQ(cam.counters().statusPolls, 1 + uint64_t{link::kFirstLineAckPolls});
    EXPECT_EQ(buffer, std::vector<uint8_t>(16, 0xEE));
}

}  // namespace
