// Port probe, transfer-mode detection and port release against the recording port.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "api/driver_state.h"
#include "link/link.h"
#include "link_fixture.h"

namespace teko::link::testing {
namespace {

using Attach = FakePort::Attach;

class ProbeTest : public LinkTest {};

struct ProbeCase {
    const char* name;
    Attach attach;
    uint16_t identity;
    bool ecr;
    bool eppCounts;
    bool dataEcho;
    int deafCommands;
    uint8_t flags;
    bool selectIn;         // controlShadow's SELECT IN after the probe
    size_t identityReads;  // acknowledged reads of register 12
    size_t unanswered;     // register commands that timed out
};

constexpr ProbeCase kProbeCases[] = {
    {"DirectEcpEpp", Attach::Direct, 0x3071, true, true, true, 0, 0x86, true, 1, 0},
    {"DirectSecondIdentityPs2", Attach::Direct, 0x2974, false, false, false, 0, 0x81, true, 1, 0},
    {"DirectNoEcrEpp", Attach::Direct, 0x3071, false, true, true, 0, 0x82, true, 1, 0},
    {"DirectSpp", Attach::Direct, 0x3071, false, false, true, 0, 0x88, true, 1, 0},
    {"PassThroughEcpEpp", Attach::PassThrough, 0x3071, true, true, true, 0, 0x96, false, 1, 6},
    {"PassThroughSpp", Attach::PassThrough, 0x2974, false, false, true, 0, 0x98, false, 1, 6},
    // Wrong identity on both paths in both runs: absent, SELECT IN set again.
    {"WrongIdentity", Attach::Any, 0x1234, false, true, true, 0, 0x08, true, 20, 0},
    {"NothingAttached", Attach::None, 0x3071, false, false, false, 0, 0x01, false, 0, 24},
    // Silent through the first DetectCamera run: the first run's PS/2 bit stays.
    {"AnswersInSecondRun", Attach::Direct, 0x3071, false, true, false, 6, 0x83, true, 1, 12},
};

TEST_F(ProbeTest, FlagsAndAttachmentFollowWhatAnswers) {
    for (const ProbeCase& c : kProbeCases) {
        SCOPED_TRACE(c.name);
        port = FakePort{};
        ResetForTesting();
        port.attach = c.attach;
        port.identity = c.identity;
        port.ecrPresent = c.ecr;
        port.eppCounts = c.eppCounts;
        port.dataEcho = c.dataEcho;
        port.deafCommands = c.deafCommands;

        EXPECT_EQ(ProbePort(FakePort::kBase), c.flags);
        EXPECT_EQ(State().linkFlags, c.flags);
        EXPECT_EQ((State().controlShadow & kSelectIn) != 0, c.selectIn);
        EXPECT_TRUE(HasPort());
        size_t identityReads = 0;
        for (const Transfer& t : port.transfers)
            identityReads += t.reg == 12 ? 1 : 0;
        EXPECT_EQ(identityReads, c.identityReads);
        EXPECT_EQ(port.unanswered.size(), c.unanswered);

        const std::vector<uint8_t> writes = port.ControlWrites();
        const uint8_t s = State().controlShadow;
        if ((c.flags & kCameraPresent) != 0) {
            EXPECT_EQ(writes.back(), s);  // idle
        }
        if ((c.flags & (kSppMode | kPassThrough)) == (kSppMode | kPassThrough)) {
            const std::vector<uint8_t> tail(writes.end() - 7, writes.end());
            const uint8_t high = s | kSelectIn;
            EXPECT_EQ(tail, (std::vector<uint8_t>{high, s, high, s, high, s, s}));
        }
    }
}

TEST_F(ProbeTest, DirectCameraProbeRunsItsStepsInOrder) {
    port.attach = Attach::Direct;
    port.eppCounts = true;
    ASSERT_EQ(ProbePort(FakePort::kBase), kCameraPresent | kEcpPort | kEppMode);

    const std::vector<std::string> expected = {
        "ctl?", "ecr?",                      // saved values
        "ctl?", "ecr?",   "ecr=35",          // idle lines; ECR to PS/2 byte mode
        "R12",                               // identity answered at once
        "ecr?", "ecr=15", "ecr?",            // ECR present
        "ecr?", "ecr=15", "ecr=95", "ecr?",  // to EPP through standard mode
        "R9",   "R9",     "R9",     "epp",  "R9", "epp", "epp", "R9", "W9=1",  // EPP test
    };
    EXPECT_EQ(port.events, expected);

    const std::vector<uint8_t> writes = port.ControlWrites();
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(writes[0], 0xC6);  // the port's own value, AUTOFEED 1, STROBE 0
    EXPECT_EQ(writes[1], 0xE6);  // the shadow: direction bit on
    EXPECT_EQ(writes[2], 0xEE);  // SELECT IN for a direct camera
    EXPECT_EQ(writes.back(), 0xEE);
    EXPECT_EQ(State().controlShadow, 0xEE);
    EXPECT_EQ(State().savedControl, 0xC4);
    EXPECT_EQ(State().savedEcr, 0x15);
}

TEST_F(ProbeTest, NothingAttachedCostsTwentyFourTimedOutIdentityReads) {
    port.ecrPresent = false;
    port.dataEcho = false;
    ProbePort(FakePort::kBase);
    EXPECT_EQ(port.unanswered, std::vector<int>(24, 12));
    EXPECT_EQ(port.Count(Kind::Read8, FakePort::kStatus), 24u * 300u);
    EXPECT_TRUE(port.transfers.empty());
    // Per DetectCamera run, each of two attempts: the SELECT IN write (plus
    // six wake writes on the pass-through), 6 commands of 98 + 96 writes and
    // one ResyncLink of 4 + 2 * 256 * 8 + 4 + 4 writes; plus the two set-up
    // writes and the one direction write of the PS/2 test.
    constexpr size_t kAttempt = 1 + 6 * (98 + 96) + (4 + 2 * 256 * 8 + 4 + 4);
    EXPECT_EQ(port.ControlWrites().size(), 2 + 2 * (2 * kAttempt + 6) + 1);
}

TEST_F(ProbeTest, EchoingDataRegisterIsNotPs2) {
    port.attach = Attach::Direct;
    port.ecrPresent = false;
    port.dataEcho = true;
    EXPECT_EQ(ProbePort(FakePort::kBase), kCameraPresent | kSppMode);
    std::vector<uint32_t> written;
    for (const Access& a : port.log) {
        if (a.kind == Kind::Write8 && a.port == FakePort::kData) written.push_back(a.value);
    }
    ASSERT_EQ(written.size(), 128u * 3u);
    for (size_t i = 0; i < written.size(); ++i)
        EXPECT_EQ(written[i], (i / 3) * 2);
    EXPECT_EQ(port.Count(Kind::Read8, FakePort::kData), 128u * 2u);
}

TEST_F(ProbeTest, ReleasePortRestoresControlAndEcrExactly) {
    port.attach = Attach::Direct;
    port.eppCounts = true;
    port.control = 0x4C;
    port.ecr = 0x34;
    ProbePort(FakePort::kBase);
    const uint8_t ecrAfterProbe = port.ecr;
    port.ClearLog();
    ReleasePort();
    const std::vector<Access> expected = {
        {Kind::Read8, FakePort::kEcr, ecrAfterProbe},
        {Kind::Write8, FakePort::kEcr, static_cast<uint32_t>(ecrAfterProbe & 0x1F)},
        {Kind::Write8, FakePort::kControl, 0xCC},
        {Kind::Write8, FakePort::kEcr, 0x34},
        {Kind::Write8, FakePort::kControl, 0x4C},
    };
    EXPECT_EQ(port.log, expected);
    EXPECT_EQ(port.control, 0x4C);
    EXPECT_EQ(port.ecr, 0x34);
}

TEST_F(ProbeTest, NoPortAccessBeforeAProbe) {
    uint8_t buffer[64] = {};
    int32_t result = 77;
    const std::vector<std::function<int32_t()>> operations = {
        [] { return ReleasePort(), 0; },
        [] { return SendCommand(5), 0; },
        [] { return WriteCameraRegister(10, 53); },
        [&] { return ReadCameraRegister(12, &result); },
        [] { return ReadSensorType(); },
        [] { return StartFrame(), 0; },
        [&] { return ReadFrame(8, 2, buffer); },
        [&] { return ReadFrameEveryThirdLine(8, 2, buffer); },
        [] { return SkipLines(240), 0; },
        [] { return IsFrameReady(); },
    };
    for (const auto& operation : operations)
        EXPECT_EQ(operation(), 0);
    EXPECT_EQ(result, 77);
    EXPECT_FALSE(HasPort());

    // An open with an empty port list, then a close, reaches no port either.
    const uint16_t ports[] = {0};
    api::InitTeko(ports);
    EXPECT_EQ(api::HaltTeko(), 1);
    EXPECT_TRUE(port.log.empty());
}

}  // namespace
}  // namespace teko::link::testing
