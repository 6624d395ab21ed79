// The automatic exposure step: band walk over the brightness statistics and
// the shutter change per band.
#include <gtest/gtest.h>

#include "api/driver_state.h"
#include "capture/capture.h"
#include "link/link.h"
#include "support/library_fixture.h"

namespace {

using AutoExposureTest = teko::testing::LibraryTest;

struct StepCase {
    uint32_t b;  // bright samples / 4
    uint32_t n;  // samples / 4
    uint16_t bandBefore;
    int32_t shutter;
    uint16_t bandAfter;
    int32_t next;
};

// N = 1000 gives the boundaries 200, 500, 700, 900.
constexpr StepCase kCases[] = {
    {150, 1000, 2, 50, 0, 70},  // walks 2, 1, 0; step(50) = 20
    {500, 1000, 1, 50, 1, 51},  // on the upper boundary of band 1: stays
    {500, 1000, 3, 50, 2, 50},  // on the lower boundary of band 2: stops there
    {500, 1000, 4, 50, 2, 50},
    {900, 1000, 2, 50, 3, 49},    // 900 is still band 3
    {901, 1000, 0, 50, 4, 30},    // climbs 0 to 4
    {300, 1000, 1, 399, 1, 400},  // dark: +1 up to 400
    {300, 1000, 1, 400, 1, 400},
    {0, 1000, 0, 400, 0, 400},     // very dark at the limit
    {0, 1000, 0, 1000, 0, 400},    // above the limit, brought down to it by a dark frame
    {950, 1000, 4, 1000, 4, 940},  // ... but only stepped down by a bright one
    {950, 1000, 4, 5, 4, 5},       // step(5) = 1, kept at 5
    {800, 1000, 3, 0, 3, 5},       // below the limit, raised to it by a bright frame
    {800, 1000, 3, 3, 3, 5},
    {0, 1000, 0, 3, 0, 4},             // ... but only stepped up by a dark one
    {1, 9, 0, 50, 4, 30},              // u = 0: every boundary is 0, any B > 0 climbs to 4
    {0, 9, 3, 50, 3, 49},              // ... and B = 0 keeps the band
    {600, 1000, 2, 0x10032, 2, 0x32},  // the shutter is taken to 16 bits
};

TEST_F(AutoExposureTest, BandWalkAndShutterChange) {
    for (const StepCase& c : kCases) {
        SCOPED_TRACE(::testing::Message() << "B=" << c.b << " N=" << c.n << " band " << c.bandBefore
                                          << " S=" << c.shutter);
        teko::link::State().brightSampleCount = c.b * 4;
        teko::link::State().sampleCount = c.n * 4;
        teko::api::Driver().exposureBand = c.bandBefore;
        EXPECT_EQ(teko::capture::AutoExposureStep(c.shutter), c.next);
        EXPECT_EQ(teko::api::Driver().exposureBand, c.bandAfter);
    }
}

TEST_F(AutoExposureTest, CountsAreQuarteredAndTakenTo16Bits) {
    // 4 * 0x10000 + 7 samples: N = 0x10001 taken to 16 bits is 1, so u = 0.
    teko::link::State().sampleCount = 4 * 0x10000 + 7;
    teko::link::State().brightSampleCount = 3;  // B = 0
    teko::api::Driver().exposureBand = 1;
    EXPECT_EQ(teko::capture::AutoExposureStep(50), 51);
    EXPECT_EQ(teko::api::Driver().exposureBand, 1);
    teko::link::State().brightSampleCount = 4;  // B = 1 > 0: very bright
    EXPECT_EQ(teko::capture::AutoExposureStep(50), 30);
    EXPECT_EQ(teko::api::Driver().exposureBand, 4);
}

TEST_F(AutoExposureTest, StepTable) {
    // Band 0 adds step(S); the table's bounds are exclusive.
    struct {
        int32_t shutter;
        int32_t step;
    } const steps[] = {{121, 60}, {120, 45}, {91, 45}, {90, 30}, {61, 30}, {60, 20},
                       {41, 20},  {40, 12},  {25, 12}, {24, 8},  {17, 8},  {16, 5},
                       {11, 5},   {10, 3},   {7, 3},   {6, 1},   {0, 1}};
    teko::link::State().sampleCount = 4000;
    teko::link::State().brightSampleCount = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.shutter);
        teko::api::Driver().exposureBand = 0;
        EXPECT_EQ(teko::capture::AutoExposureStep(s.shutter), s.shutter + s.step);
    }
}

}  // namespace
