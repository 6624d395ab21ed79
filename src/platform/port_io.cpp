// The installed port access and the empty port.
#include "platform/os.h"
#include "platform/platform.h"

namespace teko::platform {
namespace {

constexpr uint8_t kAllOnes8 = 0xFF;
constexpr uint16_t kAllOnes16 = 0xFFFF;
constexpr uint32_t kAllOnes32 = 0xFFFFFFFFu;

uint8_t TEKO32_CALL EmptyRead8(void*, uint16_t) {
    return kAllOnes8;
}
void TEKO32_CALL EmptyWrite8(void*, uint16_t, uint8_t) {}
uint16_t TEKO32_CALL EmptyRead16(void*, uint16_t) {
    return kAllOnes16;
}
uint32_t TEKO32_CALL EmptyRead32(void*, uint16_t) {
    return kAllOnes32;
}
void TEKO32_CALL EmptyRead32Repeat(void*, uint16_t, uint32_t* dst, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        dst[i] = kAllOnes32;
}
void TEKO32_CALL NoMask(void*, int) {}

constexpr TekoPortIo kEmptyPort{nullptr,     EmptyRead8,        EmptyWrite8, EmptyRead16,
                                EmptyRead32, EmptyRead32Repeat, NoMask};

bool Complete(const TekoPortIo& io) {
    return io.read8 && io.write8 && io.read16 && io.read32 && io.read32Repeat && io.maskInterrupts;
}

}  // namespace

namespace detail {
TekoPortIo gPortIo = os::DefaultPortIo();
}

TekoPortIo EmptyPortIo() {
    return kEmptyPort;
}

TekoPortIo DefaultPortIo() {
    return os::DefaultPortIo();
}

bool SetPortIo(const TekoPortIo* io) {
    if (io == nullptr) {
        detail::gPortIo = DefaultPortIo();
        return true;
    }
    if (!Complete(*io)) return false;
    detail::gPortIo = *io;
    return true;
}

}  // namespace teko::platform
