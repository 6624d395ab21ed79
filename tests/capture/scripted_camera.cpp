#include "scripted_camera.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "link/link.h"
#include "pipeline/pipeline.h"
#include "platform/platform.h"
#include "support/port_io.h"

namespace teko::testing {
namespace {

constexpr int32_t kSyncPulses = 2;
constexpr int32_t kStartFrameCommand = static_cast<int32_t>(link::Register::StartFrame);
constexpr int32_t kValueBits = 16;
// Control value of a probed, directly attached port: direction bit, SELECT
// IN, AUTOFEED 1, STROBE 0.
constexpr uint8_t kShadow = link::kDirection | link::kSelectIn | link::kAutofeed;

ScriptedCamera* gCurrent = nullptr;

}  // namespace

ScriptedCamera::ScriptedCamera() {
    const TekoPortIo io = MakePortIo(*this);
    platform::SetPortIo(&io);
    link::LinkState& st = link::State();
    st.dataPort = kBase;
    st.statusPort = kBase + link::kStatusOffset;
    st.controlPort = kBase + link::kControlOffset;
    st.eppDataPort = kBase + link::kEppDataOffset;
    st.ecrPort = kBase + link::kEcrOffset;
    st.controlShadow = kShadow;
    st.linkFlags = link::kCameraPresent | link::kPs2Mode;
    st.probed = true;
    gCurrent = this;
}

ScriptedCamera::~ScriptedCamera() {
    platform::SetPortIo(nullptr);
    gCurrent = nullptr;
}

ScriptedCamera* ScriptedCamera::Current() {
    return gCurrent;
}

void ScriptedCamera::Log(WireEvent event) {
    // Runs of data-register traffic are one event each.
    const bool coalesce = event.kind == Wire::SampleRead || event.kind == Wire::SkipLine;
    if (coalesce && !events.empty() && events.back().kind == event.kind) return;
    events.push_back(event);
}

std::vector<WireEvent> ScriptedCamera::RegisterWrites() const {
    std::vector<WireEvent> writes;
    std::copy_if(events.begin(), events.end(), std::back_inserter(writes), [](const WireEvent& e) {
        return e.kind == Wire::RegisterWrite || e.kind == Wire::RegisterRefused;
    });
    return writes;
}

uint8_t ScriptedCamera::Read8(uint16_t port) {
    ScriptedCamera& cam = *this;
    ++cam.portAccesses;
    if (port == kBase + link::kStatusOffset) {
        ++cam.statusReads;
        const bool ack =
            cam.awaitingRegisterAck_ ? !cam.refusedRegisters.contains(cam.command_) : cam.lineReady;
        return ack ? 0 : link::kAck;
    }
    if (port == kBase) {
        cam.Log({Wire::SampleRead});
        return cam.sample;
    }
    return 0xFF;
}

void ScriptedCamera::Write8(uint16_t port, uint8_t value) {
    ScriptedCamera& cam = *this;
    ++cam.portAccesses;
    if (port == kBase + link::kControlOffset) {
        cam.OnControl(value);
    } else if (port == kBase) {
        ++cam.skipLineWrites;
        cam.Log({Wire::SkipLine});
    }
}

uint16_t ScriptedCamera::Read16(uint16_t) {
    ++portAccesses;
    return 0;
}

uint32_t ScriptedCamera::Read32(uint16_t) {
    ++portAccesses;
    return 0;
}

void ScriptedCamera::Read32Repeat(uint16_t, uint32_t* dst, uint32_t count) {
    ++portAccesses;
    std::fill_n(dst, count, 0u);
}

void ScriptedCamera::MaskInterrupts(int masked) {
    interruptsMasked = masked != 0;
}

void ScriptedCamera::OnControl(uint8_t value) {
    const bool strobeRises = (value & link::kStrobe) && !(control_ & link::kStrobe);
    const bool windowLine = (value & link::kAutofeed) == 0;
    control_ = value;
    if (!windowOpen_ && windowLine) {
        windowOpen_ = true;
        pulses_ = 0;
        awaitingRegisterAck_ = false;
        return;
    }
    if (windowOpen_ && !windowLine) {
        windowOpen_ = false;
        OnWindow(pulses_);
        return;
    }
    if (windowOpen_ && strobeRises) ++pulses_;
}

void ScriptedCamera::OnWindow(int32_t pulses) {
    switch (phase_) {
        case Phase::Idle:
            if (pulses == kSyncPulses) phase_ = Phase::Number;
            return;
        case Phase::Number:
            command_ = pulses;
            phase_ = Phase::Idle;
            if (command_ == kStartFrameCommand) {
                Log({Wire::StartFrame});
                return;
            }
            awaitingRegisterAck_ = true;
            if (refusedRegisters.contains(command_)) {
                Log({Wire::RegisterRefused, command_});
                return;
            }
            phase_ = Phase::Data;
            bitsSeen_ = 0;
            value_ = 0;
            return;
        case Phase::Data:
            // Sixteen data windows, bit 0 first, then the closing window.
            if (bitsSeen_ < kValueBits) {
                if (pulses > 0) value_ |= 1 << bitsSeen_;
                ++bitsSeen_;
                return;
            }
            Log({Wire::RegisterWrite, command_, value_});
            phase_ = Phase::Idle;
            return;
    }
}

void RecordingStage::Process(uint8_t*& current) {
    const int32_t now = inside.fetch_add(1) + 1;
    int32_t seen = maxInside.load();
    while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
    }
    while (hold.load())
        std::this_thread::yield();
    const int32_t run = runs.fetch_add(1) + 1;
    if (workBuffer != nullptr) std::memset(workBuffer, run & 0xFF, kFrameBytes);
    if (ScriptedCamera* cam = ScriptedCamera::Current()) cam->Log({Wire::FilterRun});
    current = workBuffer;
    inside.fetch_sub(1);
}

RecordingStage* InstallTestStack(int32_t rawWidth, int32_t rawHeight) {
    auto* stage = static_cast<RecordingStage*>(pipeline::NewFilter<RecordingStage>());
    pipeline::AppendFilter(stage);
    pipeline::SetRawSize(rawWidth, rawHeight);
    pipeline::AllocateFilterBuffers();
    pipeline::SetBuffersReady(true);
    return stage;
}

}  // namespace teko::testing
