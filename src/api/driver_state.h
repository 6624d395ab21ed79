// Driver state shared by the exported entries: the connection, the capture
// timing and mode, the image settings and the CCD-type record.
#pragma once

#include <atomic>
#include <cstdint>

namespace teko::api {

// A camera register value with its "to be written" flag, kept in one atomic
// word so that a setter on another thread and the capture that writes the
// register never see a pending flag without its value, and a value set while
// the capture writes the previous one is never lost.
class PendingSetting {
  public:
    struct Snapshot {
        int32_t value;
        bool pending;
        uint64_t word;
    };

    explicit constexpr PendingSetting(int32_t value) : word_(Pack(value, true)) {}

    // Stores the value and marks it pending.
    void Set(int32_t value) { word_.store(Pack(value, true), std::memory_order_release); }
    int32_t Value() const { return Load().value; }
    Snapshot Load() const {
        const uint64_t word = word_.load(std::memory_order_acquire);
        return {static_cast<int32_t>(static_cast<uint32_t>(word >> 32)), (word & 1) != 0, word};
    }
    // The register now holds `written`'s value: clear the pending flag unless
    // a new value arrived in the meantime.
    void MarkWritten(const Snapshot& written) {
        uint64_t expected = written.word;
        word_.compare_exchange_strong(expected, written.word & ~uint64_t{1},
                                      std::memory_order_acq_rel);
    }
    // Stores `value` as pending unless the setting changed since `seen` was
    // loaded; false (the newer value kept) otherwise.
    bool Replace(const Snapshot& seen, int32_t value) {
        uint64_t expected = seen.word;
        return word_.compare_exchange_strong(expected, Pack(value, true),
                                             std::memory_order_acq_rel);
    }
    void Reset(int32_t value) { word_.store(Pack(value, true), std::memory_order_relaxed); }

  private:
    static constexpr uint64_t Pack(int32_t value, bool pending) {
        return (uint64_t{static_cast<uint32_t>(value)} << 32) | (pending ? 1u : 0u);
    }
    std::atomic<uint64_t> word_;
};

// Image settings; each may be changed from any thread at any time.
struct ImageSettings {
    PendingSetting shutter{50};     // register 10, ShutterSpeed
    PendingSetting brightness{12};  // register 8, BrightNess
    std::atomic<int32_t> autoShutter{1};
};

// The CCD-type record.
class CCcdType {
  public:
    // Reads the type from the camera unless it is forced, then applies it.
    void DetectCcdType();
    // Selects the extra lead sample when the type reads one.
    void ApplyCcdType();
    void ForceCcdType(int32_t flag, int32_t type);
    int32_t Type() const { return ccdType_.load(std::memory_order_relaxed); }
    int32_t Forced() const { return forced_.load(std::memory_order_relaxed); }
    void Reset();

  private:
    std::atomic<int32_t> forced_{0};
    std::atomic<int32_t> ccdType_{0};
};

// Connection, capture timing and mode. Entries that change these run on the
// client's thread and never overlap a capture (the client stops the capture
// thread first), so they need no synchronisation of their own.
struct DriverState {
    int32_t openCount = 0;
    int32_t framePending = 0;
    int32_t freeRun = 0;
    int32_t modeCounter = 0;
    uint32_t processingTime = 0;
    uint32_t lastFrameEnd = 0;
    uint16_t exposureBand = 0;
};

DriverState& Driver();
ImageSettings& Settings();
CCcdType& CcdType();

// Gives up a frame the camera was armed for: SkipLines(240), framePending = 0.
void DiscardPendingFrame();

// Connection lifecycle (lifecycle.cpp).
uint32_t InitTeko(const uint16_t* ports);
int32_t HaltTeko();

// Returns the whole library to its state at load: driver state, settings,
// pipeline, link, capture thread and platform seams.
void ResetLibraryForTesting();

}  // namespace teko::api
