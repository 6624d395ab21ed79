// Every configuration: the filters built, the raw frame negotiated and the
// sensor window written at the largest picture of its mode, for both sensor
// types; and the two EnableZoom stacks.
#include <typeindex>
#include <typeinfo>
#include <vector>

#include "pipeline/filters/filters.h"
#include "pipeline/pipeline.h"
#include "scripted_camera.h"

namespace {

using teko::pipeline::BuffersReady;
using teko::pipeline::CFilter;
using teko::pipeline::CMosaicBlockToYcc;
using teko::pipeline::CMosaicInterpolateToYcc;
using teko::pipeline::CMosaicToYcInPlace;
using teko::pipeline::ConfigurationCode;
using teko::pipeline::CYcCbFirstToRgb24;
using teko::pipeline::CYcCbFirstToRgb555;
using teko::pipeline::CYcCbFirstToUyvy;
using teko::pipeline::CYccHorizontalSharpen;
using teko::pipeline::CYccHorizontalStretch;
using teko::pipeline::CYccLineDoubler;
using teko::pipeline::CYccLineTripler;
using teko::pipeline::CYcCrFirstToRgb24;
using teko::pipeline::CYcCrFirstToRgb555;
using teko::pipeline::CYcCrFirstToUyvy;
using teko::pipeline::CYccSharpen;
using teko::pipeline::CYccToRgb24;
using teko::pipeline::CYccToRgb555;
using teko::pipeline::CYccToUyvy;
using teko::pipeline::CYccVerticalSmooth;
using teko::pipeline::CYcHorizontalStretch;
using teko::pipeline::CYcSharpen;
using teko::pipeline::GetFilter;
using teko::pipeline::GetFilterCount;
using teko::pipeline::OutputStage;
using teko::pipeline::RawFrameBuffer;
using teko::pipeline::RawHeight;
using teko::pipeline::RawWidth;
using teko::testing::kTypeShort;
using teko::testing::kTypeTall;
using Classes = std::vector<std::type_index>;

Classes BuiltClasses() {
    Classes classes;
    for (int32_t i = 0; i < GetFilterCount(); ++i) {
        const CFilter& filter = *GetFilter(i);
        classes.emplace_back(typeid(filter));
    }
    return classes;
}

const std::type_index BlockToYcc = typeid(CMosaicBlockToYcc);
const std::type_index InterpToYcc = typeid(CMosaicInterpolateToYcc);
const std::type_index ToYcInPlace = typeid(CMosaicToYcInPlace);
const std::type_index YccStretch = typeid(CYccHorizontalStretch);
const std::type_index YcStretch = typeid(CYcHorizontalStretch);
const std::type_index Doubler = typeid(CYccLineDoubler);
const std::type_index Tripler = typeid(CYccLineTripler);
const std::type_index YccSharpen = typeid(CYccSharpen);
const std::type_index YccHSharpen = typeid(CYccHorizontalSharpen);
const std::type_index VSmooth = typeid(CYccVerticalSmooth);
const std::type_index YcSharpen = typeid(CYcSharpen);
const std::type_index ToRgb24 = typeid(CYccToRgb24);
const std::type_index ToRgb555 = typeid(CYccToRgb555);
const std::type_index ToUyvy = typeid(CYccToUyvy);
const std::type_index CbRgb24 = typeid(CYcCbFirstToRgb24);
const std::type_index CrRgb24 = typeid(CYcCrFirstToRgb24);
const std::type_index CbRgb555 = typeid(CYcCbFirstToRgb555);
const std::type_index CrRgb555 = typeid(CYcCrFirstToRgb555);
const std::type_index CbUyvy = typeid(CYcCbFirstToUyvy);
const std::type_index CrUyvy = typeid(CYcCrFirstToUyvy);

const std::vector<Classes> kStacks = {
    /* 0 */ {BlockToYcc, YccStretch, Tripler, ToRgb555},
    /* 1 */ {BlockToYcc, YccStretch, YccHSharpen, Tripler, ToRgb555},
    /* 2 */ {InterpToYcc, YccStretch, Tripler, Doubler, ToRgb555},
    /* 3 */ {InterpToYcc, YccStretch, YccHSharpen, Tripler, Doubler, ToRgb555},
    /* 4 */ {ToYcInPlace, YcStretch, CrRgb555},
    /* 5 */ {ToYcInPlace, YcStretch, YcSharpen, CbRgb555},
    /* 6 */ {InterpToYcc, YccStretch, Doubler, ToRgb555},
    /* 7 */ {InterpToYcc, YccStretch, Doubler, YccSharpen, ToRgb555},
    /* 8 */ {BlockToYcc, YccStretch, Tripler, ToRgb24},
    /* 9 */ {BlockToYcc, YccStretch, YccHSharpen, Tripler, ToRgb24},
    /* 10 */ {InterpToYcc, YccStretch, Tripler, Doubler, ToRgb24},
    /* 11 */ {InterpToYcc, YccStretch, YccHSharpen, Tripler, Doubler, ToRgb24},
    /* 12 */ {ToYcInPlace, YcStretch, CrRgb24},
    /* 13 */ {ToYcInPlace, YcStretch, YcSharpen, CbRgb24},
    /* 14 */ {InterpToYcc, YccStretch, Doubler, ToRgb24},
    /* 15 */ {InterpToYcc, YccStretch, Doubler, YccSharpen, ToRgb24},
    /* 16 */ {BlockToYcc, YccStretch, Tripler, ToUyvy},
    /* 17 */ {BlockToYcc, YccStretch, YccHSharpen, Tripler, ToUyvy},
    /* 18 */ {InterpToYcc, YccStretch, Tripler, Doubler, ToUyvy},
    /* 19 */ {InterpToYcc, YccStretch, YccHSharpen, Tripler, Doubler, ToUyvy},
    /* 20 */ {ToYcInPlace, YcStretch, CrUyvy},
    /* 21 */ {ToYcInPlace, YcStretch, YcSharpen, CbUyvy},
    /* 22 */ {InterpToYcc, YccStretch, Doubler, ToUyvy},
    /* 23 */ {InterpToYcc, YccStretch, Doubler, YccSharpen, ToUyvy},
};

// By front (code & 7), at the largest picture of the mode.
struct FrontGeometry {
    int32_t rawWidth, rawHeight;
    int32_t topShort, leftShort;  // sensor type 2
    int32_t topTall, leftTall;    // other types
};
constexpr FrontGeometry kFronts[8] = {
    {504, 82, 2, 5, 4, 6},  {508, 82, 2, 4, 4, 5},  {504, 84, 2, 5, 4, 6},  {504, 84, 2, 5, 4, 6},
    {504, 241, 4, 5, 6, 6}, {508, 243, 2, 4, 6, 5}, {504, 243, 2, 5, 6, 6}, {504, 244, 2, 5, 6, 6},
};

using StackTest = teko::testing::PipelineTest;

TEST_F(StackTest, EveryConfigurationAtTheLargestPicture) {
    for (int32_t code = 0; code < 24; ++code) {
        SCOPED_TRACE(code);
        const int32_t sharpen = code & 1, zoom = (code >> 1) & 1, allLines = (code >> 2) & 1;
        // Output depth is ignored with packed YUV; realizedFilter values other
        // than 1 leave the choice to the depth.
        const int32_t depth = code >= 16 ? (code % 2 == 0 ? 16 : 24) : ((code & 8) ? 24 : 16);
        const int32_t realized = code >= 16 ? 1 : (code % 3 == 0 ? 0 : (code % 3 == 1 ? 2 : -1));
        InitFilterStack(zoom, allLines, sharpen);
        SetRealizedFilter(realized);
        const int32_t w = zoom ? 640 : 320, h = zoom ? 480 : 240;
        const FrontGeometry& g = kFronts[code & 7];

        SetSensorType(kTypeShort);
        ASSERT_EQ(SetFrameSize(w, h, depth), 1);
        EXPECT_EQ(ConfigurationCode(), code);
        EXPECT_EQ(BuiltClasses(), kStacks[code]);
        EXPECT_EQ(OutputStage(), GetFilter(GetFilterCount() - 1));
        EXPECT_EQ(RawWidth(), g.rawWidth);
        EXPECT_EQ(RawHeight(), g.rawHeight);
        EXPECT_EQ(LastWindow(), (std::vector<int32_t>{g.topShort, g.leftShort, 0}));
        EXPECT_TRUE(BuffersReady());

        SetSensorType(kTypeTall);
        ASSERT_EQ(SetFrameSize(w, h, depth), 1);
        EXPECT_EQ(LastWindow(), (std::vector<int32_t>{g.topTall, g.leftTall, 0}));
    }
    EXPECT_EQ(messages.Count(), 0u);
}

TEST_F(StackTest, EnableZoomBuildsItsOwnStacksAndLeavesThemUnready) {
    ASSERT_EQ(SetFrameSize(320, 240, 24), 1);
    ASSERT_EQ(EnableZoom(1), 1);
    EXPECT_EQ(BuiltClasses(),
              (Classes{InterpToYcc, YccStretch, Doubler, VSmooth, YccSharpen, ToRgb24}));
    const CFilter& stage = *OutputStage();
    EXPECT_EQ(typeid(stage), typeid(CYccToRgb24));
    EXPECT_FALSE(BuffersReady());
    EXPECT_EQ(RawFrameBuffer(), nullptr);
    ASSERT_EQ(EnableZoom(0), 1);
    EXPECT_EQ(BuiltClasses(), (Classes{BlockToYcc, YccStretch, VSmooth, YccSharpen, ToRgb24}));
    EXPECT_FALSE(BuffersReady());
}

}  // namespace
