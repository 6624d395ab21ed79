// Automatic exposure: the next shutter value from the brightness statistics
// that the last frame transfer gathered.
#include <algorithm>
#include <array>

#include "api/driver_state.h"
#include "capture/capture.h"
#include "link/link.h"

namespace teko::capture {
namespace {

constexpr int32_t kShutterMax = 400;
constexpr int32_t kShutterMin = 5;
constexpr uint32_t kCountScale = 4;    // both statistics are taken in quarters
constexpr uint32_t kBandDivisor = 10;  // boundaries in tenths of the sample count

constexpr uint16_t kDarkestBand = 0;
constexpr uint16_t kDarkBand = 1;
constexpr uint16_t kBrightBand = 3;
constexpr uint16_t kBrightestBand = 4;

// Band k lies between kBoundaryTenths[k - 1] and kBoundaryTenths[k] tenths of
// the sample count; band 0 has no lower and band 4 no upper boundary.
constexpr std::array<uint32_t, 4> kBoundaryTenths = {2, 5, 7, 9};

struct ShutterStep {
    int32_t above;
    int32_t step;
};
// The largest step whose bound the shutter value exceeds; 1 below all of them.
constexpr std::array<ShutterStep, 8> kSteps = {{
    {120, 60},
    {90, 45},
    {60, 30},
    {40, 20},
    {24, 12},
    {16, 8},
    {10, 5},
    {6, 3},
}};
constexpr int32_t kSmallestStep = 1;

constexpr int32_t StepFor(int32_t shutter) {
    for (const ShutterStep& s : kSteps) {
        if (shutter > s.above) return s.step;
    }
    return kSmallestStep;
}

}  // namespace

int32_t AutoExposureStep(int32_t shutter) {
    const int32_t s = static_cast<uint16_t>(shutter);
    const link::LinkState& stats = link::State();
    const uint32_t bright = static_cast<uint16_t>(stats.brightSampleCount / kCountScale);
    const uint32_t samples = static_cast<uint16_t>(stats.sampleCount / kCountScale);
    const uint32_t unit = samples / kBandDivisor;

    std::array<uint32_t, kBoundaryTenths.size()> boundary{};
    for (std::size_t i = 0; i < boundary.size(); ++i)
        boundary[i] = kBoundaryTenths[i] * unit;

    // Walk from the band of the last frame until the count lies inside one;
    // a count equal to a boundary stays in the first band that reaches it.
    uint16_t band = std::min(api::Driver().exposureBand, kBrightestBand);
    for (;;) {
        if (band < kBrightestBand && bright > boundary[band]) {
            ++band;
        } else if (band > kDarkestBand && bright < boundary[band - 1]) {
            --band;
        } else {
            break;
        }
    }
    api::Driver().exposureBand = band;

    // The limits hold only in the direction of the change, so a value the
    // client set outside them moves towards them step by step.
    int32_t next = s;
    switch (band) {
        case kDarkestBand:
            next = std::min(s + StepFor(s), kShutterMax);
            break;
        case kDarkBand:
            next = std::min(s + 1, kShutterMax);
            break;
        case kBrightBand:
            next = std::max(s - 1, kShutterMin);
            break;
        case kBrightestBand:
            next = std::max(s - StepFor(s), kShutterMin);
            break;
        default:  // the good band keeps the exposure
            break;
    }
    return static_cast<uint16_t>(next);
}

}  // namespace teko::capture
