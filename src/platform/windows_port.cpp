// Port access on Windows, chosen at the first port access:
//  1. the inpout32 port driver (inpoutx64.dll in a 64-bit process) when its
//     DLL loads and reports its kernel driver open;
//  2. the processor's port instructions on the Windows 9x family, where a
//     process may execute them;
//  3. otherwise no port: every read answers all ones.
// 16- and 32-bit reads of the EPP data register are made of byte reads of that
// register when the driver is used: each read is one EPP data cycle on the
// wire either way.
#include <windows.h>

#include <string>

#include "platform/os.h"
#include "platform/platform.h"

namespace teko::platform {
namespace {

using InpFn = short(WINAPI*)(short port);
using OutFn = void(WINAPI*)(short port, short value);
using DriverOpenFn = BOOL(WINAPI*)();

#if defined(_WIN64)
constexpr const char* kDriverDll = "inpoutx64.dll";
#else
constexpr const char* kDriverDll = "inpout32.dll";
#endif

// GetVersion sets its top bit on the Windows 9x family.
constexpr DWORD kWin9xFamilyBit = 0x80000000u;
constexpr unsigned kByteMask = 0xFF;
constexpr unsigned kBitsPerByte = 8;

enum class Backend { Unresolved, Driver, Direct, None };

struct PortState {
    Backend backend = Backend::Unresolved;
    PortBackend choice = PortBackend::Auto;
    HMODULE module = nullptr;
    InpFn inp = nullptr;
    OutFn out = nullptr;
};

PortState gPort;

bool IsWin9xFamily() {
    return (GetVersion() & kWin9xFamilyBit) != 0;
}

#if defined(__i386__)
constexpr bool kHasDirectAccess = true;
inline uint8_t DirectIn8(uint16_t port) {
    uint8_t value;
    asm volatile("inb %w1, %b0" : "=a"(value) : "Nd"(port));
    return value;
}
inline void DirectOut8(uint16_t port, uint8_t value) {
    asm volatile("outb %b0, %w1" : : "a"(value), "Nd"(port));
}
inline uint16_t DirectIn16(uint16_t port) {
    uint16_t value;
    asm volatile("inw %w1, %w0" : "=a"(value) : "Nd"(port));
    return value;
}
inline uint32_t DirectIn32(uint16_t port) {
    uint32_t value;
    asm volatile("inl %w1, %0" : "=a"(value) : "Nd"(port));
    return value;
}
inline void DirectMask(bool masked) {
    if (masked) {
        asm volatile("cli" ::: "memory");
    } else {
        asm volatile("sti" ::: "memory");
    }
}
#else
constexpr bool kHasDirectAccess = false;
inline uint8_t DirectIn8(uint16_t) {
    return kByteMask;
}
inline void DirectOut8(uint16_t, uint8_t) {}
inline uint16_t DirectIn16(uint16_t) {
    return 0xFFFF;
}
inline uint32_t DirectIn32(uint16_t) {
    return 0xFFFFFFFFu;
}
inline void DirectMask(bool) {}
#endif

void UnloadDriver() {
    if (gPort.module) FreeLibrary(gPort.module);
    gPort.module = nullptr;
    gPort.inp = nullptr;
    gPort.out = nullptr;
}

// A DLL function of type Fn (through the generic function type, which any
// function pointer type may be cast to and from).
template <typename Fn>
Fn LookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

bool LoadDriver() {
    HMODULE module = LoadLibraryA(kDriverDll);
    if (module == nullptr) return false;
    const auto inp = LookUp<InpFn>(module, "Inp32");
    const auto out = LookUp<OutFn>(module, "Out32");
    const auto open = LookUp<DriverOpenFn>(module, "IsInpOutDriverOpen");
    if (inp == nullptr || out == nullptr || (open != nullptr && !open())) {
        FreeLibrary(module);
        return false;
    }
    gPort.module = module;
    gPort.inp = inp;
    gPort.out = out;
    return true;
}

Backend Resolve() {
    if (gPort.backend != Backend::Unresolved) return gPort.backend;
    switch (gPort.choice) {
        case PortBackend::Auto:
            if (LoadDriver()) {
                gPort.backend = Backend::Driver;
            } else if (kHasDirectAccess && IsWin9xFamily()) {
                gPort.backend = Backend::Direct;
            } else {
                gPort.backend = Backend::None;
            }
            break;
        case PortBackend::Direct:
            gPort.backend = Backend::Direct;
            break;
        case PortBackend::Ppdev:
        case PortBackend::Empty:
            gPort.backend = Backend::None;
            break;
    }
    return gPort.backend;
}

uint8_t DriverIn8(uint16_t port) {
    return static_cast<uint8_t>(static_cast<unsigned>(gPort.inp(static_cast<short>(port))) &
                                kByteMask);
}

uint8_t TEKO32_CALL Read8(void*, uint16_t port) {
    switch (Resolve()) {
        case Backend::Driver:
            return DriverIn8(port);
        case Backend::Direct:
            return DirectIn8(port);
        default:
            return kByteMask;
    }
}

void TEKO32_CALL Write8(void*, uint16_t port, uint8_t value) {
    switch (Resolve()) {
        case Backend::Driver:
            gPort.out(static_cast<short>(port), static_cast<short>(value));
            break;
        case Backend::Direct:
            DirectOut8(port, value);
            break;
        default:
            break;
    }
}

// `bytes` EPP data cycles through the driver, the first in the low byte.
uint32_t DriverInWide(uint16_t port, unsigned bytes) {
    uint32_t value = 0;
    for (unsigned i = 0; i < bytes; ++i)
        value |= uint32_t{DriverIn8(port)} << (i * kBitsPerByte);
    return value;
}

uint16_t TEKO32_CALL Read16(void*, uint16_t port) {
    switch (Resolve()) {
        case Backend::Driver:
            return static_cast<uint16_t>(DriverInWide(port, sizeof(uint16_t)));
        case Backend::Direct:
            return DirectIn16(port);
        default:
            return 0xFFFF;
    }
}

uint32_t TEKO32_CALL Read32(void*, uint16_t port) {
    switch (Resolve()) {
        case Backend::Driver:
            return DriverInWide(port, sizeof(uint32_t));
        case Backend::Direct:
            return DirectIn32(port);
        default:
            return 0xFFFFFFFFu;
    }
}

void TEKO32_CALL Read32Repeat(void* context, uint16_t port, uint32_t* dst, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        dst[i] = Read32(context, port);
}

// Only a process that runs the port instructions itself may mask interrupts.
void TEKO32_CALL MaskInterrupts(void*, int masked) {
    if (Resolve() == Backend::Direct) DirectMask(masked != 0);
}

constexpr TekoPortIo kWindowsPort{nullptr, Read8,        Write8,        Read16,
                                  Read32,  Read32Repeat, MaskInterrupts};

}  // namespace

namespace os {

TekoPortIo DefaultPortIo() {
    return kWindowsPort;
}

void ResetPortBackends() {
    UnloadDriver();
    gPort = PortState{};
}

}  // namespace os

bool SelectPortBackend(PortBackend backend, const char* /*device*/, std::string* whyNot) {
    auto refuse = [whyNot](const char* reason) {
        if (whyNot) *whyNot = reason;
        return false;
    };
    if (backend == PortBackend::Ppdev) return refuse("parport devices exist on Linux only");
    if (backend == PortBackend::Direct && !(kHasDirectAccess && IsWin9xFamily())) {
        return refuse(
            "port instructions need a 32-bit process on the Windows 9x family; "
            "install inpout32.dll instead");
    }
    os::ResetPortBackends();
    gPort.choice = backend;
    SetPortIo(nullptr);
    return true;
}

}  // namespace teko::platform
