// A flat scene through every stack at sizes that end on every phase of the
// stretch and the line filters: each row of the picture comes out flat, so
// nothing the filters read just past an image shows at the right-hand column.
#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "teko32sim/scene.h"

namespace {

using teko::testing::Format;
using teko::testing::Picture;

struct Dimensions {
    int32_t width;
    int32_t height;
};

class EdgeTest : public teko::testing::EndToEndTest {
  protected:
    void SetUp() override {
        EndToEndTest::SetUp();
        Open({});
        teko::sim::SceneImage flat{640, 480, std::vector<uint8_t>(640 * 480 * 3, 128)};
        camera->SetScene(std::move(flat));
    }

    // The first place where a row differs from its own first pixel (a pair
    // of pixels for packed YUV), or "" when every row is flat.
    // The packed YUV stages of the Yc stacks (zoom off, every line) write
    // whole pairs only.
    static std::string FirstUnevenRow(const Picture& picture, bool ycStack,
                                      const std::vector<uint8_t>& frame) {
        const int32_t unit = picture.format == Format::Uyvy ? 4 : picture.BytesPerPixel();
        const int32_t units = picture.format == Format::Uyvy && ycStack
                                  ? picture.width / 2
                                  : picture.WrittenPerRow() / unit;
        for (int32_t row = 0; row < picture.height; ++row) {
            const uint8_t* bytes = frame.data() + static_cast<std::size_t>(row) * picture.RowSize();
            for (int32_t u = 1; u < units; ++u) {
                if (std::memcmp(bytes, bytes + u * unit, unit) != 0) {
                    return "row " + std::to_string(picture.height - 1 - row) +
                           " (from the top), unit " + std::to_string(u) + " of " +
                           std::to_string(units);
                }
            }
        }
        return {};
    }
};

TEST_F(EdgeTest, FlatSceneGivesFlatRowsInEveryStack) {
    const Dimensions unzoomed[] = {{320, 240}, {319, 239}, {160, 120}, {33, 17},
                                   {250, 101}, {320, 237}, {101, 61},  {1, 1}};
    const Dimensions zoomed[] = {{640, 480}, {639, 479}, {638, 240},
                                 {321, 241}, {33, 17},   {500, 302}};
    const Format formats[] = {Format::Rgb24, Format::Rgb555, Format::Uyvy};
    for (int32_t zoom = 0; zoom <= 1; ++zoom) {
        for (const Dimensions size :
             zoom ? std::span<const Dimensions>(zoomed) : std::span<const Dimensions>(unzoomed)) {
            for (int32_t allLines = 0; allLines <= 1; ++allLines) {
                // The block conversion leaves the last row of an odd height
                // zero by definition, and the line tripler blends it into
                // the picture's last two rows: not an edge effect.
                if (zoom == 0 && allLines == 0 && ((size.height + 2) / 3 + 1) % 2 == 1) continue;
                for (int32_t sharpen = 0; sharpen <= 1; ++sharpen) {
                    for (const Format format : formats) {
                        const Picture picture{size.width, size.height, format};
                        SCOPED_TRACE(::testing::Message()
                                     << size.width << "x" << size.height << " zoom " << zoom
                                     << " all-lines " << allLines << " sharpen " << sharpen
                                     << " format " << static_cast<int>(format));
                        Size(picture, zoom, allLines, sharpen);
                        std::vector<uint8_t> frame(picture.Bytes(), 0);
                        ASSERT_EQ(CaptureFrameWait(frame.data()), 1);
                        EXPECT_EQ(FirstUnevenRow(picture, zoom == 0 && allLines == 1, frame), "");
                    }
                }
            }
        }
    }
    EXPECT_TRUE(Messages().empty());
}

}  // namespace
