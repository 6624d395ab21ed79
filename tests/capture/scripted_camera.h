// A small scripted camera on the port seam for the capture tests. It decodes
// the register protocol from the control writes (windows opened by AUTOFEED 0,
// pulses on STROBE), answers the acknowledge waits as told, hands out one
// sample value on every data-register read, and keeps an ordered log of what
// happened on the wire (runs of data-register traffic as one entry) together with the filter runs
// of the test stack.
#pragma once

#include <atomic>
#include <cstdint>
#include <set>
#include <vector>

#include "link/link.h"
#include "pipeline/filter.h"
#include "teko32/teko32_ext.h"

namespace teko::testing {

enum class Wire : uint8_t {
    StartFrame,       // the start-frame command
    RegisterWrite,    // acknowledged write, with register and value
    RegisterRefused,  // command sent, acknowledge withheld
    SkipLine,         // data-register holds of skipped lines
    SampleRead,       // data-register reads of a frame
    FilterRun,        // the test stack's output stage ran
};

struct WireEvent {
    Wire kind;
    int32_t reg = 0;
    int32_t value = 0;
    bool operator==(const WireEvent&) const = default;
};

class ScriptedCamera {
  public:
    static constexpr uint16_t kBase = 0x378;

    // Installs the port table and sets the link up as if a probe had found
    // a directly attached camera with PS/2 transfers.
    ScriptedCamera();
    ~ScriptedCamera();
    ScriptedCamera(const ScriptedCamera&) = delete;
    ScriptedCamera& operator=(const ScriptedCamera&) = delete;

    // What the camera does.
    std::set<int32_t> refusedRegisters;  // register commands left unacknowledged
    bool lineReady = true;               // ACK low outside register transfers
    uint8_t sample = 40;

    // What it saw.
    std::vector<WireEvent> events;
    uint64_t portAccesses = 0;
    uint64_t statusReads = 0;
    uint64_t skipLineWrites = 0;
    bool interruptsMasked = false;

    std::vector<WireEvent> RegisterWrites() const;
    void Clear() { events.clear(); }
    void Log(WireEvent event);

    static ScriptedCamera* Current();

    // Port callbacks (the TekoPortIo functions forward here).
    uint8_t Read8(uint16_t port);
    void Write8(uint16_t port, uint8_t value);
    uint16_t Read16(uint16_t port);
    uint32_t Read32(uint16_t port);
    void Read32Repeat(uint16_t port, uint32_t* dst, uint32_t count);
    void MaskInterrupts(int masked);

  private:
    void OnControl(uint8_t value);
    void OnWindow(int32_t pulses);

    enum class Phase { Idle, Number, Data };
    uint8_t control_ = link::kAutofeed;
    bool windowOpen_ = false;
    int32_t pulses_ = 0;
    Phase phase_ = Phase::Idle;
    int32_t command_ = 0;
    int32_t bitsSeen_ = 0;
    int32_t value_ = 0;
    bool awaitingRegisterAck_ = false;
};

// An output stage that records its run and fills the destination with one
// byte value per frame (the number of the run), kFrameBytes bytes.
// While `hold` is set a run waits inside Process, so that a test can act
// during a capture.
class RecordingStage : public pipeline::CFilter {
  public:
    static constexpr int32_t kFrameBytes = 48;
    void Process(uint8_t*& current) override;
    std::atomic<int32_t> runs{0};
    std::atomic<bool> hold{false};
    std::atomic<int32_t> inside{0};
    std::atomic<int32_t> maxInside{0};
};

// Sets up a sized test stack: a raw frame of rawWidth x rawHeight bytes and
// a RecordingStage as the only filter. Returns the stage.
RecordingStage* InstallTestStack(int32_t rawWidth, int32_t rawHeight);

}  // namespace teko::testing
