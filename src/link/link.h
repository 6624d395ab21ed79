// The parallel-port camera link: port probe and transfer modes, the camera's
// serial register protocol, and the line-by-line frame transfer with its
// brightness statistics. Every port access goes through platform/platform.h.
//
// All link state lives in one record, LinkState. Until a ProbePort has set the
// port addresses every operation here refuses (returns 0 or does nothing) and
// touches no port.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

namespace teko::link {

// ---- Probe result bits ---------------------------------------------------
inline constexpr uint8_t kCameraPresent = 0x80;  // identity register answered validly
inline constexpr uint8_t kPassThrough = 0x10;    // answered only after the wake sequence
inline constexpr uint8_t kSppMode = 0x08;        // samples come on the status lines
inline constexpr uint8_t kEcpPort = 0x04;        // an ECR answers at base + 0x402
inline constexpr uint8_t kEppMode = 0x02;        // EPP read cycles reach the camera
inline constexpr uint8_t kPs2Mode = 0x01;        // data lines can be switched to input

// ---- Port register bits --------------------------------------------------
inline constexpr uint8_t kStrobe = 0x01;         // control: data and count pulses
inline constexpr uint8_t kAutofeed = 0x02;       // control: 0 opens a clock window
inline constexpr uint8_t kSelectIn = 0x08;       // control: 1 direct, 0 behind a pass-through
inline constexpr uint8_t kDirection = 0x20;      // control: 1 switches data lines to input
inline constexpr uint8_t kAck = 0x40;            // status: camera's answer line (0 = asserted)
inline constexpr uint8_t kSppSampleBits = 0xF8;  // status: 5-bit sample in SPP mode
inline constexpr uint8_t kBusy = 0x80;           // status: inverted at the connector
inline constexpr uint8_t kEcrModeMask = 0xE0;
inline constexpr uint8_t kEcrStandard = 0x00;
inline constexpr uint8_t kEcrPs2 = 0x20;
inline constexpr uint8_t kEcrEpp = 0x80;

// Port register offsets from the base.
inline constexpr uint16_t kStatusOffset = 1;
inline constexpr uint16_t kControlOffset = 2;
inline constexpr uint16_t kEppDataOffset = 4;
inline constexpr uint16_t kEcrOffset = 0x402;

// ---- Camera registers and commands ---------------------------------------
enum class Register : int32_t {
    TopOffset = 5,
    LeftOffset = 6,
    RightOffset = 7,
    BrightNess = 8,
    CCDType = 9,
    ShutterSpeed = 10,
    CameraId = 12,
    StartFrame = 20,  // command, no data phase
};

inline constexpr uint16_t kCameraIdA = 0x3071;
inline constexpr uint16_t kCameraIdB = 0x2974;

// Acknowledge limits in status polls.
inline constexpr uint32_t kRegisterAckPolls = 300;
inline constexpr uint32_t kLineAckPolls = 40'000;
inline constexpr uint32_t kFirstLineAckPolls = 4'000'000;

// ---- The link record -----------------------------------------------------
struct LinkState {
    uint16_t dataPort = 0;
    uint16_t statusPort = 0;
    uint16_t controlPort = 0;
    uint16_t eppDataPort = 0;
    uint16_t ecrPort = 0;
    uint8_t controlShadow = 0;
    uint8_t savedControl = 0;
    uint8_t savedEcr = 0;
    uint8_t linkFlags = 0;
    bool probed = false;  // a ProbePort has set the addresses above

    // Frame transfer.
    int32_t firstLinePending = 0;
    uint32_t lineLength = 0;
    uint32_t skipCount = 0;
    std::atomic<int32_t> extraLeadSample{0};  // also set by ForceCCDType from any thread
    uint32_t brightSampleCount = 0;
    uint32_t sampleCount = 0;

    // Every field back to its value at load (no port addresses, not probed).
    void Reset();
};

// The one link record (for the owning layers and tests).
LinkState& State();

// ---- Probe (probe.cpp) ---------------------------------------------------
uint8_t ProbePort(uint16_t base);
void ReleasePort();
// True once a ProbePort has set up port addresses.
bool HasPort();

// ---- Register protocol (register_protocol.cpp) ---------------------------
void SendCommand(int32_t number);
// 1 when the camera acknowledged, 0 otherwise (also without a probed port).
int32_t WriteCameraRegister(int32_t reg, int32_t value);
// 1 and *result = 16-bit value (zero-extended) when acknowledged; 0 and
// *result untouched otherwise. A null result reads and discards the value.
int32_t ReadCameraRegister(int32_t reg, int32_t* result);
void SetExtraLeadSample(int32_t flag);

// ---- Sensor type (sensor_type.cpp) ---------------------------------------
// The one owner of what the sensor type code (bits 3..0 of register 9) means.
struct SensorGeometry {
    int32_t sensorColumns = 0;
    int32_t sensorLines = 0;
    int32_t topBase = 0;
    int32_t leftBase = 0;
};
// Bits 3..0 of register 9, or nothing when the read was not acknowledged (also
// without a probed port).
std::optional<int32_t> ReadSensorTypeCode();
// ReadSensorTypeCode(), or 0 when the read was not acknowledged.
int32_t ReadSensorType();
// Whether every line of a sensor of this type starts with one more lead sample.
bool ReadsExtraLeadSample(int32_t type);
// The sensor's size and the bases of its window registers.
SensorGeometry GeometryOf(int32_t type);

// ---- Frame transfer (frame_transfer.cpp) ---------------------------------
void StartFrame();
// Read lineCount lines of lineBytes & ~3 bytes into buffer; 1 when all lines
// arrived, 0 at the first line that timed out (or for arguments outside
// lineBytes 4..4095, lineCount >= 1, or without a probed port). *linesRead
// (when given) is the number of lines stored complete.
int32_t ReadFrame(int32_t lineBytes, int32_t lineCount, uint8_t* buffer,
                  int32_t* linesRead = nullptr);
int32_t ReadFrameEveryThirdLine(int32_t lineBytes, int32_t lineCount, uint8_t* buffer,
                                int32_t* linesRead = nullptr);
void SkipLines(int32_t count);
int32_t IsFrameReady();

// The shutter threshold the statistics compare against (its low 8 bits).
// Written by SetShutterThreshold from any thread, read during a frame.
void SetShutterThreshold(int32_t value);
int32_t ShutterThreshold();

// Returns every link value to its state at load (LinkState and the shutter
// threshold).
void ResetForTesting();

}  // namespace teko::link
