// Every configuration gives the same bytes at every processor level. The
// filter tests compare each kernel with its reference; this runs whole stacks,
// so that what one level's filter leaves for the next (row tails, spare bytes,
// untouched rows) is compared too. The portable level is the yardstick.
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "pipeline/pipeline.h"
#include "pipeline/simd_level.h"
#include "scripted_camera.h"

namespace {

using teko::pipeline::SimdLevel;

using teko::testing::ClientRowBytes;
using teko::testing::CodeZooms;
using teko::testing::SelectConfiguration;

constexpr uint8_t kClientFill = 0xA5;

enum class Scene { Noise, Gradient, Black, White, Columns, Checker, MidSwing };

constexpr Scene kScenes[] = {Scene::Noise,   Scene::Gradient, Scene::Black,   Scene::White,
                             Scene::Columns, Scene::Checker,  Scene::MidSwing};

// Raw samples for a scene; rows are `width` samples apart.
void Paint(std::span<uint8_t> raw, int32_t width, Scene scene, uint32_t seed) {
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const auto x = static_cast<int32_t>(i % static_cast<std::size_t>(width));
        const auto y = static_cast<int32_t>(i / static_cast<std::size_t>(width));
        uint8_t v = 0;
        switch (scene) {
            case Scene::Noise:
                v = static_cast<uint8_t>(random());
                break;
            case Scene::Gradient:
                v = static_cast<uint8_t>((x + 2 * y) / 3);
                break;
            case Scene::Black:
                v = 0;
                break;
            case Scene::White:
                v = 255;
                break;
            case Scene::Columns:  // the largest colour differences, of both signs
                v = (x & 1) != 0 ? 255 : 0;
                break;
            case Scene::Checker:
                v = ((x ^ y) & 1) != 0 ? 255 : 0;
                break;
            case Scene::MidSwing:  // around the signed/unsigned boundary
                v = ((x + y) & 1) != 0 ? 0x80 : 0x7F;
                break;
        }
        raw[i] = v;
    }
}

struct Gains {
    int32_t red;
    int32_t blue;
};
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr Gains kGains[] = {{40, 40}, {1, 255}, {255, 1}, {0, -1}, {256, 1000}, {kMin, kMax}};

// One instance per level above the portable one; a level this processor (or
// this build) lacks is reported as skipped.
class LevelsTest : public teko::testing::PipelineTest,
                   public ::testing::WithParamInterface<SimdLevel> {
  protected:
    void SetUp() override {
        PipelineTest::SetUp();
        if (!teko::pipeline::SimdLevelSupported(GetParam())) {
            GTEST_SKIP() << teko::pipeline::SimdLevelName(GetParam()) << " not supported here";
        }
    }

    // The client's buffer after one frame at `level`.
    std::vector<uint8_t> Frame(SimdLevel level, std::span<const uint8_t> raw, std::size_t bytes) {
        EXPECT_TRUE(teko::pipeline::SelectSimdLevel(level));
        std::memcpy(teko::pipeline::RawFrameBuffer(), raw.data(), raw.size());
        std::vector<uint8_t> client(bytes, kClientFill);
        teko::pipeline::SetOutputDestination(client.data());
        teko::pipeline::RunFilterStack();
        teko::pipeline::SetOutputDestination(nullptr);
        return client;
    }

    // Compares the level under test with the portable one on `raw`.
    void ExpectLevelsAgree(std::span<const uint8_t> raw, std::size_t bytes,
                           const std::string& what) {
        const std::vector<uint8_t> portable = Frame(SimdLevel::Portable, raw, bytes);
        const std::vector<uint8_t> fast = Frame(GetParam(), raw, bytes);
        std::size_t i = 0;
        while (i < bytes && fast[i] == portable[i])
            ++i;
        EXPECT_EQ(i, bytes) << what << ": first difference at byte " << i;
    }
};

TEST_P(LevelsTest, EveryConfigurationSceneAndGainGivesTheSameBytes) {
    struct Size {
        int32_t w;
        int32_t h;
    };
    constexpr Size kSizes[] = {{320, 240}, {160, 120}, {157, 119}, {33, 7}};
    constexpr Size kZoomSizes[] = {{640, 480}, {160, 120}, {633, 477}, {33, 7}};
    teko::pipeline::BuildGammaTable(18);
    uint32_t seed = 1;

    for (int32_t code = 0; code < teko::testing::kConfigurationCodes; ++code) {
        const bool zoom = CodeZooms(code);
        const int32_t depth = SelectConfiguration(code);
        for (const Size size :
             zoom ? std::span<const Size>(kZoomSizes) : std::span<const Size>(kSizes)) {
            ASSERT_EQ(SetFrameSize(size.w, size.h, depth), 1);
            ASSERT_EQ(teko::pipeline::ConfigurationCode(), code);
            const auto bytes = static_cast<std::size_t>(ClientRowBytes(code, size.w) * size.h);
            std::vector<uint8_t> raw(static_cast<std::size_t>(teko::pipeline::RawWidth()) *
                                     teko::pipeline::RawHeight());
            const std::string where = "code " + std::to_string(code) + " " +
                                      std::to_string(size.w) + "x" + std::to_string(size.h);
            for (const Scene scene : kScenes) {
                Paint(raw, teko::pipeline::RawWidth(), scene, seed++);
                ExpectLevelsAgree(raw, bytes,
                                  where + " scene " + std::to_string(static_cast<int>(scene)));
            }
            Paint(raw, teko::pipeline::RawWidth(), Scene::Noise, seed++);
            for (const Gains gains : kGains) {
                teko::pipeline::SetRedScale(gains.red);
                teko::pipeline::SetBlueScale(gains.blue);
                ExpectLevelsAgree(raw, bytes,
                                  where + " gains " + std::to_string(gains.red) + "," +
                                      std::to_string(gains.blue));
            }
            teko::pipeline::SetRedScale(40);
            teko::pipeline::SetBlueScale(40);
        }
    }
}

// A gamma table other than the one at load, with noise and the extremes.
TEST_P(LevelsTest, GammaTablesGiveTheSameBytes) {
    for (const int32_t gamma : {1, 10, 25, 54}) {
        teko::pipeline::BuildGammaTable(gamma);
        for (const int32_t code : {0x0F, 0x0D, 0x09, 0x07, 0x05, 0x1F, 0x15}) {
            ASSERT_EQ(SetFrameSize(161, 121, SelectConfiguration(code)), 1);
            const auto bytes = static_cast<std::size_t>(ClientRowBytes(code, 161) * 121);
            std::vector<uint8_t> raw(static_cast<std::size_t>(teko::pipeline::RawWidth()) *
                                     teko::pipeline::RawHeight());
            for (const Scene scene : {Scene::Noise, Scene::Checker}) {
                Paint(raw, teko::pipeline::RawWidth(), scene, static_cast<uint32_t>(code));
                ExpectLevelsAgree(
                    raw, bytes, "gamma " + std::to_string(gamma) + " code " + std::to_string(code));
            }
        }
    }
}

std::string LevelName(const ::testing::TestParamInfo<SimdLevel>& param) {
    std::string name = teko::pipeline::SimdLevelName(param.param);
    for (char& c : name)
        if (c == '-') c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Levels, LevelsTest,
                         ::testing::Values(SimdLevel::X86V2, SimdLevel::X86V3, SimdLevel::X86V4),
                         LevelName);

}  // namespace
