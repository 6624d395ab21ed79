// The virtual camera's port model and wire decoder.
//
// Every control write the camera can see runs through OnControl, which keeps
// two small decoders side by side:
//  - the command decoder counts STROBE pulses per AUTOFEED window: a window
//    with two pulses is the sync window, the next window's pulse count is the
//    command number, then 16 data windows and a closing window follow for a
//    register (a closing window with a pulse makes the transfer a write);
//  - the frame decoder, active from the start-frame command to the end of the
//    frame: a window opened while the next line is ready starts that line,
//    STROBE 1 with AUTOFEED 1 ends it, STROBE 1 with AUTOFEED 0 ends the frame.
// Frame traffic never carries a window with two pulses, so the command decoder
// stays idle during a frame; a command sent in the middle of a frame (after a
// time-out) ends the frame with its first sync pulse and is decoded normally.
#include "teko32sim/virtual_camera.h"

#include <algorithm>
#include <memory>
#include <unordered_map>

namespace teko::sim {
namespace {

// Port register offsets from the base.
constexpr uint16_t kStatusOffset = 1;
constexpr uint16_t kControlOffset = 2;
constexpr uint16_t kEppDataOffset = 4;
constexpr uint16_t kEcrOffset = 0x402;

// Control register bits.
constexpr uint8_t kStrobe = 0x01;
constexpr uint8_t kAutofeed = 0x02;  // 0 opens a window
constexpr uint8_t kSelectIn = 0x08;
constexpr uint8_t kDirection = 0x20;  // 1 turns the data lines to input

// Status register: everything released reads 1; ACK asserted reads bit 6 as 0.
constexpr uint8_t kAck = 0x40;
constexpr uint8_t kStatusReleased = 0xFF;
constexpr uint8_t kSppSampleBits = 0xF8;
constexpr uint8_t kBusy = 0x80;  // inverted at the connector
constexpr uint8_t kStatusUnusedBits = 0x07;

constexpr uint8_t kEmptyPort = 0xFF;  // what an address with nothing behind it reads
constexpr uint8_t kFloatingData = 0xFF;
constexpr uint8_t kControlAtPowerUp = 0x0C;
constexpr uint8_t kEcrAtPowerUp = 0x15;

// Camera registers and commands.
constexpr int kRegCcdType = 9;
constexpr int kRegCameraId = 12;
constexpr int kCmdStartFrame = 20;
constexpr int kRegisterBits = 16;
constexpr int kRegisterCount = kCameraRegisters;
constexpr int kCcdTypeMask = 0x0F;
constexpr int kCcdTypeWithExtraLead = 2;
constexpr int kLeadSamples = 6;
constexpr int kMaxLineSamples = 1 << 14;

// Sensor geometry: 510 columns; the window registers count from the first
// active row (TopOffset, in rows) and column (LeftOffset, in column pairs).
constexpr int kRegTopOffset = 5;
constexpr int kRegLeftOffset = 6;
constexpr int kRegBrightNess = 8;
constexpr int kRegShutterSpeed = 10;
constexpr int kSensorColumns = 510;
constexpr int kLinesType2 = 246;
constexpr int kLinesOther = 248;
constexpr int kTopBaseType2 = 2;
constexpr int kTopBaseOther = 4;
constexpr int kLeftBaseType2 = 4;
constexpr int kLeftBaseOther = 5;

// Exposure: samples scale with the shutter value relative to the reference,
// and each brightness step below the reference adds kBrightnessStep levels.
constexpr int kReferenceShutter = 50;
constexpr int kReferenceBrightness = 12;
constexpr int kBrightnessStep = 3;
constexpr uint8_t kMoverLevel = 225;

uint8_t TEKO32_CALL CbRead8(void* context, uint16_t port) {
    return static_cast<VirtualCamera*>(context)->Read8(port);
}
void TEKO32_CALL CbWrite8(void* context, uint16_t port, uint8_t value) {
    static_cast<VirtualCamera*>(context)->Write8(port, value);
}
uint16_t TEKO32_CALL CbRead16(void* context, uint16_t port) {
    return static_cast<VirtualCamera*>(context)->Read16(port);
}
uint32_t TEKO32_CALL CbRead32(void* context, uint16_t port) {
    return static_cast<VirtualCamera*>(context)->Read32(port);
}
void TEKO32_CALL CbRead32Repeat(void* context, uint16_t port, uint32_t* dst, uint32_t count) {
    static_cast<VirtualCamera*>(context)->Read32Repeat(port, dst, count);
}
void TEKO32_CALL CbMask(void* context, int masked) {
    static_cast<VirtualCamera*>(context)->MaskInterrupts(masked != 0);
}

}  // namespace

VirtualCamera::VirtualCamera(const CameraConfig& config)
    : config_(config),
      faults_(config.faults),
      control_(kControlAtPowerUp),
      ecr_(config.port.ecr ? kEcrAtPowerUp : kEmptyPort),
      lastSelectIn_((kControlAtPowerUp & kSelectIn) != 0),
      leadSamples_((config.ccdType & kCcdTypeMask) == kCcdTypeWithExtraLead ? kLeadSamples + 1
                                                                            : kLeadSamples) {
    registerLog_.reserve(256);
    registers_[kRegShutterSpeed] = kReferenceShutter;
    registers_[kRegBrightNess] = kReferenceBrightness;
    UseBuiltInScene();
}

TekoPortIo VirtualCamera::PortIo() {
    return TekoPortIo{this, CbRead8, CbWrite8, CbRead16, CbRead32, CbRead32Repeat, CbMask};
}

bool VirtualCamera::Install() {
    const TekoPortIo io = PortIo();
    return TekoSetPortIo(&io) == 1;
}

void VirtualCamera::SetFaults(const Faults& faults) {
    std::lock_guard lock(faultsMutex_);
    pendingFaults_ = faults;
    faultsChanged_.store(true, std::memory_order_release);
}

void VirtualCamera::ApplyPendingFaults() {
    if (!faultsChanged_.load(std::memory_order_acquire)) return;
    std::lock_guard lock(faultsMutex_);
    faults_ = pendingFaults_;
    faultsChanged_.store(false, std::memory_order_relaxed);
}

void VirtualCamera::SetFrameSource(FrameSource source) {
    source_ = std::move(source);
}

void VirtualCamera::SetSensorType(int type) {
    config_.ccdType = type;
    leadSamples_ = (type & kCcdTypeMask) == kCcdTypeWithExtraLead ? kLeadSamples + 1 : kLeadSamples;
}

void VirtualCamera::ResetCounters() {
    counters_ = Counters{};
}

std::optional<int32_t> VirtualCamera::RegisterValue(int reg) const {
    if (reg < 0 || reg >= kRegisterCount || !written_[reg]) return std::nullopt;
    return registers_[reg];
}

bool VirtualCamera::Listening() const {
    const bool selectIn = (control_ & kSelectIn) != 0;
    return config_.attachment == Attachment::Direct ? selectIn : (awake_ && !selectIn);
}

// The pass-through wakes on three single-write SELECT IN pulses in a row and
// goes back to the printer side when SELECT IN is written 1 twice running.
void VirtualCamera::TrackSelectIn(bool selectIn) {
    if (selectIn) {
        selectHighRun_ = lastSelectIn_ ? selectHighRun_ + 1 : 1;
        if (selectHighRun_ >= 2) {
            awake_ = false;
            wakePulses_ = 0;
        }
    } else if (lastSelectIn_ && selectHighRun_ == 1) {
        if (++wakePulses_ >= 3) awake_ = true;
    } else {
        wakePulses_ = 0;
    }
    lastSelectIn_ = selectIn;
}

void VirtualCamera::AssertAckAfter(uint32_t polls) {
    ackAsserted_ = false;
    ackPending_ = false;
    if (faults_.neverAcknowledge) return;
    if (polls == 0) {
        ackAsserted_ = true;
    } else {
        ackPending_ = true;
        ackCountdown_ = polls;
    }
}

void VirtualCamera::ReleaseAck() {
    ackAsserted_ = false;
    ackPending_ = false;
}

uint16_t VirtualCamera::ReadableValue(int reg) const {
    if (reg == kRegCameraId) return faults_.wrongIdentity ? kWrongIdentity : config_.identity;
    if (reg == kRegCcdType)
        return static_cast<uint16_t>((eppCount_ << 8) | (config_.ccdType & kCcdTypeMask));
    return registers_[reg];
}

void VirtualCamera::OnCommand(int number) {
    if (number == kCmdStartFrame) {
        line_ = Line::Waiting;
        lineIndex_ = 0;
        samplePhase_ = false;
        ++counters_.framesArmed;
        framesArmed_.fetch_add(1, std::memory_order_relaxed);
        LatchExposure();
        AssertAckAfter(config_.frameReadyPolls);
        return;
    }
    ReleaseAck();
    if (number >= kRegisterCount) return;
    ++counters_.commands[static_cast<size_t>(number)];
    if (faults_.neverAcknowledge) {
        ++counters_.refusals[static_cast<size_t>(number)];
        return;
    }
    if (number == faults_.refuseRegister && faults_.refuseCount > 0) {
        --faults_.refuseCount;
        ++counters_.refusals[static_cast<size_t>(number)];
        return;
    }
    commandRegister_ = number;
    shiftOut_ = ReadableValue(number);
    shiftIn_ = 0;
    dataBit_ = 0;
    command_ = Command::Data;
    AssertAckAfter(config_.registerAckPolls);
}

void VirtualCamera::OnWindowClosed() {
    dataWindow_ = false;
    if (pulses_ == 2 && command_ != Command::Sync) {
        // A sync window; it also abandons a register transfer left half done.
        command_ = Command::Sync;
        return;
    }
    switch (command_) {
        case Command::Idle:
            break;
        case Command::Sync:
            command_ = Command::Idle;
            if (pulses_ > 0) OnCommand(pulses_);
            break;
        case Command::Data:
            if (pulses_ > 0) shiftIn_ |= static_cast<uint16_t>(1u << dataBit_);
            if (++dataBit_ == kRegisterBits) command_ = Command::Closing;
            break;
        case Command::Closing:
            command_ = Command::Idle;
            if (pulses_ > 0) {  // a write: the closing window carries a pulse
                registers_[commandRegister_] = shiftIn_;
                written_[commandRegister_] = true;
                registerLog_.emplace_back(commandRegister_, shiftIn_);
                if (commandRegister_ == kRegCcdType) eppCount_ = 0;
            }
            break;
    }
}

void VirtualCamera::OnControl(uint8_t value) {
    const bool strobe = (value & kStrobe) != 0;
    const bool open = (value & kAutofeed) == 0;
    const bool opening = open && !windowOpen();
    const bool closing = !open && windowOpen();

    if (line_ != Line::None) {
        if (strobe && !open) {
            if (line_ == Line::Open) {  // end of line: prepare the next one
                line_ = Line::Waiting;
                samplePhase_ = false;
                ++lineIndex_;
                if (lineIndex_ - 1 == faults_.lineNeverReady)
                    ReleaseAck();
                else
                    AssertAckAfter(config_.lineReadyPolls);
            }
        } else if (strobe && open) {  // end of frame
            line_ = Line::None;
            samplePhase_ = false;
            ReleaseAck();
            ++counters_.framesEnded;
            framesEnded_.fetch_add(1, std::memory_order_relaxed);
        } else if (opening) {
            if (line_ == Line::Open) {
                presented_ = NextSample();  // a sample clock
            } else if (ackAsserted_) {
                line_ = Line::Open;
                ReleaseAck();
                samplePos_ = 0;
                presented_ = kLeadSample;
                samplePhase_ = true;
                ++counters_.linesDelivered;
                if (!source_ && lineIndex_ > 0) RenderLine();
            }
        }
    }

    if (opening) {
        pulses_ = 0;
        if (command_ == Command::Data) {
            ReleaseAck();
            dataWindow_ = true;
            ackBit_ = ((shiftOut_ >> dataBit_) & 1u) != 0;
        }
    }
    if (open && strobe && !strobe_) ++pulses_;
    strobe_ = strobe;
    autofeed_ = !open;
    if (closing) OnWindowClosed();
}

uint8_t VirtualCamera::NextSample() {
    if (samplePos_ >= kMaxLineSamples) return kLeadSample;
    const int pos = samplePos_++;
    if (lineIndex_ == 0 || pos < leadSamples_) return kLeadSample;
    const int column = pos - leadSamples_;
    if (source_) return source_(lineIndex_ - 1, column);
    return column < kSensorColumns ? lineSamples_[column] : 0;
}

// The scene's samples of the line just opened, from the window's first column
// to the sensor's edge (0 beyond it).
void VirtualCamera::RenderLine() {
    const int row = topRow_ + lineIndex_ - 1;
    for (int c = 0; c < kSensorColumns; ++c)
        lineSamples_[c] = RenderSample(row, leftColumn_ + c, shutter_, offset_);
}

int VirtualCamera::SensorLines() const {
    return (config_.ccdType & kCcdTypeMask) == kCcdTypeWithExtraLead ? kLinesType2 : kLinesOther;
}

namespace {

// Cells of a scene at the reference exposure, one per scene pixel.
std::shared_ptr<const std::vector<MosaicCell>> CellsFor(const SceneImage& scene) {
    std::unordered_map<uint32_t, MosaicCell> known;
    const size_t pixels = static_cast<size_t>(scene.width) * scene.height;
    auto cells = std::make_shared<std::vector<MosaicCell>>(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* p = &scene.rgb[i * 3];
        const uint32_t key = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
        auto [it, fresh] = known.try_emplace(key);
        if (fresh) it->second = CellForColour(p[0], p[1], p[2]);
        (*cells)[i] = it->second;
    }
    return cells;
}

// The built-in scene without its moving square (drawn at render time over
// the uniform band it moves in), prepared once for every camera.
struct BuiltInData {
    std::shared_ptr<const SceneImage> scene;
    std::shared_ptr<const std::vector<MosaicCell>> cells;
    MosaicCell mover;
};

const BuiltInData& BuiltIn() {
    static const BuiltInData data = [] {
        auto scene = std::make_shared<SceneImage>(BuiltInScene(0));
        const int band = BuiltInLayout::kMoverTop;
        for (int y = band; y < band + BuiltInLayout::kMoverSize; ++y) {
            uint8_t* row = &scene->rgb[static_cast<size_t>(y) * scene->width * 3];
            for (int x = 0; x < BuiltInLayout::kMoverSize; ++x)
                std::copy_n(row + size_t{BuiltInLayout::kMoverSize} * 3, 3, row + size_t(x) * 3);
        }
        BuiltInData d;
        d.cells = CellsFor(*scene);
        d.scene = std::move(scene);
        d.mover = CellForColour(kMoverLevel, kMoverLevel, kMoverLevel);
        return d;
    }();
    return data;
}

}  // namespace

void VirtualCamera::UseBuiltInScene() {
    const BuiltInData& data = BuiltIn();
    builtIn_ = true;
    scene_ = data.scene;
    cells_ = data.cells;
    moverCell_ = data.mover;
}

void VirtualCamera::SetScene(SceneImage scene) {
    auto image = std::make_shared<const SceneImage>(std::move(scene));
    cells_ = CellsFor(*image);
    scene_ = std::move(image);
    builtIn_ = false;
}

bool VirtualCamera::LoadScenePng(const std::string& path, std::string* error) {
    std::optional<SceneImage> image = LoadPng(path, error);
    if (!image) return false;
    SetScene(std::move(*image));
    return true;
}

SceneImage VirtualCamera::Scene() const {
    if (!builtIn_) return *scene_;
    const uint64_t armed = FramesArmed();
    return BuiltInScene(armed == 0 ? 0 : armed - 1);
}

void VirtualCamera::LatchExposure() {
    const bool type2 = (config_.ccdType & kCcdTypeMask) == kCcdTypeWithExtraLead;
    topRow_ = registers_[kRegTopOffset] - (type2 ? kTopBaseType2 : kTopBaseOther);
    leftColumn_ =
        2 * std::max(0, registers_[kRegLeftOffset] - (type2 ? kLeftBaseType2 : kLeftBaseOther));
    shutter_ = registers_[kRegShutterSpeed];
    offset_ = (kReferenceBrightness - registers_[kRegBrightNess]) * kBrightnessStep;
    if (builtIn_) {
        const uint64_t frame = FramesArmed() - 1;
        moverX_ = static_cast<int>((frame * BuiltInLayout::kMoverStep) %
                                   (BuiltInLayout::kWidth - BuiltInLayout::kMoverSize));
    }
}

uint8_t VirtualCamera::SensorSample(int row, int column) const {
    return RenderSample(row, column, registers_[kRegShutterSpeed],
                        (kReferenceBrightness - registers_[kRegBrightNess]) * kBrightnessStep);
}

// Mosaic cell (2 x 2 samples): even rows carry y + cr, y - cr; odd rows
// y - cb, y + cb (even column first). Each cell takes the scene pixel under
// its centre.
uint8_t VirtualCamera::RenderSample(int row, int column, int shutter, int offset) const {
    if (row < 0 || row >= SensorLines() || column < 0 || column >= kSensorColumns) return 0;
    const int width = scene_->width;
    const int height = scene_->height;
    if (width == 0 || height == 0) return 0;
    const int x = static_cast<int>(int64_t{column | 1} * width / kSensorColumns);
    const int y = static_cast<int>(int64_t{row | 1} * height / SensorLines());
    const bool inMover = builtIn_ && y >= BuiltInLayout::kMoverTop &&
                         y < BuiltInLayout::kMoverTop + BuiltInLayout::kMoverSize && x >= moverX_ &&
                         x < moverX_ + BuiltInLayout::kMoverSize;
    const MosaicCell& cell = inMover ? moverCell_ : (*cells_)[static_cast<size_t>(y) * width + x];
    const bool evenColumn = (column & 1) == 0;
    int v;
    if ((row & 1) == 0)
        v = evenColumn ? cell.y + cell.cr : cell.y - cell.cr;
    else
        v = evenColumn ? cell.y - cell.cb : cell.y + cell.cb;
    return static_cast<uint8_t>(std::clamp(v * shutter / kReferenceShutter + offset, 0, 255));
}

uint8_t VirtualCamera::ReadStatus() {
    ++counters_.statusPolls;
    ApplyPendingFaults();
    if (!Listening()) return kStatusReleased;
    if (samplePhase_)
        return static_cast<uint8_t>(((presented_ & kSppSampleBits) ^ kBusy) | kStatusUnusedBits);
    if (dataWindow_) return ackBit_ ? kStatusReleased : kStatusReleased & ~kAck;
    if (ackPending_) {
        if (ackCountdown_ == 0) {
            ackPending_ = false;
            ackAsserted_ = true;
        } else {
            --ackCountdown_;
        }
    }
    const bool asserted = ackAsserted_ && !faults_.neverAcknowledge;
    return asserted ? kStatusReleased & ~kAck : kStatusReleased;
}

uint8_t VirtualCamera::EppCycle() {
    if (!config_.port.epp) return kEmptyPort;
    ++counters_.eppReads;
    if (!Listening()) return kFloatingData;
    if (line_ == Line::Open) return NextSample();
    ++eppCount_;  // a cycle outside line data: the camera counts it (register 9)
    return kFloatingData;
}

uint8_t VirtualCamera::Read8(uint16_t port) {
    ++counters_.reads;
    const uint16_t base = config_.base;
    if (port == base) {
        if (!config_.port.ps2 || (control_ & kDirection) == 0) return data_;
        if (!Listening() || !samplePhase_) return kFloatingData;
        return presented_;
    }
    if (port == base + kStatusOffset) return ReadStatus();
    if (port == base + kControlOffset) return control_;
    if (port == base + kEppDataOffset) return EppCycle();
    if (port == base + kEcrOffset) return ecr_;
    return kEmptyPort;
}

void VirtualCamera::Write8(uint16_t port, uint8_t value) {
    ++counters_.writes;
    const uint16_t base = config_.base;
    if (port == base) {
        data_ = value;
    } else if (port == base + kControlOffset) {
        ApplyPendingFaults();
        control_ = value;
        if (config_.attachment == Attachment::PassThrough) TrackSelectIn((value & kSelectIn) != 0);
        if (Listening()) OnControl(value);
    } else if (port == base + kEcrOffset && config_.port.ecr) {
        ecr_ = value;
    }
}

uint16_t VirtualCamera::Read16(uint16_t port) {
    ++counters_.reads;
    if (port != config_.base + kEppDataOffset) return 0xFFFF;
    const uint16_t low = EppCycle();
    const uint16_t high = EppCycle();
    return static_cast<uint16_t>(low | (high << 8));
}

uint32_t VirtualCamera::Read32(uint16_t port) {
    ++counters_.reads;
    if (port != config_.base + kEppDataOffset) return 0xFFFFFFFFu;
    uint32_t word = 0;
    for (int byte = 0; byte < 4; ++byte)
        word |= uint32_t{EppCycle()} << (8 * byte);
    return word;
}

void VirtualCamera::Read32Repeat(uint16_t port, uint32_t* dst, uint32_t count) {
    counters_.reads += count;
    if (port != config_.base + kEppDataOffset) {
        for (uint32_t i = 0; i < count; ++i)
            dst[i] = 0xFFFFFFFFu;
        return;
    }
    if (config_.port.epp && line_ == Line::Open && Listening()) {
        // Line data: every cycle takes the next sample.
        counters_.eppReads += uint64_t{count} * 4;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t word = 0;
            for (int byte = 0; byte < 4; ++byte)
                word |= uint32_t{NextSample()} << (8 * byte);
            dst[i] = word;
        }
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t word = 0;
        for (int byte = 0; byte < 4; ++byte)
            word |= uint32_t{EppCycle()} << (8 * byte);
        dst[i] = word;
    }
}

void VirtualCamera::MaskInterrupts(bool masked) {
    if (masked)
        ++counters_.maskCalls;
    else
        ++counters_.unmaskCalls;
    interruptsMasked_ = masked;
}

}  // namespace teko::sim
