// The port registers mapped onto the parport device's calls:
//   data     read PPRDATA, write PPWDATA
//   status   read PPRSTATUS
//   control  read PPRCONTROL (the direction bit as last written), write
//            PPWCONTROL for the four line bits and PPDATADIR for the direction bit
//   EPP data reads: read() in EPP mode, when the port does EPP in hardware;
//            all ones otherwise (as a port without EPP answers)
//   ECR      not present: reads all ones, writes go nowhere.
// Other registers read all ones and ignore writes.
#include "platform/ppdev.h"

#include <linux/parport.h>
#include <sys/ioctl.h>
// After sys/ioctl.h, which defines its request macros.
#include <linux/ppdev.h>

#include <bit>
#include <cerrno>
#include <cstring>

#include "platform/sys_calls.h"

namespace teko::platform {
namespace {

constexpr uint16_t kDataOffset = 0;
constexpr uint16_t kStatusOffset = 1;
constexpr uint16_t kControlOffset = 2;
constexpr uint16_t kEppDataOffset = 4;
constexpr uint8_t kControlLineBits = 0x0F;  // strobe, autofeed, init, select-in
constexpr uint8_t kDirectionBit = 0x20;     // data lines as inputs
constexpr uint8_t kAbsent = 0xFF;
constexpr unsigned kBitsPerByte = 8;

uint8_t ReadRegister(int fd, unsigned long request) {
    unsigned char value = kAbsent;
    if (sys::Sys().ioctl(fd, request, &value) != 0) return kAbsent;
    return value;
}

void WriteRegister(int fd, unsigned long request, uint8_t value) {
    unsigned char byte = value;
    sys::Sys().ioctl(fd, request, &byte);
}

uint32_t LittleEndian(const uint8_t* bytes, std::size_t count) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
        value |= uint32_t{bytes[i]} << (i * kBitsPerByte);
    return value;
}

}  // namespace

std::unique_ptr<PpdevPort> PpdevPort::Open(const std::string& device, std::string* whyNot) {
    const sys::SysCalls& s = sys::Sys();
    auto fail = [&](const char* what) {
        if (whyNot) *whyNot = device + ": " + what + ": " + std::strerror(errno);
        return nullptr;
    };
    const int fd = s.open(device.c_str());
    if (fd < 0) return fail("cannot open");
    if (s.ioctl(fd, PPCLAIM, nullptr) != 0) {
        auto result = fail("cannot claim the port");
        s.close(fd);
        return result;
    }
    unsigned int modes = 0;
    const bool hasEpp = s.ioctl(fd, PPGETMODES, &modes) == 0 && (modes & PARPORT_MODE_EPP) != 0;
    std::unique_ptr<PpdevPort> port(new PpdevPort(fd, hasEpp));
    // A known direction to start from: data lines driven by the port.
    int reverse = 0;
    s.ioctl(fd, PPDATADIR, &reverse);
    return port;
}

PpdevPort::PpdevPort(int fd, bool hasEpp) : fd_(fd), hasEpp_(hasEpp) {}

PpdevPort::~PpdevPort() {
    sys::Sys().ioctl(fd_, PPRELEASE, nullptr);
    sys::Sys().close(fd_);
}

uint8_t PpdevPort::Read8(uint16_t offset) {
    switch (offset) {
        case kDataOffset:
            return ReadRegister(fd_, PPRDATA);
        case kStatusOffset:
            return ReadRegister(fd_, PPRSTATUS);
        case kControlOffset:
            return static_cast<uint8_t>((ReadRegister(fd_, PPRCONTROL) & kControlLineBits) |
                                        (control_ & ~kControlLineBits));
        case kEppDataOffset: {
            uint8_t byte = kAbsent;
            return EppRead(&byte, 1) ? byte : kAbsent;
        }
        default:
            return kAbsent;
    }
}

void PpdevPort::Write8(uint16_t offset, uint8_t value) {
    switch (offset) {
        case kDataOffset:
            WriteRegister(fd_, PPWDATA, value);
            break;
        case kControlOffset: {
            if ((value ^ control_) & kDirectionBit) {
                int reverse = (value & kDirectionBit) ? 1 : 0;
                sys::Sys().ioctl(fd_, PPDATADIR, &reverse);
            }
            WriteRegister(fd_, PPWCONTROL, value & kControlLineBits);
            control_ = value;
            break;
        }
        default:
            break;
    }
}

bool PpdevPort::EppRead(uint8_t* bytes, std::size_t count) {
    if (!hasEpp_) return false;
    if (!eppMode_) {
        int mode = IEEE1284_MODE_EPP;
        if (sys::Sys().ioctl(fd_, PPSETMODE, &mode) != 0) return false;
        eppMode_ = true;
    }
    return sys::Sys().read(fd_, bytes, count) == static_cast<long>(count);
}

uint16_t PpdevPort::Read16() {
    uint8_t bytes[2];
    return EppRead(bytes, sizeof bytes) ? static_cast<uint16_t>(LittleEndian(bytes, sizeof bytes))
                                        : 0xFFFF;
}

uint32_t PpdevPort::Read32() {
    uint8_t bytes[4];
    return EppRead(bytes, sizeof bytes) ? LittleEndian(bytes, sizeof bytes) : 0xFFFFFFFFu;
}

void PpdevPort::Read32Repeat(uint32_t* dst, uint32_t count) {
    auto* bytes = reinterpret_cast<uint8_t*>(dst);
    if (!EppRead(bytes, std::size_t{count} * sizeof(uint32_t))) {
        std::memset(dst, kAbsent, std::size_t{count} * sizeof(uint32_t));
        return;
    }
    if constexpr (std::endian::native != std::endian::little) {
        for (uint32_t i = 0; i < count; ++i) {
            uint8_t word[4];
            std::memcpy(word, &dst[i], sizeof word);
            dst[i] = LittleEndian(word, sizeof word);
        }
    }
}

}  // namespace teko::platform
