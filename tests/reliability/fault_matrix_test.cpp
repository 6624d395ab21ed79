// Every way the camera or the port can fail, through the exported entries:
// what each entry returns and shows, the state it leaves, that interrupts are
// unmasked again, that every wait ends at its poll limit, and that the
// library captures normally again once the fault is gone.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "api/driver_state.h"
#include "link/link.h"
#include "pipeline/pipeline.h"
#include "support/library_fixture.h"
#include "support/message_recorder.h"
#include "support/row_size.h"
#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"
#include "teko32sim/virtual_camera.h"

namespace {

using teko::sim::Attachment;
using teko::sim::Faults;

enum class Transfer { Epp, Ps2, Spp };
// When the fault starts: before InitTeko, before SetFrameSize or before the capture.
enum class Phase { Probe, Size, Capture };
// Where the camera is.
enum class Camera { OnPort, Absent, PassThrough, NoEcr };
// The frame line that never becomes ready, as a position among the stored lines.
enum class Line { None, First, Middle, Last };

constexpr uint16_t kPort = 0x378;
constexpr uint16_t kOtherPort = 0x278;
constexpr int32_t kWidth = 160;
constexpr int32_t kHeight = 120;
constexpr int32_t kDepth = 24;
constexpr auto kRowBytes = static_cast<int32_t>(teko::testing::PaddedRowBytes(3, kWidth));
constexpr uint8_t kFill = 0xA5;
constexpr int kThirdLine = 3;

constexpr const char* kShutterFail = "Set ShutterSpeed Fail!";
constexpr const char* kBrightnessFail = "Set BrightNess Fail!";
constexpr const char* kTopFail = "Set TopOffset Fail!";
constexpr const char* kLeftFail = "Set LeftOffset Fail!";
constexpr const char* kRightFail = "Set RightOffset Fail!";

struct Row {
    const char* name;
    Camera camera;
    Transfer transfer;
    int32_t allLines;
    Phase phase;
    Faults faults;
    Line line;
    bool present;         // the probe finds the camera
    int32_t sized;        // SetFrameSize's result
    int32_t captured;     // CaptureFrameWait's result
    const char* message;  // the one message shown, or nullptr
    bool shutterPending;  // after the capture
    bool brightnessPending;
};

constexpr Faults kNone{};
constexpr Faults Refuse(int reg, int count) {
    return {false, reg, count, -1, false};
}
constexpr Faults kSilent{true, -1, 0, -1, false};
constexpr Faults kWrongId{false, -1, 0, -1, true};

constexpr Transfer E = Transfer::Epp;
constexpr Transfer P = Transfer::Ps2;
constexpr Transfer S = Transfer::Spp;

// clang-format off
const Row kRows[] = {
    // name                 camera               xfer all phase           faults            line           present sized cap message          shutter bright
    {"Healthy",             Camera::OnPort,      E, 1, Phase::Capture, kNone,            Line::None,    true,  1, 1, nullptr,         false, false},
    {"NoCamera",            Camera::Absent,      E, 1, Phase::Probe,   kNone,            Line::None,    false, 0, 0, kTopFail,        true,  true},
    {"PassThroughSilent",   Camera::PassThrough, E, 1, Phase::Probe,   kSilent,          Line::None,    false, 0, 0, kTopFail,        true,  true},
    {"WrongIdentity",       Camera::OnPort,      E, 1, Phase::Probe,   kWrongId,         Line::None,    false, 0, 0, kTopFail,        true,  true},
    {"NoEcr",               Camera::NoEcr,       E, 1, Phase::Probe,   kNone,            Line::None,    true,  1, 1, nullptr,         false, false},
    {"PassThroughLine",     Camera::PassThrough, S, 0, Phase::Capture, kNone,            Line::Middle,  true,  1, 1, nullptr,         false, false},
    {"PassThroughShutter",  Camera::PassThrough, P, 1, Phase::Capture, Refuse(10, 1),    Line::None,    true,  1, 0, kShutterFail,    true,  true},
    {"SilentAfterProbe",    Camera::OnPort,      E, 1, Phase::Size,    kSilent,          Line::None,    true,  0, 0, kTopFail,        true,  true},
    {"SilentAtCapture",     Camera::OnPort,      E, 1, Phase::Capture, kSilent,          Line::None,    true,  1, 0, kShutterFail,    true,  true},
    {"Top1",                Camera::OnPort,      E, 1, Phase::Size,    Refuse(5, 1),     Line::None,    true,  1, 1, nullptr,         false, false},
    {"Top4",                Camera::OnPort,      E, 1, Phase::Size,    Refuse(5, 4),     Line::None,    true,  1, 1, nullptr,         false, false},
    {"Top5",                Camera::OnPort,      E, 1, Phase::Size,    Refuse(5, 5),     Line::None,    true,  0, 0, kTopFail,        true,  true},
    {"Left1",               Camera::OnPort,      E, 1, Phase::Size,    Refuse(6, 1),     Line::None,    true,  0, 0, kLeftFail,       true,  true},
    {"Left4",               Camera::OnPort,      E, 1, Phase::Size,    Refuse(6, 4),     Line::None,    true,  0, 0, kLeftFail,       true,  true},
    {"Left5",               Camera::OnPort,      E, 1, Phase::Size,    Refuse(6, 5),     Line::None,    true,  0, 0, kLeftFail,       true,  true},
    {"Right1",              Camera::OnPort,      E, 1, Phase::Size,    Refuse(7, 1),     Line::None,    true,  0, 0, kRightFail,      true,  true},
    {"Right4",              Camera::OnPort,      E, 1, Phase::Size,    Refuse(7, 4),     Line::None,    true,  0, 0, kRightFail,      true,  true},
    {"Right5",              Camera::OnPort,      E, 1, Phase::Size,    Refuse(7, 5),     Line::None,    true,  0, 0, kRightFail,      true,  true},
    {"Brightness1",         Camera::OnPort,      E, 1, Phase::Capture, Refuse(8, 1),     Line::None,    true,  1, 0, kBrightnessFail, false, true},
    {"Brightness4",         Camera::OnPort,      E, 1, Phase::Capture, Refuse(8, 4),     Line::None,    true,  1, 0, kBrightnessFail, false, true},
    {"Brightness5",         Camera::OnPort,      E, 1, Phase::Capture, Refuse(8, 5),     Line::None,    true,  1, 0, kBrightnessFail, false, true},
    {"Shutter1",            Camera::OnPort,      E, 1, Phase::Capture, Refuse(10, 1),    Line::None,    true,  1, 0, kShutterFail,    true,  true},
    {"Shutter4",            Camera::OnPort,      E, 1, Phase::Capture, Refuse(10, 4),    Line::None,    true,  1, 0, kShutterFail,    true,  true},
    {"Shutter5",            Camera::OnPort,      E, 1, Phase::Capture, Refuse(10, 5),    Line::None,    true,  1, 0, kShutterFail,    true,  true},
    {"EppAllFirst",         Camera::OnPort,      E, 1, Phase::Capture, kNone,            Line::First,   true,  1, 1, nullptr,         false, false},
    {"EppAllMiddle",        Camera::OnPort,      E, 1, Phase::Capture, kNone,            Line::Middle,  true,  1, 1, nullptr,         false, false},
    {"EppAllLast",          Camera::OnPort,      E, 1, Phase::Capture, kNone,            Line::Last,    true,  1, 1, nullptr,         false, false},
    {"EppThirdFirst",       Camera::OnPort,      E, 0, Phase::Capture, kNone,            Line::First,   true,  1, 1, nullptr,         false, false},
    {"EppThirdMiddle",      Camera::OnPort,      E, 0, Phase::Capture, kNone,            Line::Middle,  true,  1, 1, nullptr,         false, false},
    {"EppThirdLast",        Camera::OnPort,      E, 0, Phase::Capture, kNone,            Line::Last,    true,  1, 1, nullptr,         false, false},
    {"Ps2AllFirst",         Camera::OnPort,      P, 1, Phase::Capture, kNone,            Line::First,   true,  1, 1, nullptr,         false, false},
    {"Ps2AllMiddle",        Camera::OnPort,      P, 1, Phase::Capture, kNone,            Line::Middle,  true,  1, 1, nullptr,         false, false},
    {"Ps2AllLast",          Camera::OnPort,      P, 1, Phase::Capture, kNone,            Line::Last,    true,  1, 1, nullptr,         false, false},
    {"Ps2ThirdFirst",       Camera::OnPort,      P, 0, Phase::Capture, kNone,            Line::First,   true,  1, 1, nullptr,         false, false},
    {"Ps2ThirdMiddle",      Camera::OnPort,      P, 0, Phase::Capture, kNone,            Line::Middle,  true,  1, 1, nullptr,         false, false},
    {"Ps2ThirdLast",        Camera::OnPort,      P, 0, Phase::Capture, kNone,            Line::Last,    true,  1, 1, nullptr,         false, false},
    {"SppAllFirst",         Camera::OnPort,      S, 1, Phase::Capture, kNone,            Line::First,   true,  1, 1, nullptr,         false, false},
    {"SppAllMiddle",        Camera::OnPort,      S, 1, Phase::Capture, kNone,            Line::Middle,  true,  1, 1, nullptr,         false, false},
    {"SppAllLast",          Camera::OnPort,      S, 1, Phase::Capture, kNone,            Line::Last,    true,  1, 1, nullptr,         false, false},
    {"SppThirdFirst",       Camera::OnPort,      S, 0, Phase::Capture, kNone,            Line::First,   true,  1, 1, nullptr,         false, false},
    {"SppThirdMiddle",      Camera::OnPort,      S, 0, Phase::Capture, kNone,            Line::Middle,  true,  1, 1, nullptr,         false, false},
    {"SppThirdLast",        Camera::OnPort,      S, 0, Phase::Capture, kNone,            Line::Last,    true,  1, 1, nullptr,         false, false},
};
// clang-format on

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

teko::sim::CameraConfig ConfigFor(const Row& row) {
    teko::sim::CameraConfig config;
    config.port.epp = row.transfer == Transfer::Epp;
    config.port.ps2 = row.transfer != Transfer::Spp;
    if (row.camera == Camera::Absent) config.base = kOtherPort;
    if (row.camera == Camera::PassThrough) config.attachment = Attachment::PassThrough;
    if (row.camera == Camera::NoEcr) config.port.ecr = false;
    return config;
}

// Frame-source line of the row's never-ready line, once the frame is sized.
int SourceLine(const Row& row) {
    const int stored = teko::pipeline::RawHeight();
    int index = 0;
    switch (row.line) {
        case Line::None:
            return -1;
        case Line::First:
            index = 0;
            break;
        case Line::Middle:
            index = stored / 2;
            break;
        case Line::Last:
            index = stored - 1;
            break;
    }
    return row.allLines != 0 ? index : kThirdLine * index;
}

// Raw lines the row's capture stores complete (the frame being sized).
uint32_t LinesRead(const Row& row) {
    const int stored = teko::pipeline::RawHeight();
    if (row.phase == Phase::Capture && row.faults.neverAcknowledge) return 0;
    switch (row.line) {
        case Line::None:
            return static_cast<uint32_t>(stored);
        case Line::First:
            return 0;
        case Line::Middle:
            return static_cast<uint32_t>(stored / 2);
        case Line::Last:
            return static_cast<uint32_t>(stored - 1);
    }
    return 0;
}

TekoCaptureStatus CaptureStatus() {
    TekoCaptureStatus status{};
    status.size = sizeof status;
    EXPECT_EQ(TekoGetCaptureStatus(&status), 1);
    return status;
}

// Longest a call may poll: every register transfer at its limit, the exposure
// wait, one line wait, and the polls of a whole healthy frame (the SPP samples
// arrive on the status lines).
constexpr uint64_t kRegisterTransfersPerCall = 16;
constexpr uint64_t kHealthyFramePolls = 4ull * kRowBytes * kHeight + 4096;
constexpr uint64_t kPollLimitPerCall = kRegisterTransfersPerCall * teko::link::kRegisterAckPolls +
                                       teko::link::kFirstLineAckPolls + teko::link::kLineAckPolls +
                                       kHealthyFramePolls;

class FaultMatrixTest : public teko::testing::LibraryTest,
                        public ::testing::WithParamInterface<Row> {
  protected:
    void TearDown() override {
        HaltTeko(0);
        LibraryTest::TearDown();
        camera.reset();
    }

    std::vector<std::string> Expected(const char* message) const {
        if (message == nullptr) return {};
        return {std::string("NOTE: ") + message};
    }

    // Polls of one entry call, checked against the limit; the wait for an
    // answer that never comes runs to its limit (at least `least` polls).
    template <typename Call>
    auto Polled(const char* what, Call call, uint64_t least = 0) {
        const uint64_t before = camera->counters().statusPolls;
        auto result = call();
        const uint64_t polls = camera->counters().statusPolls - before;
        EXPECT_LE(polls, kPollLimitPerCall) << what;
        EXPECT_GE(polls, least) << what;
        return result;
    }

    void ExpectInterruptsBalanced() {
        const teko::sim::Counters& c = camera->counters();
        EXPECT_FALSE(camera->InterruptsMasked());
        EXPECT_TRUE(c.unmaskCalls == c.maskCalls || c.unmaskCalls == c.maskCalls + 1)
            << c.maskCalls << " masks, " << c.unmaskCalls << " unmasks";
    }

    std::unique_ptr<teko::sim::VirtualCamera> camera;
    teko::testing::MessageRecorder messages;
};

TEST_P(FaultMatrixTest, FailsSoundlyAndRecovers) {
    const Row& row = GetParam();
    camera = std::make_unique<teko::sim::VirtualCamera>(ConfigFor(row));
    ASSERT_TRUE(camera->Install());
    messages.Install();
    if (row.phase == Phase::Probe) camera->SetFaults(row.faults);

    const uint16_t ports[] = {kPort, 0};
    EXPECT_EQ(Polled("InitTeko", [&] { return InitTeko(ports); }), TEKO32_INIT_RESULT);
    EXPECT_EQ((teko::link::State().linkFlags & teko::link::kCameraPresent) != 0, row.present);
    if (row.phase == Phase::Size) camera->SetFaults(row.faults);

    InitFilterStack(0, row.allLines, 0);
    EXPECT_EQ(Polled("SetFrameSize", [] { return SetFrameSize(kWidth, kHeight, kDepth); }),
              row.sized);
    EXPECT_EQ(teko::pipeline::BuffersReady(), row.sized == 1);
    if (row.phase == Phase::Capture) {
        Faults faults = row.faults;
        faults.lineNeverReady = SourceLine(row);
        camera->SetFaults(faults);
    }

    std::vector<uint8_t> buffer(static_cast<std::size_t>(kRowBytes) * kHeight, kFill);
    const std::vector<uint8_t> before = buffer;
    uint64_t least = 0;
    if (row.line != Line::None) least = teko::link::kLineAckPolls;
    if (row.phase == Phase::Capture && row.faults.neverAcknowledge) {
        least = teko::link::kFirstLineAckPolls;
    }
    EXPECT_EQ(Polled(
                  "CaptureFrameWait", [&] { return CaptureFrameWait(buffer.data()); }, least),
              row.captured);
    EXPECT_EQ(messages.Lines(), Expected(row.message));
    EXPECT_EQ(buffer == before, row.captured == 0)
        << "a failed capture must leave the buffer, a successful one fill it";
    EXPECT_EQ(teko::api::Settings().shutter.Load().pending, row.shutterPending);
    EXPECT_EQ(teko::api::Settings().brightness.Load().pending, row.brightnessPending);
    EXPECT_EQ(teko::api::Driver().framePending, 0);
    ExpectInterruptsBalanced();

    // The status tells a short frame from a whole one, and a capture that
    // reached the camera (the picture sized) from one refused before it.
    const bool attempted = row.sized == 1;
    const TekoCaptureStatus status = CaptureStatus();
    const uint32_t expectedLines =
        attempted ? static_cast<uint32_t>(teko::pipeline::RawHeight()) : 0;
    const uint32_t linesRead = attempted ? LinesRead(row) : 0;
    EXPECT_EQ(status.frames, attempted && row.captured == 1 ? 1u : 0u);
    EXPECT_EQ(status.failures, attempted && row.captured == 0 ? 1u : 0u);
    EXPECT_EQ(status.linesExpected, expectedLines);
    EXPECT_EQ(status.linesRead, linesRead);
    EXPECT_EQ(status.incompleteFrames, status.frames == 1 && linesRead < expectedLines ? 1u : 0u);
    EXPECT_STREQ(status.lastMessage, row.message != nullptr ? row.message : "");

    // With the fault gone, a camera the probe found works again, and the
    // writes that failed are made.
    if (!row.present) return;
    camera->SetFaults(kNone);
    messages.Clear();
    if (row.sized == 0) {
        ASSERT_EQ(SetFrameSize(kWidth, kHeight, kDepth), 1);
    }
    camera->ClearRegisterLog();
    EXPECT_EQ(Polled("CaptureFrameWait", [&] { return CaptureFrameWait(buffer.data()); }), 1);
    EXPECT_EQ(messages.Lines(), std::vector<std::string>{});
    EXPECT_FALSE(teko::api::Settings().shutter.Load().pending);
    EXPECT_FALSE(teko::api::Settings().brightness.Load().pending);
    bool shutterWritten = false;
    bool brightnessWritten = false;
    for (const auto& [reg, value] : camera->RegisterLog()) {
        shutterWritten |= reg == static_cast<int>(teko::link::Register::ShutterSpeed);
        brightnessWritten |= reg == static_cast<int>(teko::link::Register::BrightNess);
    }
    EXPECT_TRUE(shutterWritten);
    EXPECT_EQ(brightnessWritten, row.brightnessPending);
    ExpectInterruptsBalanced();
    const TekoCaptureStatus recovered = CaptureStatus();
    EXPECT_EQ(recovered.frames, status.frames + 1);
    EXPECT_EQ(recovered.incompleteFrames, status.incompleteFrames);
    EXPECT_EQ(recovered.linesRead, recovered.linesExpected);
    EXPECT_EQ(recovered.linesExpected, static_cast<uint32_t>(teko::pipeline::RawHeight()));
}

std::string RowName(const ::testing::TestParamInfo<Row>& row) {
    return row.param.name;
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrixTest, ::testing::ValuesIn(kRows), RowName);

}  // namespace
