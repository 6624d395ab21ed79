// A millisecond clock for the library that moves on by a fixed step at every
// reading, so that every capture sees time pass, however the threads run.
#pragma once

#include <atomic>
#include <cstdint>

#include "teko32/teko32_ext.h"

namespace teko::testing {

class SteppingClock {
  public:
    explicit SteppingClock(uint32_t stepMs = 1) : step_(stepMs) {}
    SteppingClock(const SteppingClock&) = delete;
    SteppingClock& operator=(const SteppingClock&) = delete;

    // Makes this the library's clock.
    void Install() { TekoSetClock(Read, this); }
    static void Uninstall() { TekoSetClock(nullptr, nullptr); }

    // The time the next reading returns.
    uint32_t Now() const { return now_.load(std::memory_order_relaxed); }
    void Set(uint32_t ms) { now_.store(ms, std::memory_order_relaxed); }
    void Advance(uint32_t ms) { now_.fetch_add(ms, std::memory_order_relaxed); }

  private:
    static uint32_t TEKO32_CALL Read(void* context) {
        auto* self = static_cast<SteppingClock*>(context);
        return self->now_.fetch_add(self->step_, std::memory_order_relaxed);
    }

    const uint32_t step_;
    std::atomic<uint32_t> now_{0};
};

}  // namespace teko::testing
