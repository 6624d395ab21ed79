// libFuzzer target: the input is a camera set-up followed by a sequence of
// entry calls with their arguments and of virtual-camera faults. Whatever the
// sequence, the library must stay within its buffers (AddressSanitizer), do
// nothing undefined (UndefinedBehaviorSanitizer), leave interrupts unmasked
// after every call, and hold no block after HaltTeko.
//
// Input layout (bytes, little-endian): one set-up byte, then operations of one
// opcode byte each followed by its arguments; a short input reads as zeros.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "api/driver_state.h"
#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"
#include "teko32sim/virtual_camera.h"

namespace {

constexpr int kMaxOperations = 64;
constexpr int kMaxPorts = 5;
constexpr uint16_t kPorts[] = {0x378, 0x278, 0x3BC, 0};
constexpr int32_t kDepthRgb24 = 24;

class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Done() const { return pos_ >= size_; }
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    int32_t Int32() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= uint32_t{Byte()} << (8 * i);
        return static_cast<int32_t>(value);
    }
    // A size: small values most of the time, any 32-bit value when the flag byte says so.
    int32_t Size() {
        const uint8_t flag = Byte();
        if (flag & 0x80) return Int32();
        return static_cast<int32_t>((uint32_t{flag} << 8 | Byte()) % 700) - 4;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

struct Allocations {
    uint64_t made = 0;
    uint64_t released = 0;
};

void* TEKO32_CALL Allocate(void* context, size_t bytes) {
    void* block = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (block != nullptr) ++static_cast<Allocations*>(context)->made;
    return block;
}

void TEKO32_CALL Release(void* context, void* block) {
    if (block == nullptr) return;
    ++static_cast<Allocations*>(context)->released;
    std::free(block);
}

void TEKO32_CALL Silent(void*, const char*, const char*) {}

// A fixed clock that advances with every read keeps runs reproducible.
uint32_t TEKO32_CALL Clock(void* context) {
    return *static_cast<uint32_t*>(context) += 7;
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

enum Op : uint8_t {
    kInitTeko,
    kHaltTeko,
    kSetShutterSpeed,
    kSetBrightNess,
    kSetShutterThreshold,
    kSetRedScale,
    kSetBlueScale,
    kEnableAutoShutterSpeed,
    kForceCcdType,
    kSetGamma,
    kGetters,
    kCapture,
    kCaptureNull,
    kInitFilterStack,
    kSetFrameSize,
    kEnableZoom,
    kSetRealizedFilter,
    kEnableIsr,
    kSetFaults,
    kOpCount,
};

teko::sim::CameraConfig ConfigFrom(uint8_t setup) {
    teko::sim::CameraConfig config;
    config.port.epp = (setup & 0x01) == 0;
    config.port.ps2 = (setup & 0x02) == 0;
    config.port.ecr = (setup & 0x04) == 0;
    if (setup & 0x08) config.attachment = teko::sim::Attachment::PassThrough;
    if (setup & 0x10) config.ccdType = 2;
    if (setup & 0x20) config.identity = 0x2974;
    if (setup & 0x40) config.base = kPorts[1];
    return config;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    teko::api::ResetLibraryForTesting();
    Reader in(data, size);
    teko::sim::VirtualCamera camera(ConfigFrom(in.Byte()));
    Check(camera.Install());
    Allocations allocations;
    Check(TekoSetAllocator(Allocate, Release, &allocations) == 1);
    TekoSetMessageHandler(Silent, nullptr);
    uint32_t now = 0;
    TekoSetClock(Clock, &now);

    // The client's buffer, exactly the size of the last accepted picture.
    std::vector<uint8_t> buffer(1);
    int32_t realized = 0;
    for (int n = 0; n < kMaxOperations && !in.Done(); ++n) {
        switch (in.Byte() % kOpCount) {
            case kInitTeko: {
                uint16_t ports[kMaxPorts + 1] = {};
                const int count = in.Byte() % (kMaxPorts + 1);
                for (int i = 0; i < count; ++i)
                    ports[i] = kPorts[in.Byte() % std::size(kPorts)];
                if (in.Byte() & 1) {
                    InitTeko(nullptr);
                } else {
                    Check(InitTeko(ports) == TEKO32_INIT_RESULT);
                }
                break;
            }
            case kHaltTeko:
                if (HaltTeko(in.Int32()) == 1) Check(allocations.made == allocations.released);
                break;
            case kSetShutterSpeed:
                SetShutterSpeed(in.Int32());
                break;
            case kSetBrightNess:
                SetBrightNess(in.Int32());
                break;
            case kSetShutterThreshold:
                SetShutterThreshold(in.Int32());
                break;
            case kSetRedScale:
                SetRedScale(in.Int32());
                break;
            case kSetBlueScale:
                SetBlueScale(in.Int32());
                break;
            case kEnableAutoShutterSpeed:
                EnableAutoShutterSpeed(in.Int32());
                break;
            case kForceCcdType: {
                const int32_t flag = in.Int32();
                ForceCCDType(flag, in.Int32());
                break;
            }
            case kSetGamma:
                SetGamma(in.Int32());
                break;
            case kGetters:
                GetShutterSpeed();
                GetCCDType();
                break;
            case kCapture:
                CaptureFrameWait(buffer.data());
                break;
            case kCaptureNull:
                Check(CaptureFrameWait(nullptr) == 0);
                break;
            case kInitFilterStack: {
                const int32_t zoom = in.Int32();
                const int32_t allLines = in.Int32();
                InitFilterStack(zoom, allLines, in.Int32());
                break;
            }
            case kSetFrameSize: {
                const int32_t width = in.Size();
                const int32_t height = in.Size();
                const int32_t depth = (in.Byte() & 1) ? kDepthRgb24 : in.Int32();
                if (SetFrameSize(width, height, depth) == 1) {
                    Check(width >= 0 && height >= 0);
                    const int32_t bytesPerPixel = depth == kDepthRgb24 && realized != 1 ? 3 : 2;
                    const size_t rowBytes = static_cast<size_t>((bytesPerPixel * width + 3) & ~3);
                    buffer.assign(rowBytes * static_cast<size_t>(height) + (height == 0), 0);
                }
                break;
            }
            case kEnableZoom:
                EnableZoom(in.Int32());
                break;
            case kSetRealizedFilter:
                SetRealizedFilter(realized = in.Int32());
                break;
            case kEnableIsr:
                Check(EnableIsr(in.Int32()) == 1);
                break;
            case kSetFaults: {
                teko::sim::Faults faults;
                const uint8_t bits = in.Byte();
                faults.neverAcknowledge = bits & 1;
                faults.wrongIdentity = bits & 2;
                faults.refuseRegister = (bits & 4) ? in.Byte() % 16 : -1;
                faults.refuseCount = in.Byte() % 7;
                faults.lineNeverReady = (bits & 8) ? in.Byte() * 2 - 16 : -1;
                camera.SetFaults(faults);
                break;
            }
            default:
                break;
        }
        Check(!camera.InterruptsMasked());
    }
    if (HaltTeko(0) == 1) Check(allocations.made == allocations.released);
    teko::api::ResetLibraryForTesting();
    return 0;
}
