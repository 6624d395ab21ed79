// Frame data transfer: arming the camera, reading a frame line by line in
// EPP, PS/2 or SPP mode, giving up a frame, and the brightness statistics
// that the automatic exposure works from.
//
// Interrupts are masked per line, from the point where the camera starts
// clocking the line out to the end of the line routine; every exit of a line
// routine unmasks them.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "link/link.h"
#include "link/wire.h"
#include "platform/platform.h"

namespace teko::link {
namespace {

using wire::Lines;
using wire::WriteControl;
using wire::WriteControlRaw;

constexpr int32_t kDefaultShutterThreshold = 80;
std::atomic<int32_t> gShutterThreshold{kDefaultShutterThreshold};

constexpr int32_t kMinLineBytes = 4;
constexpr int32_t kMaxLineBytes = 4095;
constexpr uint32_t kLineLengthMask = ~uint32_t{3};  // whole 32-bit words
constexpr uint32_t kSampleCountMask = 0xFFF;
constexpr uint32_t kEppWordBytes = 4;
constexpr uint32_t kMaxEppWords = (kMaxLineBytes & kLineLengthMask) / kEppWordBytes;

// Hold times, in control writes.
constexpr uint32_t kLineOpenHold = 11;
constexpr uint32_t kLineDoneHold = 9;
constexpr uint32_t kEndFrameHold = 11;
constexpr uint32_t kSkipDataHold = 4;

// The dropped first sensor line: data-register reads beyond the line length,
// and the extra reads when the camera was already waiting.
constexpr uint32_t kFirstLineExtraReads = 50;
constexpr uint32_t kFirstLineLateReads = 3000;
constexpr uint32_t kDrainExtraReads = 20;

constexpr int kLeadSamples = 6;

// Statistics: a sample at or above the threshold counts 1, and 1 more when it
// is also at least this bright.
constexpr uint32_t kVeryBright = 200;
constexpr uint32_t kThresholdMask = 0xFF;

enum class LinePath { Epp, Ps2, Spp };

// SPP before PS/2 before EPP: a probe may leave more than one mode bit set.
LinePath ChoosePath(uint8_t flags) {
    if ((flags & kSppMode) != 0) return LinePath::Spp;
    if ((flags & kPs2Mode) != 0) return LinePath::Ps2;
    return LinePath::Epp;
}

// Owns the interrupt mask of one line routine: Mask() where the line starts,
// and interrupts back on whenever the routine returns.
class LineInterrupts {
  public:
    LineInterrupts() = default;
    LineInterrupts(const LineInterrupts&) = delete;
    LineInterrupts& operator=(const LineInterrupts&) = delete;
    ~LineInterrupts() { platform::MaskInterrupts(false); }
    void Mask() { platform::MaskInterrupts(true); }
};

void AddStatistics(LinkState& st, std::span<const uint8_t> line) {
    const uint32_t threshold = static_cast<uint32_t>(ShutterThreshold()) & kThresholdMask;
    uint32_t bright = 0;
    for (const uint8_t sample : line) {
        const uint32_t counts = sample >= threshold ? 1u : 0u;
        bright += counts + (counts & (sample >= kVeryBright ? 1u : 0u));
    }
    st.brightSampleCount += bright;
    st.sampleCount += static_cast<uint32_t>(line.size());
}

// Waits until the camera has the next line ready and opens it. `previous` is
// the line stored last (empty when this read has stored none yet).
bool BeginLine(LinkState& st, LineInterrupts& interrupts, std::span<const uint8_t> previous) {
    if (st.firstLinePending == 0) {
        interrupts.Mask();
        WriteControl(st, Lines::Idle);
        // Runs while the camera prepares the next line.
        AddStatistics(st, previous);
        if (!wire::WaitForAck(st, kLineAckPolls)) return false;
        WriteControl(st, Lines::Open, kLineOpenHold);
        return true;
    }

    // The frame's first sensor line is let pass unread.
    st.firstLinePending = 0;
    st.skipCount = st.lineLength + kFirstLineExtraReads;
    if (wire::AckLow(platform::In8(st.statusPort))) {
        st.skipCount += kFirstLineLateReads;
    } else if (!wire::WaitForAck(st, kFirstLineAckPolls)) {  // still exposing
        return false;
    }
    interrupts.Mask();
    WriteControl(st, Lines::Open, kLineOpenHold);
    WriteControl(st, Lines::StrobeHigh);
    for (uint32_t i = 0; i < st.skipCount; ++i)
        platform::In8(st.dataPort);
    WriteControl(st, Lines::Idle);
    if (!wire::WaitForAck(st, kLineAckPolls)) return false;
    WriteControl(st, Lines::Open, kLineOpenHold);
    return true;
}

void ReadEppSamples(const LinkState& st, uint8_t* dst, uint32_t count) {
    // Lead samples: a 16-bit and a 32-bit read, one more byte for the extra one.
    platform::In16(st.eppDataPort);
    platform::In32(st.eppDataPort);
    if (st.extraLeadSample.load(std::memory_order_relaxed) != 0) platform::In8(st.eppDataPort);

    const uint32_t words = count / kEppWordBytes;
    if (reinterpret_cast<std::uintptr_t>(dst) % alignof(uint32_t) == 0) {
        platform::In32Repeat(st.eppDataPort, reinterpret_cast<uint32_t*>(dst), words);
    } else {
        // A misaligned destination goes through an aligned copy.
        uint32_t bounce[kMaxEppWords];
        platform::In32Repeat(st.eppDataPort, bounce, words);
        std::memcpy(dst, bounce, std::size_t{words} * kEppWordBytes);
    }
}

// One software clock: AUTOFEED 1, then AUTOFEED 0 (STROBE stays 0).
inline void SampleClock(uint16_t controlPort, uint8_t idle, uint8_t open) {
    platform::Out8(controlPort, idle);
    platform::Out8(controlPort, open);
}

void ReadClockedSamples(const LinkState& st, LinePath path, uint8_t* dst, uint32_t count) {
    const uint16_t controlPort = st.controlPort;
    const uint8_t idle = wire::ControlValue(st.controlShadow, Lines::Idle);
    const uint8_t open = wire::ControlValue(st.controlShadow, Lines::Open);
    const int lead = kLeadSamples + (st.extraLeadSample.load(std::memory_order_relaxed) != 0);
    for (int i = 0; i < lead; ++i)
        SampleClock(controlPort, idle, open);

    if (path == LinePath::Ps2) {
        const uint16_t dataPort = st.dataPort;
        for (uint32_t i = 0; i < count; ++i) {
            SampleClock(controlPort, idle, open);
            dst[i] = platform::In8(dataPort);
        }
    } else {
        // Five sample bits on the status lines; BUSY is inverted at the connector.
        const uint16_t statusPort = st.statusPort;
        for (uint32_t i = 0; i < count; ++i) {
            SampleClock(controlPort, idle, open);
            dst[i] = static_cast<uint8_t>((platform::In8(statusPort) & kSppSampleBits) ^ kBusy);
        }
    }
}

void ReadLineSamples(const LinkState& st, uint8_t* dst) {
    const uint32_t count = st.lineLength & kSampleCountMask;
    const LinePath path = ChoosePath(st.linkFlags);
    if (path == LinePath::Epp) {
        ReadEppSamples(st, dst, count);
    } else {
        ReadClockedSamples(st, path, dst, count);
    }
}

// Lets the rest of an open sensor line pass unread.
void DrainLine(const LinkState& st) {
    WriteControl(st, Lines::StrobeHigh);
    const uint32_t reads = st.lineLength + kDrainExtraReads;
    for (uint32_t i = 0; i < reads; ++i)
        platform::In8(st.dataPort);
}

void EndFrame(const LinkState& st) {
    WriteControl(st, Lines::Pulse, kEndFrameHold);
    WriteControl(st, Lines::Idle, kEndFrameHold);
}

uint32_t LineLengthOf(int32_t lineBytes) {
    return static_cast<uint32_t>(lineBytes) & kLineLengthMask;
}

// Every-line variant: one sensor line, stored.
bool ReadLine(LinkState& st, int32_t lineBytes, uint8_t* dst, std::span<const uint8_t> previous) {
    st.lineLength = LineLengthOf(lineBytes);
    LineInterrupts interrupts;
    if (!BeginLine(st, interrupts, previous)) return false;
    ReadLineSamples(st, dst);
    WriteControl(st, Lines::StrobeHigh);  // the line is done
    return true;
}

// Every-third-line variant: three sensor lines, the first one stored.
bool ReadLineKeepFirstOfThree(LinkState& st, int32_t lineBytes, uint8_t* dst,
                              std::span<const uint8_t> previous) {
    st.lineLength = LineLengthOf(lineBytes);
    LineInterrupts interrupts;
    if (!BeginLine(st, interrupts, previous)) return false;
    ReadLineSamples(st, dst);
    WriteControl(st, Lines::StrobeHigh, kLineDoneHold);
    WriteControl(st, Lines::Idle);
    if (!wire::WaitForAck(st, kLineAckPolls)) return false;

    // Second sensor line, clocked past unread.
    WriteControl(st, Lines::Open, kLineOpenHold);
    WriteControl(st, Lines::StrobeHigh, kLineDoneHold);
    WriteControl(st, Lines::Idle);
    if (!wire::WaitForAck(st, kLineAckPolls)) return false;

    // Third sensor line, drained.
    WriteControl(st, Lines::Open, kLineOpenHold);
    DrainLine(st);
    WriteControl(st, Lines::StrobeHigh);
    return true;
}

using LineRoutine = bool (*)(LinkState&, int32_t, uint8_t*, std::span<const uint8_t>);

int32_t ReadFrameWith(LineRoutine readLine, int32_t lineBytes, int32_t lineCount, uint8_t* buffer,
                      int32_t* linesRead) {
    if (linesRead != nullptr) *linesRead = 0;
    if (!HasPort() || buffer == nullptr || lineBytes < kMinLineBytes || lineBytes > kMaxLineBytes ||
        lineCount < 1) {
        return 0;
    }
    LinkState& st = State();
    const std::size_t lineLength = LineLengthOf(lineBytes);
    for (int32_t line = 0; line < lineCount; ++line) {
        uint8_t* dst = buffer + static_cast<std::size_t>(line) * lineLength;
        // The statistics look back only at lines this read has stored.
        const std::span<const uint8_t> previous =
            line == 0 ? std::span<const uint8_t>{}
                      : std::span<const uint8_t>{dst - lineLength, lineLength};
        if (!readLine(st, lineBytes, dst, previous)) return 0;
        if (linesRead != nullptr) *linesRead = line + 1;
    }
    EndFrame(st);
    return 1;
}

}  // namespace

void StartFrame() {
    if (!HasPort()) return;
    SendCommand(static_cast<int32_t>(Register::StartFrame));  // no acknowledge, no data
    LinkState& st = State();
    st.firstLinePending = 1;
    st.brightSampleCount = 0;
    st.sampleCount = 0;
}

int32_t ReadFrame(int32_t lineBytes, int32_t lineCount, uint8_t* buffer, int32_t* linesRead) {
    return ReadFrameWith(ReadLine, lineBytes, lineCount, buffer, linesRead);
}

int32_t ReadFrameEveryThirdLine(int32_t lineBytes, int32_t lineCount, uint8_t* buffer,
                                int32_t* linesRead) {
    return ReadFrameWith(ReadLineKeepFirstOfThree, lineBytes, lineCount, buffer, linesRead);
}

void SkipLines(int32_t count) {
    if (!HasPort()) return;
    const LinkState& st = State();
    const uint8_t open = wire::ControlValue(st.controlShadow, Lines::Open);
    for (int32_t line = 0; line < count; ++line) {
        if (!wire::WaitForAck(st, kLineAckPolls)) return;
        WriteControlRaw(st, open, kLineOpenHold);
        // A hold: with the direction bit set the data lines do not follow.
        for (uint32_t i = 0; i < kSkipDataHold; ++i)
            platform::Out8(st.dataPort, open);
        WriteControl(st, Lines::StrobeHigh, kLineDoneHold);
        WriteControl(st, Lines::Idle);
    }
    if (!wire::WaitForAck(st, kLineAckPolls)) return;
    EndFrame(st);
}

int32_t IsFrameReady() {
    if (!HasPort()) return 0;
    return wire::AckLow(platform::In8(State().statusPort)) ? 1 : 0;
}

void SetShutterThreshold(int32_t value) {
    gShutterThreshold.store(value, std::memory_order_relaxed);
}

int32_t ShutterThreshold() {
    return gShutterThreshold.load(std::memory_order_relaxed);
}

void ResetForTesting() {
    State().Reset();
    gShutterThreshold.store(kDefaultShutterThreshold, std::memory_order_relaxed);
}

}  // namespace teko::link
