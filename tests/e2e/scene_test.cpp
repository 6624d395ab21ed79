// The built-in scene through the whole library at the settings at load:
// automatic exposure settles in the good band, and the flat colour patches
// come back in their colours.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "api/driver_state.h"
#include "e2e_support.h"
#include "teko32sim/scene.h"

namespace {

using teko::sim::BuiltInLayout;
using teko::testing::Format;
using teko::testing::Picture;

constexpr uint16_t kGoodBand = 2;
constexpr int kSettleFrames = 40;
constexpr int kWatchedFrames = 60;
constexpr int kPatchTolerance = 16;
// Kept from each patch's edges, in scene pixels: the picture lies a little
// wider than the scene (patch edges up to 18 pixels to the right of the
// scene's near the right-hand patches), and the interpolation and
// sharpening soften every edge over a few pixels.
constexpr int kPatchInsetX = 24;
constexpr int kPatchInsetY = 18;

class SceneTest : public teko::testing::EndToEndTest {
  protected:
    void SetUp() override {
        EndToEndTest::SetUp();
        Open({});
        // InitTeko leaves zoom on: the picture has the scene's size.
        Size(picture, 1, 1, 1);
        frame.assign(picture.Bytes(), 0);
    }

    uint16_t CaptureBand() {
        EXPECT_EQ(CaptureFrameWait(frame.data()), 1);
        return teko::api::Driver().exposureBand;
    }

    // Bottom-up BGR; (x, y) counted from the top.
    std::array<int, 3> Rgb(int x, int y) const {
        const uint8_t* px = frame.data() +
                            static_cast<std::size_t>(picture.height - 1 - y) * picture.RowSize() +
                            static_cast<std::size_t>(x) * 3;
        return {px[2], px[1], px[0]};
    }

    const Picture picture{BuiltInLayout::kWidth, BuiltInLayout::kHeight, Format::Rgb24};
    std::vector<uint8_t> frame;
};

TEST_F(SceneTest, AutomaticExposureSettlesInTheGoodBand) {
    for (const int32_t start : {5, 400}) {
        SCOPED_TRACE(start);
        SetShutterSpeed(start);
        std::vector<uint16_t> bands;
        for (int i = 0; i < kWatchedFrames; ++i)
            bands.push_back(CaptureBand());
        // The first frame of the run that stays in the good band to the end.
        int settled = kWatchedFrames;
        while (settled > 0 && bands[settled - 1] == kGoodBand)
            --settled;
        EXPECT_LT(settled, kSettleFrames) << "shutter " << GetShutterSpeed();
    }
    EXPECT_TRUE(Messages().empty());
}

TEST_F(SceneTest, FlatPatchesComeBackInTheirColours) {
    for (int i = 0; i < kSettleFrames; ++i)
        CaptureBand();
    ASSERT_EQ(CaptureBand(), kGoodBand);
    for (int patch = 0; patch < BuiltInLayout::kPatchColumns * BuiltInLayout::kPatchRows; ++patch) {
        const auto& colour = BuiltInLayout::kPatchColours[patch];
        const int left = BuiltInLayout::kPatchLeft +
                         (patch % BuiltInLayout::kPatchColumns) * BuiltInLayout::kPatchWidth;
        const int top = BuiltInLayout::kPatchTop +
                        (patch / BuiltInLayout::kPatchColumns) * BuiltInLayout::kPatchHeight;
        int worst = 0;
        std::array<int, 3> worstPixel{};
        for (int y = top + kPatchInsetY; y < top + BuiltInLayout::kPatchHeight - kPatchInsetY;
             ++y) {
            for (int x = left + kPatchInsetX; x < left + BuiltInLayout::kPatchWidth - kPatchInsetX;
                 ++x) {
                const auto got = Rgb(x, y);
                for (int c = 0; c < 3; ++c) {
                    const int off = std::abs(got[c] - colour[c]);
                    if (off > worst) {
                        worst = off;
                        worstPixel = got;
                    }
                }
            }
        }
        EXPECT_LE(worst, kPatchTolerance)
            << "patch " << patch << " (" << int(colour[0]) << ", " << int(colour[1]) << ", "
            << int(colour[2]) << "): worst pixel (" << worstPixel[0] << ", " << worstPixel[1]
            << ", " << worstPixel[2] << ")";
    }
}

}  // namespace
