// A recording parallel port for the link tests. Every access is logged as
// (kind, port, value). Reads are answered from a small model:
//  - a camera that decodes the serial register protocol from the STROBE and
//    AUTOFEED writes (sync window, number window, 16 data windows and a
//    closing window) and answers on ACK when it is attached the way the
//    SELECT IN line says (directly, or behind a pass-through once woken);
//  - register 9's high byte counting EPP byte reads when asked to;
//  - an ECR that is present or reads 0xFF;
//  - a data register that echoes what was written or, with the direction
//    bit set, reads its input;
//  - scripted status, data and EPP answers for the frame transfer.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "teko32/teko32_ext.h"

namespace teko::link::testing {

enum class Kind : uint8_t { Read8, Write8, Read16, Read32, Read32Repeat, Mask };

struct Access {
    Kind kind;
    uint16_t port;
    uint32_t value;  // value written or answered; word count of a repeated read; mask flag
    bool operator==(const Access&) const = default;
};

// A run of identical accesses.
struct Run {
    Access access;
    uint32_t count;
    bool operator==(const Run&) const = default;
};

// One register transfer as the camera decoded it.
struct Transfer {
    int reg = 0;
    bool read = false;           // status reads came inside the data windows
    uint32_t value = 0;          // value written (data-window pulses) or answered
    uint32_t pulsedWindows = 0;  // bit k: data window k carried a pulse
    bool closingPulse = false;
};

class FakePort {
  public:
    static constexpr uint16_t kBase = 0x378;
    static constexpr uint16_t kData = kBase;
    static constexpr uint16_t kStatus = kBase + 1;
    static constexpr uint16_t kControl = kBase + 2;
    static constexpr uint16_t kEppData = kBase + 4;
    static constexpr uint16_t kEcr = kBase + 0x402;

    static constexpr uint8_t kAckHigh = 0xFF;  // status with ACK high (nothing ready)
    static constexpr uint8_t kAckLow = 0xBF;   // status with ACK low

    enum class Attach { None, Direct, PassThrough, Any };  // Any: whatever SELECT IN says

    // ---- Model configuration ----
    Attach attach = Attach::None;
    uint16_t identity = 0x3071;
    uint16_t reg9 = 0x0001;             // register 9; its high byte is replaced when eppCounts
    bool eppCounts = false;             // register 9's high byte counts EPP byte reads
    int deafCommands = 0;               // register commands ignored before the camera answers
    std::map<int, uint16_t> registers;  // other readable registers
    bool ecrPresent = true;
    bool dataEcho = true;    // data register reads back the last write even as input
    uint8_t control = 0xC4;  // control register contents
    uint8_t ecr = 0x15;      // ECR contents (when present)
    uint8_t data = 0;
    // Status answers outside a register transfer: the script first, then the default.
    std::deque<uint8_t> statusScript;
    uint8_t statusDefault = kAckHigh;
    // Data-register input (direction bit set, no echo): script first, then the default.
    std::deque<uint8_t> dataScript;
    uint8_t dataDefault = 0xFF;
    // EPP answers: 16/32-bit reads and the repeated 32-bit read take words from here.
    std::deque<uint32_t> eppWords;

    // ---- What happened ----
    std::vector<Access> log;
    std::vector<Transfer> transfers;  // acknowledged register transfers
    std::vector<int> unanswered;      // register commands nobody answered
    std::vector<int> commands;        // every command number, in order
    std::vector<std::string> events;  // probe-level events, see Event()

    TekoPortIo Io();

    // Log helpers.
    std::vector<Run> Runs() const;
    std::size_t Count(Kind kind, uint16_t port) const;
    std::size_t CountValue(Kind kind, uint16_t port, uint32_t value) const;
    // The control values written, in order.
    std::vector<uint8_t> ControlWrites() const;
    // True when the mask calls alternate mask / unmask and end unmasked.
    bool InterruptsBalanced() const;
    void ClearLog();

    // ---- Port callbacks ----
    uint8_t Read8(uint16_t port);
    void Write8(uint16_t port, uint8_t value);
    uint16_t Read16(uint16_t port);
    uint32_t Read32(uint16_t port);
    void Read32Repeat(uint16_t port, uint32_t* dst, uint32_t count);
    void MaskInterrupts(int masked);

  private:
    enum class Phase { Idle, Synced, Acknowledging, Data };

    void OnControl(uint8_t value);
    void OnWindowClosed();
    bool CameraAnswers() const;
    uint32_t RegisterValue(int reg) const;
    uint8_t ReadStatus();
    uint32_t NextEppWord();

    Phase phase_ = Phase::Idle;
    bool windowOpen_ = false;
    uint32_t pulses_ = 0;
    uint32_t statusReadsInWindow_ = 0;
    bool lastStrobe_ = false;
    bool lastAutofeed_ = true;
    int command_ = 0;
    int window_ = 0;
    Transfer current_;
    int selectToggles_ = 0;
    bool awake_ = false;
    uint32_t eppCounter_ = 0;
};

}  // namespace teko::link::testing
