// The virtual camera's picture: the colour model against the pipeline's
// conversion chain, the sensor window and exposure registers, the built-in
// scene's brightness as the automatic exposure sees it, and scene files.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "link/link.h"
#include "support/library_fixture.h"
#include "teko32/teko32_ext.h"
#include "teko32sim/scene.h"
#include "teko32sim/virtual_camera.h"

namespace {

using teko::sim::BuiltInLayout;
using teko::sim::CameraConfig;
using teko::sim::VirtualCamera;
namespace link = teko::link;
namespace sim = teko::sim;

constexpr uint16_t kBase = 0x378;

TEST(SceneModel, CellsReproduceColoursThroughThePipeline) {
    std::vector<std::array<uint8_t, 3>> colours(BuiltInLayout::kPatchColours.begin(),
                                                BuiltInLayout::kPatchColours.end());
    for (int v = 16; v <= 225; v += 3)
        colours.push_back({uint8_t(v), uint8_t(v), uint8_t(v)});
    for (const auto& c : colours) {
        const sim::MosaicCell cell = sim::CellForColour(c[0], c[1], c[2]);
        // The samples of the cell are real 8-bit samples.
        EXPECT_LE(std::abs(cell.cr), std::min<int>(cell.y, 255 - cell.y));
        EXPECT_LE(std::abs(cell.cb), std::min<int>(cell.y, 255 - cell.y));
        const auto out = sim::ColourForCell(cell);
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_NEAR(out[ch], c[ch], 8) << int(c[0]) << "," << int(c[1]) << "," << int(c[2]);
    }
}

class SimSceneTest : public teko::testing::LibraryTest {
  protected:
    VirtualCamera& Attach(const CameraConfig& config = {}) {
        camera_ = std::make_unique<VirtualCamera>(config);
        EXPECT_TRUE(camera_->Install());
        EXPECT_NE(link::ProbePort(kBase) & link::kCameraPresent, 0);
        return *camera_;
    }
    void TearDown() override {
        TekoSetPortIo(nullptr);
        LibraryTest::TearDown();
    }
    std::unique_ptr<VirtualCamera> camera_;
};

// The windows the library programs for its largest pictures and for 320x240
// in zoom mode, every line and one line in three.
struct Window {
    int ccdType;
    int top;
    int left;
    int rawWidth;
    int rawHeight;
    bool thirds;
};

TEST_F(SimSceneTest, BuiltInSceneSitsInTheGoodExposureBand) {
    for (const Window w : {Window{0, 6, 6, 504, 244, false}, Window{2, 2, 5, 504, 244, false},
                           Window{0, 66, 64, 256, 124, false}, Window{2, 62, 63, 256, 124, false},
                           Window{0, 4, 6, 504, 84, true}, Window{2, 2, 5, 508, 82, true}}) {
        SCOPED_TRACE(testing::Message() << "type " << w.ccdType << " window " << w.top << ","
                                        << w.left << " raw " << w.rawWidth << "x" << w.rawHeight);
        teko::api::ResetLibraryForTesting();
        CameraConfig config;
        config.ccdType = w.ccdType;
        Attach(config);
        link::SetExtraLeadSample(w.ccdType == 2);
        ASSERT_EQ(link::WriteCameraRegister(5, w.top), 1);
        ASSERT_EQ(link::WriteCameraRegister(6, w.left), 1);
        ASSERT_EQ(link::WriteCameraRegister(10, 50), 1);
        ASSERT_EQ(link::WriteCameraRegister(8, 12), 1);
        std::vector<uint8_t> raw(size_t(w.rawWidth) * w.rawHeight);
        link::StartFrame();
        ASSERT_EQ(w.thirds ? link::ReadFrameEveryThirdLine(w.rawWidth, w.rawHeight, raw.data())
                           : link::ReadFrame(w.rawWidth, w.rawHeight, raw.data()),
                  1);
        // Band 2 of the automatic exposure: 5/10 to 7/10 of the samples.
        const uint32_t bright = (link::State().brightSampleCount / 4) & 0xFFFF;
        const uint32_t samples = (link::State().sampleCount / 4) & 0xFFFF;
        const uint32_t u = samples / 10;
        EXPECT_GE(bright, 5 * u);
        EXPECT_LE(bright, 7 * u);
    }
}

TEST_F(SimSceneTest, FramesFollowWindowAndExposureRegisters) {
    CameraConfig config;
    config.ccdType = 0;
    VirtualCamera& cam = Attach(config);
    ASSERT_EQ(link::WriteCameraRegister(5, 66), 1);  // first row 62
    ASSERT_EQ(link::WriteCameraRegister(6, 64), 1);  // first column 2 * 59
    std::vector<uint8_t> raw(64 * 8);
    auto expectWindow = [&] {
        link::StartFrame();
        ASSERT_EQ(link::ReadFrame(64, 8, raw.data()), 1);
        for (int line = 0; line < 8; ++line)
            for (int c = 0; c < 64; ++c)
                ASSERT_EQ(raw[line * 64 + c], cam.SensorSample(62 + line, 118 + c))
                    << line << "," << c;
    };
    expectWindow();
    const uint8_t base = cam.SensorSample(200, 200);  // a mid-grey background sample
    ASSERT_GT(base, 60);
    ASSERT_LT(base, 120);

    ASSERT_EQ(link::WriteCameraRegister(10, 100), 1);  // twice the light
    EXPECT_EQ(cam.SensorSample(200, 200), std::min(255, 2 * base));
    ASSERT_EQ(link::WriteCameraRegister(10, 400), 1);  // clips
    EXPECT_EQ(cam.SensorSample(200, 200), 255);
    ASSERT_EQ(link::WriteCameraRegister(10, 50), 1);
    ASSERT_EQ(link::WriteCameraRegister(8, 2), 1);  // a smaller value is brighter
    EXPECT_EQ(cam.SensorSample(200, 200), base + 30);
    expectWindow();
    EXPECT_EQ(cam.SensorSample(-1, 0), 0);
    EXPECT_EQ(cam.SensorSample(0, 510), 0);
    EXPECT_EQ(cam.SensorSample(248, 0), 0);
}

TEST_F(SimSceneTest, TheSquareMovesFromFrameToFrame) {
    VirtualCamera& cam = Attach();
    ASSERT_EQ(link::WriteCameraRegister(5, 4), 1);
    ASSERT_EQ(link::WriteCameraRegister(6, 5), 1);
    // The sensor rows that see the band of the moving square.
    const int row = (BuiltInLayout::kMoverTop + 4) * 248 / BuiltInLayout::kHeight;
    std::vector<uint8_t> first(508 * (row + 1)), second(first.size());
    link::StartFrame();
    ASSERT_EQ(link::ReadFrame(508, row + 1, first.data()), 1);
    const sim::SceneImage scene1 = cam.Scene();
    link::StartFrame();
    ASSERT_EQ(link::ReadFrame(508, row + 1, second.data()), 1);
    const sim::SceneImage scene2 = cam.Scene();
    EXPECT_NE(std::vector<uint8_t>(first.end() - 508, first.end()),
              std::vector<uint8_t>(second.end() - 508, second.end()));
    EXPECT_EQ(std::vector<uint8_t>(first.begin(), first.end() - 4 * 508),
              std::vector<uint8_t>(second.begin(), second.end() - 4 * 508));
    const int y = BuiltInLayout::kMoverTop + 1;
    EXPECT_EQ(scene1.At(0, y)[0], 225);  // frame 0: square at the left edge
    EXPECT_EQ(scene2.At(BuiltInLayout::kMoverStep, y)[0], 225);
    EXPECT_NE(scene2.At(0, y)[0], 225);
}

TEST_F(SimSceneTest, SceneFiles) {
    VirtualCamera& cam = Attach();
    const auto dir = std::filesystem::temp_directory_path();
    std::string error;
    const auto missing = (dir / "teko-sim-missing.png").string();
    EXPECT_FALSE(cam.LoadScenePng(missing, &error));
    EXPECT_EQ(error, missing + ": No such file or directory");

    // Each says what is wrong with the file, once.
    const auto text = dir / "teko-sim-not-a-png.png";
    const auto empty = dir / "teko-sim-empty.png";
    const auto cut = dir / "teko-sim-cut.png";
    std::ofstream(text) << "not a picture";
    std::ofstream{empty};
    std::ofstream(cut, std::ios::binary) << "\x89PNG\r\n\x1a\n\0\0";
    EXPECT_FALSE(cam.LoadScenePng(text.string(), &error));
    EXPECT_EQ(error, text.string() + ": not a PNG file");
    EXPECT_FALSE(cam.LoadScenePng(empty.string(), &error));
    EXPECT_EQ(error, empty.string() + ": empty file");
    EXPECT_FALSE(cam.LoadScenePng(cut.string(), &error));
    EXPECT_EQ(error.rfind(cut.string() + ": broken PNG file (", 0), 0u) << error;
    for (const auto& file : {text, empty, cut})
        std::filesystem::remove(file);
    EXPECT_EQ(cam.Scene().width, BuiltInLayout::kWidth);  // unchanged

    // A 2x1 picture: left half red, right half blue.
    const std::vector<uint8_t> pixels{200, 60, 50, 50, 70, 190};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 2;
    image.height = 1;
    image.format = PNG_FORMAT_RGB;
    const auto file = dir / "teko-sim-scene.png";
    ASSERT_TRUE(
        png_image_write_to_file(&image, file.string().c_str(), 0, pixels.data(), 0, nullptr));
    ASSERT_TRUE(cam.LoadScenePng(file.string(), &error)) << error;
    EXPECT_EQ(cam.Scene().rgb, pixels);
    const sim::MosaicCell red = sim::CellForColour(200, 60, 50);
    EXPECT_EQ(cam.SensorSample(10, 100), red.y + red.cr);
    EXPECT_EQ(cam.SensorSample(11, 101), red.y + red.cb);
    const sim::MosaicCell blue = sim::CellForColour(50, 70, 190);
    EXPECT_EQ(cam.SensorSample(10, 400), blue.y + blue.cr);
    std::filesystem::remove(text);
    std::filesystem::remove(file);
}

}  // namespace
