#include "instruction_counter.h"

#if defined(__linux__) && __has_include(<linux/perf_event.h>)
#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#endif

namespace teko::bench {

#if defined(__linux__) && __has_include(<linux/perf_event.h>)

InstructionCounter::InstructionCounter() {
    perf_event_attr attr;
    std::memset(&attr, 0, sizeof attr);
    attr.type = PERF_TYPE_HARDWARE;
    attr.size = sizeof attr;
    attr.config = PERF_COUNT_HW_INSTRUCTIONS;
    attr.exclude_kernel = 1;
    attr.exclude_hv = 1;
    // This thread, any processor, no group; counting from now on.
    fd_ = static_cast<int>(syscall(SYS_perf_event_open, &attr, 0, -1, -1, 0));
    if (fd_ < 0) return;
    // Some hypervisors open the event but never count: treat that as absent.
    const uint64_t before = Read();
    volatile uint32_t sink = 0;
    for (uint32_t i = 0; i < 1000; ++i)
        sink = sink + i;
    if (Read() <= before) {
        close(fd_);
        fd_ = -1;
    }
}

InstructionCounter::~InstructionCounter() {
    if (fd_ >= 0) close(fd_);
}

uint64_t InstructionCounter::Read() const {
    uint64_t count = 0;
    if (fd_ < 0 || read(fd_, &count, sizeof count) != static_cast<ssize_t>(sizeof count)) return 0;
    return count;
}

#else

InstructionCounter::InstructionCounter() = default;
InstructionCounter::~InstructionCounter() = default;
uint64_t InstructionCounter::Read() const {
    return 0;
}

#endif

}  // namespace teko::bench
