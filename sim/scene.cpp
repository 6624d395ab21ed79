// Scenes for the virtual camera and the colour model that calibrates them.
#include "teko32sim/scene.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace teko::sim {
namespace {

// The pipeline as the library runs it at load: red and blue gains 64,
// gamma 1.8. The model inverts this chain to find the raw samples.
constexpr int kGain = 64;
constexpr int kGainUnit = 40;
constexpr int kGamma = 18;
constexpr int kSuppressLuma = 100;
constexpr int kSuppressChroma = 15;

std::array<uint8_t, 256> BuildGamma() {
    std::array<uint8_t, 256> table{};
    const double exponent = 1.0 / (kGamma / 10.0);
    for (int i = 0; i < 256; ++i) {
        int n = std::max(i - 2, 0);
        n = n < 30 ? n / 2 : n - 15;
        table[i] = static_cast<uint8_t>(223.0 * std::pow(n / 223.0, exponent));
    }
    return table;
}

const std::array<uint8_t, 256>& Gamma() {
    static const std::array<uint8_t, 256> table = BuildGamma();
    return table;
}

int Clamp255(int v) {
    return std::clamp(v, 0, 255);
}

// The smallest level whose gamma value is nearest to `target`.
int InverseGamma(int target) {
    const auto& g = Gamma();
    int best = 0;
    for (int i = 1; i < 256; ++i)
        if (std::abs(g[i] - target) < std::abs(g[best] - target)) best = i;
    return best;
}

// How far the pipeline's colour for `cell` is from the target: the largest
// channel error first, the sum of errors to break ties.
int ColourError(const MosaicCell& cell, uint8_t r, uint8_t g, uint8_t b) {
    const auto out = ColourForCell(cell);
    const int er = std::abs(out[0] - r);
    const int eg = std::abs(out[1] - g);
    const int eb = std::abs(out[2] - b);
    return std::max({er, eg, eb}) * 1024 + er + eg + eb;
}

// Built-in scene parts.
// The background darkens from left to right across the threshold the
// automatic exposure counts against, so that every window sees both.
constexpr int kBackgroundLeft = 175;
constexpr int kBackgroundRight = 95;
constexpr int kRampTop = 16;
constexpr int kRampBottom = 96;
constexpr int kRampMax = 230;
constexpr int kPatchGap = 4;
constexpr uint8_t kMoverBand = 40;
constexpr uint8_t kMover = 225;
constexpr int kDetailTop = 392;
constexpr int kDetailBottom = 472;
constexpr uint8_t kDetailDark = 30;
constexpr uint8_t kDetailLight = 220;

void Fill(SceneImage& image, int x0, int y0, int x1, int y1, std::array<uint8_t, 3> colour) {
    for (int y = std::max(y0, 0); y < std::min(y1, image.height); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, image.width); ++x)
            std::copy(colour.begin(), colour.end(),
                      &image.rgb[(static_cast<size_t>(y) * image.width + x) * 3]);
}

}  // namespace

std::array<uint8_t, 3> ColourForCell(const MosaicCell& cell) {
    const auto& gamma = Gamma();
    const int y = cell.y;
    const int cr = cell.cr;
    const int cb = cell.cb;
    const bool falseColour =
        y < kSuppressLuma && ((cr > kSuppressChroma && cb < -kSuppressChroma) ||
                              (cb > kSuppressChroma && cr < -kSuppressChroma));
    if (falseColour) return {gamma[y], gamma[y], gamma[y]};
    const int r1 = (cr * kGain) >> 3;
    const int b1 = (cb * kGain) >> 3;
    const int r = Clamp255((y + r1) * kGain / kGainUnit);
    const int g = Clamp255(y - (r1 >> 2) - (b1 >> 2));
    const int b = Clamp255((y + b1) * kGain / kGainUnit);
    return {gamma[r], gamma[g], gamma[b]};
}

MosaicCell CellForColour(uint8_t r, uint8_t g, uint8_t b) {
    // Linear levels before the gamma table, then the conversion solved for
    // Y, Cr, Cb: R = (Y + 8 Cr) * 1.6, B = (Y + 8 Cb) * 1.6, G = Y - 2 Cr - 2 Cb.
    const double lr = InverseGamma(r) * double{kGainUnit} / kGain;
    const double lb = InverseGamma(b) * double{kGainUnit} / kGain;
    const double lg = InverseGamma(g);
    const double y0 = (lg + (lr + lb) / 4.0) / 1.5;
    const int y = static_cast<int>(std::lround(y0));
    const int cr = static_cast<int>(std::lround((lr - y0) / 8.0));
    const int cb = static_cast<int>(std::lround((lb - y0) / 8.0));

    // The pipeline works in integers; search the neighbourhood of the
    // solution for the cell that comes out closest.
    MosaicCell best{};
    int bestError = -1;
    for (int dy = -2; dy <= 2; ++dy) {
        for (int dr = -1; dr <= 1; ++dr) {
            for (int db = -1; db <= 1; ++db) {
                const int cy = std::clamp(y + dy, 0, 255);
                const int room = std::min(cy, 255 - cy);  // samples stay within 0..255
                const MosaicCell cell{static_cast<int16_t>(cy),
                                      static_cast<int16_t>(std::clamp(cr + dr, -room, room)),
                                      static_cast<int16_t>(std::clamp(cb + db, -room, room))};
                const int error = ColourError(cell, r, g, b);
                if (bestError < 0 || error < bestError) {
                    bestError = error;
                    best = cell;
                }
            }
        }
    }
    return best;
}

SceneImage BuiltInScene(uint64_t frame) {
    using L = BuiltInLayout;
    SceneImage image{L::kWidth, L::kHeight,
                     std::vector<uint8_t>(size_t{L::kWidth} * L::kHeight * 3)};
    for (int x = 0; x < L::kWidth; ++x) {
        const auto v = static_cast<uint8_t>(kBackgroundLeft + (kBackgroundRight - kBackgroundLeft) *
                                                                  x / (L::kWidth - 1));
        Fill(image, x, 0, x + 1, L::kHeight, {v, v, v});
    }
    for (int x = 0; x < L::kWidth; ++x) {
        const auto v = static_cast<uint8_t>(x * kRampMax / (L::kWidth - 1));
        Fill(image, x, kRampTop, x + 1, kRampBottom, {v, v, v});
    }
    for (int row = 0; row < L::kPatchRows; ++row) {
        for (int column = 0; column < L::kPatchColumns; ++column) {
            const int x = L::kPatchLeft + column * (L::kPatchWidth + kPatchGap);
            const int y = L::kPatchTop + row * (L::kPatchHeight + kPatchGap);
            Fill(image, x, y, x + L::kPatchWidth, y + L::kPatchHeight,
                 L::kPatchColours[row * L::kPatchColumns + column]);
        }
    }
    Fill(image, 0, L::kMoverTop, L::kWidth, L::kMoverTop + L::kMoverSize,
         {kMoverBand, kMoverBand, kMoverBand});
    const int moverX = static_cast<int>((frame * L::kMoverStep) % (L::kWidth - L::kMoverSize));
    Fill(image, moverX, L::kMoverTop, moverX + L::kMoverSize, L::kMoverTop + L::kMoverSize,
         {kMover, kMover, kMover});
    // Fine detail: stripes 1, 2 and 4 pixels wide, then an 8-pixel checkerboard.
    const int quarter = L::kWidth / 4;
    for (int y = kDetailTop; y < kDetailBottom; ++y) {
        for (int x = 0; x < L::kWidth; ++x) {
            const int part = x / quarter;
            const bool light = part < 3 ? ((x >> part) & 1) != 0 : (((x >> 3) ^ (y >> 3)) & 1) != 0;
            const uint8_t v = light ? kDetailLight : kDetailDark;
            Fill(image, x, y, x + 1, y + 1, {v, v, v});
        }
    }
    return image;
}

std::optional<SceneImage> LoadPng(const std::string& path, std::string* error) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    auto fail = [&](const std::string& why) -> std::optional<SceneImage> {
        if (error) *error = path + ": " + why;
        png_image_free(&png);
        return std::nullopt;
    };
    // The file's own trouble first: libpng would only say "Read Error".
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         std::fclose);
    if (!file) {
        if (error) *error = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::array<unsigned char, 8> signature{};
    const std::size_t got = std::fread(signature.data(), 1, signature.size(), file.get());
    if (got == 0) {
        if (error)
            *error = path + ": " + (std::ferror(file.get()) ? std::strerror(errno) : "empty file");
        return std::nullopt;
    }
    if (got < signature.size() || png_sig_cmp(signature.data(), 0, signature.size()) != 0) {
        if (error) *error = path + ": not a PNG file";
        return std::nullopt;
    }
    file.reset();
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        return fail(std::string("broken PNG file (") + png.message + ")");
    }
    png.format = PNG_FORMAT_RGB;
    if (png.width == 0 || png.height == 0 || png.width > 1u << 14 || png.height > 1u << 14)
        return fail("unsupported picture size");
    SceneImage image{static_cast<int>(png.width), static_cast<int>(png.height), {}};
    image.rgb.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr))
        return fail(std::string("broken PNG file (") + png.message + ")");
    png_image_free(&png);
    return image;
}

}  // namespace teko::sim
