// The system calls the Linux port backends make, behind one table so that
// tests can put a fake in place of the kernel (no port exists on the build
// machines). Linux only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace teko::platform::sys {

struct SysCalls {
    int (*open)(const char* path);  // read-write; a file descriptor or -1 (errno set)
    int (*close)(int fd);
    int (*ioctl)(int fd, unsigned long request, void* argument);
    long (*read)(int fd, void* buffer, std::size_t bytes);
    // Direct port access (x86): permission, then the port instructions.
    int (*ioperm)(unsigned long from, unsigned long count, int on);
    uint8_t (*inb)(uint16_t port);
    void (*outb)(uint16_t port, uint8_t value);
    uint16_t (*inw)(uint16_t port);
    uint32_t (*inl)(uint16_t port);
    void (*insl)(uint16_t port, uint32_t* dst, std::size_t count);
    // The whole of a small text file (the parport entries under /proc); false
    // when it cannot be read.
    bool (*readText)(const char* path, std::string* text);
    // True when the process runs as root (effective user 0): a refused ioperm
    // then means the kernel forbids port access, not a missing privilege.
    bool (*runsAsRoot)();
};

// The table in use: the kernel's, unless a test installed its own.
const SysCalls& Sys();
// Installs *calls (copied), or the kernel's for nullptr.
void SetSysCallsForTesting(const SysCalls* calls);
// The kernel's table.
SysCalls KernelSysCalls();

// True when this build can reach ports with the processor's instructions.
bool HasPortInstructions();

}  // namespace teko::platform::sys
