// The kernel's system calls for the port backends.
#include "platform/sys_calls.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define TEKO32_HAS_PORT_INSTRUCTIONS 1
#else
#define TEKO32_HAS_PORT_INSTRUCTIONS 0
#endif

namespace teko::platform::sys {
namespace {

int Open(const char* path) {
    return ::open(path, O_RDWR | O_CLOEXEC);
}
int Close(int fd) {
    return ::close(fd);
}
int Ioctl(int fd, unsigned long request, void* argument) {
    return ::ioctl(fd, request, argument);
}
long Read(int fd, void* buffer, std::size_t bytes) {
    return ::read(fd, buffer, bytes);
}

bool ReadText(const char* path, std::string* text) {
    std::ifstream file(path);
    if (!file) return false;
    std::ostringstream content;
    content << file.rdbuf();
    *text = content.str();
    return true;
}

#if TEKO32_HAS_PORT_INSTRUCTIONS
int Ioperm(unsigned long from, unsigned long count, int on) {
    return ::ioperm(from, count, on);
}
uint8_t Inb(uint16_t port) {
    return ::inb(port);
}
void Outb(uint16_t port, uint8_t value) {
    ::outb(value, port);
}
uint16_t Inw(uint16_t port) {
    return ::inw(port);
}
uint32_t Inl(uint16_t port) {
    return ::inl(port);
}
void Insl(uint16_t port, uint32_t* dst, std::size_t count) {
    ::insl(port, dst, static_cast<unsigned long>(count));
}
#else
int Ioperm(unsigned long, unsigned long, int) {
    return -1;
}
uint8_t Inb(uint16_t) {
    return 0xFF;
}
void Outb(uint16_t, uint8_t) {}
uint16_t Inw(uint16_t) {
    return 0xFFFF;
}
uint32_t Inl(uint16_t) {
    return 0xFFFFFFFFu;
}
void Insl(uint16_t, uint32_t* dst, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        dst[i] = 0xFFFFFFFFu;
}
#endif

bool RunsAsRoot() {
    return ::geteuid() == 0;
}

SysCalls gSys = KernelSysCalls();

}  // namespace

SysCalls KernelSysCalls() {
    return SysCalls{Open, Close, Ioctl, Read, Ioperm,   Inb,
                    Outb, Inw,   Inl,   Insl, ReadText, RunsAsRoot};
}

const SysCalls& Sys() {
    return gSys;
}

void SetSysCallsForTesting(const SysCalls* calls) {
    gSys = calls ? *calls : KernelSysCalls();
}

bool HasPortInstructions() {
    return TEKO32_HAS_PORT_INSTRUCTIONS != 0;
}

}  // namespace teko::platform::sys
