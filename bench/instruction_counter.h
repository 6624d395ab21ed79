// Instructions retired by the calling thread in user space, where the
// processor and the system let a program count them (Linux perf events;
// virtual machines often expose no counter). Without one, Available() is
// false and the callgrind script gives the counts instead.
#pragma once

#include <cstdint>

namespace teko::bench {

class InstructionCounter {
  public:
    InstructionCounter();
    ~InstructionCounter();
    InstructionCounter(const InstructionCounter&) = delete;
    InstructionCounter& operator=(const InstructionCounter&) = delete;

    bool Available() const { return fd_ >= 0; }
    // The running count; 0 when unavailable.
    uint64_t Read() const;

  private:
    int fd_ = -1;
};

}  // namespace teko::bench
