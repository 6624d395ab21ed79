// Everything the operating system provides to the library: port access,
// the millisecond clock, message display, zero-filled memory, the diagnostic
// log, the processor's vector features and threads. Nothing above this folder includes an
// operating-system header; each piece can be replaced at run time through teko32_ext.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "teko32/teko32_ext.h"

namespace teko::platform {

// ---- Port access -----------------------------------------------------------
// The installed port table. Every helper below is exactly one call into it.
namespace detail {
extern TekoPortIo gPortIo;
}

inline uint8_t In8(uint16_t port) {
    return detail::gPortIo.read8(detail::gPortIo.context, port);
}
inline void Out8(uint16_t port, uint8_t value) {
    detail::gPortIo.write8(detail::gPortIo.context, port, value);
}
inline uint16_t In16(uint16_t port) {
    return detail::gPortIo.read16(detail::gPortIo.context, port);
}
inline uint32_t In32(uint16_t port) {
    return detail::gPortIo.read32(detail::gPortIo.context, port);
}
inline void In32Repeat(uint16_t port, uint32_t* dst, uint32_t count) {
    detail::gPortIo.read32Repeat(detail::gPortIo.context, port, dst, count);
}
inline void MaskInterrupts(bool masked) {
    detail::gPortIo.maskInterrupts(detail::gPortIo.context, masked ? 1 : 0);
}

// Installs a copy of *io, or the platform default for nullptr. False (and
// nothing changed) when a function pointer of the table is missing.
bool SetPortIo(const TekoPortIo* io);
// The platform's own port access (an empty port where none is available).
TekoPortIo DefaultPortIo();

// How the platform's own port access reaches the parallel port.
enum class PortBackend {
    Auto,    // per base address, the first that works (the default): Linux: the
             // /dev/parportN at that base, then direct access; Windows: the
             // inpout32 driver, then port instructions on Windows 9x
    Direct,  // the processor's port instructions (Linux: after ioperm)
    Ppdev,   // Linux parport device
    Empty,   // no port: every read answers all ones
};
// Makes `backend` the platform's own port access and installs it as the
// current one. `device` is for Ppdev only: the device to use (e.g.
// "/dev/parport0"), or nullptr for the device at each base address. False,
// with the reason in *whyNot (when given) and nothing changed, when this
// build has no such backend or the device cannot be opened.
bool SelectPortBackend(PortBackend backend, const char* device, std::string* whyNot);

// ---- Clock -----------------------------------------------------------------
using ClockFn = uint32_t(TEKO32_CALL*)(void* context);
uint32_t NowMs();
void SetClock(ClockFn fn, void* context);

// ---- Messages --------------------------------------------------------------
inline constexpr const char* kMessageCaption = "NOTE";
using MessageFn = void(TEKO32_CALL*)(void* context, const char* text, const char* caption);
// Shows a failure message to the user with the caption "NOTE", and keeps its
// text as the last message shown.
void ShowMessage(const char* text);
void SetMessageHandler(MessageFn fn, void* context);
// Copies the last message shown ("" when none since ClearLastMessage) into
// `out`, cut to fit with its terminating zero. Safe from any thread.
void CopyLastMessage(std::span<char> out);
void ClearLastMessage();

// ---- Memory ----------------------------------------------------------------
using AllocFn = void*(TEKO32_CALL*)(void* context, size_t bytes);
using ReleaseFn = void(TEKO32_CALL*)(void* context, void* block);
// Zero-filled block of `bytes`, or nullptr when the allocation fails.
void* AllocZeroed(std::size_t bytes);
// Releases a block from AllocZeroed; nullptr is accepted.
void Release(void* block);
bool SetAllocator(AllocFn alloc, ReleaseFn release, void* context);

// ---- Diagnostic log --------------------------------------------------------
// Appends `line` (which carries its own newline) to the filter log file; a
// file that cannot be opened, or is not safe to write, is skipped silently.
void AppendFilterLogLine(std::string_view line);

// ---- Processor -------------------------------------------------------------
// The x86-64 feature levels the image kernels are built for: v2 (SSE4.2,
// SSSE3, POPCNT), v3 (v2 with AVX2, BMI2, FMA) and v4 (v3 with AVX-512 F, BW,
// VL, DQ, CD), and the AVX-512 byte permutes (VBMI) that the v4 kernels use
// where present. All false on other processors and when the operating system
// does not save the wide registers.
bool ProcessorHasX86V2();
bool ProcessorHasX86V3();
bool ProcessorHasX86V4();
bool ProcessorHasAvx512Vbmi();

// ---- Threads ---------------------------------------------------------------
class Thread {
  public:
    using Routine = void (*)(void* argument);
    Thread();
    ~Thread();  // joins a thread that was not joined yet
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts `routine(argument)` at once. False when the thread could not be created.
    bool Start(Routine routine, void* argument);
    // Waits, without a time-out, for the thread to end and releases its handle.
    void Join();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Restores every default (port access, clock, message handler, allocator).
void ResetForTesting();

}  // namespace teko::platform
