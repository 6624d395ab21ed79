// What the virtual camera looks at: an RGB picture stretched over the whole
// sensor, and the colour model that turns a scene colour into the raw mosaic
// samples from which the library's pipeline (gains 64, gamma 1.8) gives that
// colour back. See sim/README.md for the mapping and its calibration.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace teko::sim {

// Top-down RGB, 3 bytes per pixel (red, green, blue).
struct SceneImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    std::array<uint8_t, 3> At(int x, int y) const {
        const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

// The built-in test scene, 640 x 480: a grey ramp along the top, colour
// patches in the middle, a moving square below them and fine detail at the
// bottom. `frame` moves the square (16 pixels per frame, wrapping).
SceneImage BuiltInScene(uint64_t frame);

// Geometry of the built-in scene, for tests that look at its parts.
struct BuiltInLayout {
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    static constexpr int kPatchColumns = 4;
    static constexpr int kPatchRows = 2;
    static constexpr int kPatchLeft = 168;
    static constexpr int kPatchTop = 136;
    static constexpr int kPatchWidth = 76;
    static constexpr int kPatchHeight = 100;
    static constexpr int kMoverTop = 352;
    static constexpr int kMoverSize = 24;
    static constexpr int kMoverStep = 16;
    // The flat patch colours, row by row.
    static constexpr std::array<std::array<uint8_t, 3>, 8> kPatchColours{{
        {200, 60, 50},
        {60, 170, 60},
        {50, 70, 190},
        {200, 190, 60},
        {60, 180, 190},
        {190, 70, 180},
        {215, 215, 215},
        {60, 60, 60},
    }};
};

// Reads an 8- or 16-bit PNG of any colour type (grey, palette, alpha are
// converted to RGB). nullopt with the reason in *error when the file cannot
// be read or is not a PNG.
std::optional<SceneImage> LoadPng(const std::string& path, std::string* error);

// A mosaic cell at the reference exposure: on even sensor rows the even
// column holds y + cr and the odd column y - cr; on odd rows the even column
// holds y - cb and the odd column y + cb.
struct MosaicCell {
    int16_t y = 0;
    int16_t cr = 0;
    int16_t cb = 0;
};

// The cell whose samples the pipeline turns back into (r, g, b), as closely
// as the pipeline's integer arithmetic allows.
MosaicCell CellForColour(uint8_t r, uint8_t g, uint8_t b);
// What the pipeline gives for a cell (gains 64, gamma 1.8): the model's
// reference for the calibration.
std::array<uint8_t, 3> ColourForCell(const MosaicCell& cell);

}  // namespace teko::sim
