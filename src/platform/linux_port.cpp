// Port access on Linux. Each port base is resolved on its first access and
// then keeps its backend:
//  Auto    the parport device whose port sits at that base
//          (/proc/sys/dev/parport/parportN/base-addr) when it can be opened and
//          claimed; else direct access when ioperm grants it (x86); else an
//          empty port, with one line on standard error saying why;
//  Direct  direct access, else an empty port and the reason once;
//  Ppdev   the given device (at its own base) or the device at each base;
//  Empty   every read answers all ones, silently.
// The driver reaches base..base+4 and base+0x402; each address is mapped to
// its base. Nothing happens until the first access, so a default that is
// never used costs nothing and prints nothing.
//
// Threads: like the library, this expects one thread at a time on the port.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/platform.h"
#include "platform/ppdev.h"
#include "platform/sys_calls.h"

namespace teko::platform {
namespace {

constexpr uint16_t kStandardSpan = 5;  // data, status, control, EPP address, EPP data
constexpr uint16_t kEcrOffset = 0x402;
constexpr uint16_t kBaseAlignMask = 0x3;
constexpr int kMaxParports = 8;
constexpr uint8_t kAbsent8 = 0xFF;
constexpr uint16_t kAbsent16 = 0xFFFF;
constexpr uint32_t kAbsent32 = 0xFFFFFFFFu;

enum class Kind { Ppdev, Direct, Empty };

struct Window {
    uint16_t base = 0;
    Kind kind = Kind::Empty;
    std::unique_ptr<PpdevPort> ppdev;
};

struct Parport {
    std::string device;
    uint16_t base;
};

bool InWindow(uint16_t port, uint16_t base) {
    const unsigned offset = static_cast<unsigned>(port) - base;
    return port >= base && (offset < kStandardSpan || offset == kEcrOffset);
}

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

class Resolver {
  public:
    void Select(PortBackend choice, std::string device, std::unique_ptr<PpdevPort> opened,
                uint16_t deviceBase) {
        Reset();
        choice_ = choice;
        device_ = std::move(device);
        if (opened) {
            windows_.push_back(Window{deviceBase, Kind::Ppdev, std::move(opened)});
        }
    }

    void Reset() {
        windows_.clear();
        parports_.clear();
        scanned_ = false;
        choice_ = PortBackend::Auto;
        device_.clear();
    }

    Window& For(uint16_t port) {
        if (last_ < windows_.size() && InWindow(port, windows_[last_].base)) {
            return windows_[last_];
        }
        for (std::size_t i = 0; i < windows_.size(); ++i) {
            if (InWindow(port, windows_[i].base)) {
                last_ = i;
                return windows_[i];
            }
        }
        windows_.push_back(Resolve(BaseOf(port)));
        last_ = windows_.size() - 1;
        return windows_.back();
    }

    // The parport devices and their bases, read once.
    const std::vector<Parport>& Parports() {
        if (scanned_) return parports_;
        scanned_ = true;
        for (int n = 0; n < kMaxParports; ++n) {
            const std::string entry = "/proc/sys/dev/parport/parport" + std::to_string(n);
            std::string text;
            if (!sys::Sys().readText((entry + "/base-addr").c_str(), &text)) continue;
            char* end = nullptr;
            const unsigned long base = std::strtoul(text.c_str(), &end, 10);
            if (end == text.c_str() || base == 0 || base > 0xFFFF) continue;
            parports_.push_back({"/dev/parport" + std::to_string(n), static_cast<uint16_t>(base)});
        }
        return parports_;
    }

  private:
    uint16_t BaseOf(uint16_t port) {
        for (const Parport& p : Parports()) {
            if (InWindow(port, p.base)) return p.base;
        }
        return static_cast<uint16_t>(port & ~kBaseAlignMask);
    }

    const Parport* ParportAt(uint16_t base) {
        for (const Parport& p : Parports()) {
            if (p.base == base) return &p;
        }
        return nullptr;
    }

    // 0 when ioperm granted the port, else the errno of the refusal.
    int DirectRefusal(uint16_t base) {
        if (sys::Sys().ioperm(base, kStandardSpan, 1) == 0 &&
            sys::Sys().ioperm(base + kEcrOffset, 1, 1) == 0) {
            return 0;
        }
        return errno != 0 ? errno : EPERM;
    }

    // Without root, EPERM is a missing privilege; as root (a container, a
    // locked-down kernel) or with another error, the system itself refuses.
    std::string NoPermission(uint16_t base, int refusal) {
        const Parport* p = ParportAt(base);
        const std::string device = p ? p->device : std::string("/dev/parport0");
        if (refusal == EPERM && !sys::Sys().runsAsRoot()) {
            return "no permission for port " + Hex(base) + ": run as root, or use " + device;
        }
        return "the system refused direct port access (no permission, or the kernel forbids it "
               "here); use " +
               device;
    }

    Window Resolve(uint16_t base) {
        Window w{base, Kind::Empty, nullptr};
        std::string why;
        const bool tryDevice =
            choice_ == PortBackend::Auto || (choice_ == PortBackend::Ppdev && device_.empty());
        const bool tryDirect = choice_ == PortBackend::Auto || choice_ == PortBackend::Direct;
        if (tryDevice) {
            if (const Parport* p = ParportAt(base)) {
                w.ppdev = PpdevPort::Open(p->device, &why);
                if (w.ppdev) {
                    w.kind = Kind::Ppdev;
                    return w;
                }
            } else if (choice_ == PortBackend::Ppdev) {
                why = "no parport device at " + Hex(base);
            }
        } else if (choice_ == PortBackend::Ppdev) {
            why = device_ + " is not the port at " + Hex(base);
        }
        if (tryDirect) {
            const int refusal = sys::HasPortInstructions() ? DirectRefusal(base) : -1;
            if (refusal == 0) {
                w.kind = Kind::Direct;
                return w;
            }
            if (!why.empty()) why += "; ";
            why += refusal > 0 ? NoPermission(base, refusal)
                               : "this processor has no port instructions";
        }
        if (choice_ != PortBackend::Empty) {
            std::fprintf(stderr, "teko32: port %s reads as empty: %s\n", Hex(base).c_str(),
                         why.c_str());
        }
        return w;
    }

    std::vector<Window> windows_;
    std::size_t last_ = 0;
    std::vector<Parport> parports_;
    bool scanned_ = false;
    PortBackend choice_ = PortBackend::Auto;
    std::string device_;
};

Resolver gResolver;

uint8_t TEKO32_CALL Read8(void*, uint16_t port) {
    Window& w = gResolver.For(port);
    switch (w.kind) {
        case Kind::Ppdev:
            return w.ppdev->Read8(static_cast<uint16_t>(port - w.base));
        case Kind::Direct:
            return sys::Sys().inb(port);
        default:
            return kAbsent8;
    }
}

void TEKO32_CALL Write8(void*, uint16_t port, uint8_t value) {
    Window& w = gResolver.For(port);
    switch (w.kind) {
        case Kind::Ppdev:
            w.ppdev->Write8(static_cast<uint16_t>(port - w.base), value);
            break;
        case Kind::Direct:
            sys::Sys().outb(port, value);
            break;
        default:
            break;
    }
}

uint16_t TEKO32_CALL Read16(void*, uint16_t port) {
    Window& w = gResolver.For(port);
    switch (w.kind) {
        case Kind::Ppdev:
            return w.ppdev->Read16();
        case Kind::Direct:
            return sys::Sys().inw(port);
        default:
            return kAbsent16;
    }
}

uint32_t TEKO32_CALL Read32(void*, uint16_t port) {
    Window& w = gResolver.For(port);
    switch (w.kind) {
        case Kind::Ppdev:
            return w.ppdev->Read32();
        case Kind::Direct:
            return sys::Sys().inl(port);
        default:
            return kAbsent32;
    }
}

void TEKO32_CALL Read32Repeat(void*, uint16_t port, uint32_t* dst, uint32_t count) {
    Window& w = gResolver.For(port);
    switch (w.kind) {
        case Kind::Ppdev:
            w.ppdev->Read32Repeat(dst, count);
            break;
        case Kind::Direct:
            sys::Sys().insl(port, dst, count);
            break;
        default:
            for (uint32_t i = 0; i < count; ++i)
                dst[i] = kAbsent32;
            break;
    }
}

// A process given ioperm may not mask interrupts; neither may a device user.
void TEKO32_CALL MaskInterrupts(void*, int) {}

constexpr TekoPortIo kLinuxPort{nullptr, Read8,        Write8,        Read16,
                                Read32,  Read32Repeat, MaskInterrupts};

}  // namespace

namespace os {

TekoPortIo DefaultPortIo() {
    return kLinuxPort;
}

void ResetPortBackends() {
    gResolver.Reset();
}

}  // namespace os

bool SelectPortBackend(PortBackend backend, const char* device, std::string* whyNot) {
    auto refuse = [whyNot](std::string reason) {
        if (whyNot) *whyNot = std::move(reason);
        return false;
    };
    if (backend == PortBackend::Direct && !sys::HasPortInstructions()) {
        return refuse("this processor has no port instructions; use a /dev/parportN device");
    }
    std::unique_ptr<PpdevPort> opened;
    uint16_t deviceBase = 0;
    std::string name = device ? device : "";
    if (backend == PortBackend::Ppdev && !name.empty()) {
        gResolver.Reset();
        for (const Parport& p : gResolver.Parports()) {
            if (p.device == name) deviceBase = p.base;
        }
        std::string why;
        opened = PpdevPort::Open(name, &why);
        // A missing file or one that is no parport device fails to open or to
        // be claimed: that is the reason to give.
        if (!opened) return refuse(why);
        if (deviceBase == 0) {
            return refuse(name +
                          " is a parport device, but the kernel lists no port address for "
                          "it under /proc/sys/dev/parport");
        }
    }
    gResolver.Select(backend, backend == PortBackend::Ppdev ? name : std::string(),
                     std::move(opened), deviceBase);
    SetPortIo(nullptr);
    return true;
}

}  // namespace teko::platform
