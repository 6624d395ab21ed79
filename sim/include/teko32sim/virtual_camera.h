// The virtual camera: a model of the camera and of the parallel port it hangs
// on, seen through the library's port seam (TekoPortIo). Install it with
// Install() (or TekoSetPortIo(&camera.PortIo())) and the library talks to it
// exactly as it would to the real device.
//
// It decodes the control-line traffic (command windows, register transfers,
// frame lines, end of frame), answers on ACK, delivers frame samples in EPP,
// PS/2 and SPP modes, and records what the library did for tests and tools.
// See sim/README.md for the behaviour it chooses where the wire leaves room.
//
// Threads: one thread at a time drives the port (the library guarantees that).
// Set-up calls (SetFrameSource, faults(), ResetCounters ...) and the plain
// observers must not overlap port traffic from another thread; SetFaults(),
// FramesArmed() and FramesEnded() may be called from any thread at any time.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "teko32/teko32_ext.h"
#include "teko32sim/scene.h"

namespace teko::sim {

// How the camera is attached to the port.
enum class Attachment {
    Direct,       // answers while SELECT IN is 1
    PassThrough,  // answers only after the SELECT IN wake sequence, while SELECT IN is 0
};

// What the port itself can do.
struct PortCapabilities {
    bool ecr = true;  // an extended control register at base + 0x402 (else it reads 0xFF)
    bool epp = true;  // EPP read cycles at base + 4 reach the camera (else they read 0xFF)
    bool ps2 = true;  // the data lines turn to inputs with the direction bit (else the
                      // data register reads back what was written)
};

// Faults; every field may be changed between accesses.
struct Faults {
    bool neverAcknowledge = false;  // ACK never asserted (registers, lines, frames)
    int refuseRegister = -1;        // transfers of this register are not acknowledged ...
    int refuseCount = 0;            // ... this many times (counts down)
    int lineNeverReady = -1;        // this frame line never becomes ready (see README)
    bool wrongIdentity = false;     // register 12 answers kWrongIdentity
};

struct CameraConfig {
    uint16_t base = 0x378;  // the port base the camera answers at
    Attachment attachment = Attachment::Direct;
    PortCapabilities port;
    uint16_t identity = 0x3071;  // what register 12 answers (0x3071 or 0x2974)
    int ccdType = 0;             // low nibble of register 9; type 2 puts 7 lead samples
    Faults faults;
    // Timing, in status-register reads: how many reads still show ACK released
    // before the camera answers.
    uint32_t registerAckPolls = 0;  // after the number window of a register transfer
    uint32_t frameReadyPolls = 8;   // after the start-frame command (the exposure)
    uint32_t lineReadyPolls = 0;    // after the end of a line, for the next one
};

// Registers the camera decodes (command numbers below this).
inline constexpr int kCameraRegisters = 32;

struct Counters {
    uint64_t reads = 0;           // read accesses of any width; a repeated read counts per word
    uint64_t writes = 0;          // write accesses
    uint64_t statusPolls = 0;     // reads of the status register
    uint64_t eppReads = 0;        // EPP read cycles (one per byte) that reached the port
    uint64_t maskCalls = 0;       // maskInterrupts(1)
    uint64_t unmaskCalls = 0;     // maskInterrupts(0)
    uint64_t framesArmed = 0;     // start-frame commands
    uint64_t framesEnded = 0;     // end-of-frame handshakes
    uint64_t linesDelivered = 0;  // lines opened by the library (the dropped first line too)
    // Per register: transfers the library started, and of those the ones left
    // unacknowledged (a fault).
    std::array<uint64_t, kCameraRegisters> commands{};
    std::array<uint64_t, kCameraRegisters> refusals{};
};

// Raw 8-bit sample at (line, column) of the frame: line 0 is the first line
// the library stores, column 0 the first sample after the lead samples.
using FrameSource = std::function<uint8_t(int line, int column)>;

class VirtualCamera {
  public:
    static constexpr uint16_t kWrongIdentity = 0x3070;
    static constexpr uint8_t kLeadSample = 0;  // value of the lead samples of each line

    explicit VirtualCamera(const CameraConfig& config = {});
    VirtualCamera(const VirtualCamera&) = delete;
    VirtualCamera& operator=(const VirtualCamera&) = delete;

    // The port table, with context = this.
    TekoPortIo PortIo();
    // Installs PortIo() with TekoSetPortIo; uninstall with TekoSetPortIo(nullptr).
    bool Install();

    const CameraConfig& config() const { return config_; }
    // Answers `type` in the low nibble of register 9 from now on (with the
    // lead samples of that type), as if another sensor had been fitted.
    void SetSensorType(int type);
    Faults& faults() { return faults_; }
    // Thread-safe replacement of the faults; takes effect at the next port access.
    void SetFaults(const Faults& faults);

    // Replaces the picture with raw samples; nullptr goes back to the scene.
    void SetFrameSource(FrameSource source);

    // The scene the sensor sees (the built-in one at power-up). Frames render
    // it through the sensor window (registers 5, 6) and the exposure
    // (registers 10 and 8) latched when the frame is armed.
    void UseBuiltInScene();
    void SetScene(SceneImage scene);
    // False, with the reason in *error, when the file is not a readable PNG;
    // the scene is then unchanged.
    bool LoadScenePng(const std::string& path, std::string* error = nullptr);
    // The scene as the last armed frame saw it (the built-in one with its
    // moving square at that frame).
    SceneImage Scene() const;
    // The raw sample at a sensor position for the exposure registers as they
    // stand now (0 outside the sensor).
    uint8_t SensorSample(int row, int column) const;
    int SensorLines() const;

    const Counters& counters() const { return counters_; }
    void ResetCounters();
    uint64_t FramesArmed() const { return framesArmed_.load(std::memory_order_relaxed); }
    uint64_t FramesEnded() const { return framesEnded_.load(std::memory_order_relaxed); }

    // The last value written to a register (16 bits), if any.
    std::optional<int32_t> RegisterValue(int reg) const;
    // Every register write, in order: (register, value).
    const std::vector<std::pair<int, int32_t>>& RegisterLog() const { return registerLog_; }
    void ClearRegisterLog() { registerLog_.clear(); }
    bool InterruptsMasked() const { return interruptsMasked_; }
    // The count in bits 15..8 of register 9.
    uint8_t EppCycleCount() const { return eppCount_; }
    // Port register contents, for checking what the library leaves behind.
    uint8_t ControlRegister() const { return control_; }
    uint8_t EcrRegister() const { return ecr_; }

    // Port access (the TekoPortIo callbacks forward here).
    uint8_t Read8(uint16_t port);
    void Write8(uint16_t port, uint8_t value);
    uint16_t Read16(uint16_t port);
    uint32_t Read32(uint16_t port);
    void Read32Repeat(uint16_t port, uint32_t* dst, uint32_t count);
    void MaskInterrupts(bool masked);

  private:
    enum class Command { Idle, Sync, Data, Closing };
    enum class Line { None, Waiting, Open };

    void ApplyPendingFaults();
    bool Listening() const;
    bool windowOpen() const { return !autofeed_; }
    void TrackSelectIn(bool selectIn);
    void OnControl(uint8_t value);
    void OnWindowClosed();
    void OnCommand(int number);
    uint16_t ReadableValue(int reg) const;
    void AssertAckAfter(uint32_t polls);
    void ReleaseAck();
    uint8_t ReadStatus();
    uint8_t EppCycle();
    uint8_t NextSample();
    void LatchExposure();
    void RenderLine();
    uint8_t RenderSample(int row, int column, int shutter, int offset) const;

    CameraConfig config_;
    Faults faults_;
    std::mutex faultsMutex_;
    std::atomic<bool> faultsChanged_{false};
    Faults pendingFaults_;
    FrameSource source_;

    // Port registers.
    uint8_t data_ = 0;
    uint8_t control_;
    uint8_t ecr_;

    // Pass-through wake detector.
    bool awake_ = false;
    bool lastSelectIn_;
    int selectHighRun_ = 0;
    int wakePulses_ = 0;

    // Control lines as the camera last saw them.
    bool strobe_ = false;
    bool autofeed_ = true;

    // Command decoder.
    Command command_ = Command::Idle;
    int pulses_ = 0;
    int commandRegister_ = 0;
    int dataBit_ = 0;
    uint16_t shiftIn_ = 0;
    uint16_t shiftOut_ = 0;

    // ACK line: asserted once ackCountdown_ status reads have passed.
    bool ackPending_ = false;
    bool ackAsserted_ = false;
    bool ackBit_ = true;  // level during a register data window (1 = released)
    bool dataWindow_ = false;
    uint32_t ackCountdown_ = 0;

    // Frame.
    Line line_ = Line::None;
    int lineIndex_ = 0;  // lines since the start-frame command; 0 is dropped by the library
    int samplePos_ = 0;  // next sample of the open line's stream
    uint8_t presented_ = kLeadSample;
    bool samplePhase_ = false;  // status and data lines carry the presented sample
    int leadSamples_;

    // Scene: cells at the reference exposure, one per scene pixel.
    bool builtIn_ = true;
    std::shared_ptr<const SceneImage> scene_;
    std::shared_ptr<const std::vector<MosaicCell>> cells_;
    MosaicCell moverCell_;
    int moverX_ = 0;
    // Latched at the start-frame command.
    int topRow_ = 0;
    int leftColumn_ = 0;
    int shutter_ = 0;
    int offset_ = 0;
    std::array<uint8_t, 510> lineSamples_{};  // the open line, from the window's first column

    uint8_t eppCount_ = 0;
    uint16_t registers_[32] = {};
    bool written_[32] = {};
    std::vector<std::pair<int, int32_t>> registerLog_;
    bool interruptsMasked_ = false;
    Counters counters_;
    std::atomic<uint64_t> framesArmed_{0};
    std::atomic<uint64_t> framesEnded_{0};
};

}  // namespace teko::sim
