// Every transfer mode, attachment and sensor type, every line and every
// third line, with and without zoom, in all three output formats: each
// capture fills exactly the picture's bytes of an exact-size client buffer,
// and the same raw frame gives the same picture whatever way it travelled.
#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <vector>

#include "api/driver_state.h"
#include "e2e_support.h"
#include "link/link.h"

namespace {

using teko::sim::Attachment;
using teko::testing::Format;
using teko::testing::Picture;
using teko::testing::Transfer;

struct LinkSetup {
    Transfer transfer;
    Attachment attachment;
    int ccdType;
};

constexpr LinkSetup kSetups[] = {
    {Transfer::Epp, Attachment::Direct, 0}, {Transfer::Epp, Attachment::PassThrough, 0},
    {Transfer::Epp, Attachment::Direct, 2}, {Transfer::Epp, Attachment::PassThrough, 2},
    {Transfer::Ps2, Attachment::Direct, 0}, {Transfer::Ps2, Attachment::PassThrough, 0},
    {Transfer::Ps2, Attachment::Direct, 2}, {Transfer::Ps2, Attachment::PassThrough, 2},
    {Transfer::Spp, Attachment::Direct, 0}, {Transfer::Spp, Attachment::PassThrough, 0},
    {Transfer::Spp, Attachment::Direct, 2}, {Transfer::Spp, Attachment::PassThrough, 2},
};

uint8_t ModeBit(Transfer transfer) {
    switch (transfer) {
        case Transfer::Epp:
            return teko::link::kEppMode;
        case Transfer::Ps2:
            return teko::link::kPs2Mode;
        case Transfer::Spp:
            return teko::link::kSppMode;
    }
    return 0;
}

// A pattern that survives the 5-bit SPP samples unchanged.
uint8_t Gradient(int line, int column) {
    return static_cast<uint8_t>(((line * 5 + column * 3) % 32) * 8);
}

constexpr uint8_t kGrey = 120;
constexpr int32_t kUnityGain = 40;
constexpr int32_t kMargin = 8;  // pixels kept away from the picture's edges

// zoom, allLines, format
using Combination = std::tuple<int32_t, int32_t, Format>;

class TransferMatrixTest : public teko::testing::EndToEndTest,
                           public ::testing::WithParamInterface<Combination> {
  protected:
    Picture GetPicture() const {
        const auto [zoom, allLines, format] = GetParam();
        // Odd sizes leave padding at the row ends.
        return zoom ? Picture{637, 479, format} : Picture{317, 239, format};
    }

    void OpenAndSize(const LinkSetup& setup) {
        HaltTeko(0);
        teko::api::ResetLibraryForTesting();
        Open(teko::testing::ConfigFor(setup.transfer, setup.attachment, setup.ccdType));
        const uint8_t flags = teko::link::State().linkFlags;
        const uint8_t modes = teko::link::kEppMode | teko::link::kPs2Mode | teko::link::kSppMode;
        EXPECT_EQ(flags & modes, ModeBit(setup.transfer));
        EXPECT_EQ((flags & teko::link::kPassThrough) != 0,
                  setup.attachment == Attachment::PassThrough);
        EXPECT_EQ(GetCCDType(), setup.ccdType);
        SetRedScale(kUnityGain);
        SetBlueScale(kUnityGain);
        EnableAutoShutterSpeed(0);
        const auto [zoom, allLines, format] = GetParam();
        Size(GetPicture(), zoom, allLines, zoom ^ allLines);
    }

    // Captures into a buffer prefilled with 0x00 and one prefilled with 0xFF:
    // a byte the capture wrote is the same in both, one it left differs.
    std::vector<uint8_t> CaptureAndCheckLayout() {
        const Picture picture = GetPicture();
        std::vector<uint8_t> low(picture.Bytes(), 0x00);
        std::vector<uint8_t> high(picture.Bytes(), 0xFF);
        EXPECT_EQ(CaptureFrameWait(low.data()), 1);
        EXPECT_EQ(CaptureFrameWait(high.data()), 1);
        // The Yc output stages (no zoom, every line) make rows in pairs and
        // packed YUV pixels in whole pairs: with an odd height the bottom row
        // (first in memory), with an odd width the last packed YUV column
        // keep what the client had there.
        const auto [zoom, allLines, format] = GetParam();
        const bool yc = zoom == 0 && allLines != 0;
        const int32_t firstWrittenRow = yc ? picture.height % 2 : 0;
        const int32_t perRow =
            yc && format == Format::Uyvy ? 4 * (picture.width / 2) : picture.WrittenPerRow();
        int32_t badRows = 0;
        for (int32_t row = 0; row < picture.height; ++row) {
            const std::size_t start = static_cast<std::size_t>(row) * picture.RowSize();
            for (int32_t i = 0; i < picture.RowSize(); ++i) {
                const bool written = low[start + i] == high[start + i];
                if (written != (row >= firstWrittenRow && i < perRow)) {
                    ++badRows;
                    break;
                }
            }
        }
        EXPECT_EQ(badRows, 0) << "rows with unwritten picture bytes or written padding";
        return low;
    }

    void ExpectUniformGrey(const std::vector<uint8_t>& frame) {
        const Picture p = GetPicture();
        auto at = [&](int32_t x, int32_t y) {
            return frame.data() + static_cast<std::size_t>(y) * p.RowSize() +
                   static_cast<std::size_t>(x) * p.BytesPerPixel();
        };
        // Channels of a pixel: (R, G, B), or (Y, U, V) for packed YUV.
        auto channels = [&](int32_t x, int32_t y) -> std::array<int, 3> {
            const uint8_t* px = at(x, y);
            switch (p.format) {
                case Format::Rgb24:
                    return {px[2], px[1], px[0]};
                case Format::Rgb555: {
                    const int word = px[0] | (px[1] << 8);
                    EXPECT_EQ(word & 0x8000, 0);
                    return {(word >> 10) & 31, (word >> 5) & 31, word & 31};
                }
                case Format::Uyvy: {
                    const uint8_t* pair = at(x & ~1, y);
                    return {px[1], pair[0], pair[2]};
                }
            }
            return {};
        };
        const auto centre = channels(p.width / 2, p.height / 2);
        if (p.format == Format::Uyvy) {
            EXPECT_EQ(centre[1], 128);
            EXPECT_EQ(centre[2], 128);
        } else {
            EXPECT_EQ(centre[0], centre[1]);
            EXPECT_EQ(centre[1], centre[2]);
        }
        EXPECT_GT(centre[0], 0);
        int32_t off = 0;
        for (int32_t y = kMargin; y < p.height - kMargin; ++y) {
            for (int32_t x = kMargin; x < p.width - kMargin; ++x) {
                if (channels(x, y) != centre) ++off;
            }
        }
        EXPECT_EQ(off, 0) << "interior pixels that differ from the centre";
    }
};

TEST_P(TransferMatrixTest, EveryTransferGivesThePictureOfTheRawFrame) {
    std::vector<uint8_t> reference;
    for (const LinkSetup& setup : kSetups) {
        SCOPED_TRACE(::testing::Message()
                     << "transfer " << static_cast<int>(setup.transfer) << " attachment "
                     << static_cast<int>(setup.attachment) << " type " << setup.ccdType);
        OpenAndSize(setup);
        if (reference.empty()) {
            camera->SetFrameSource([](int, int) { return kGrey; });
            ExpectUniformGrey(CaptureAndCheckLayout());
        }
        camera->SetFrameSource(Gradient);
        const std::vector<uint8_t> frame = CaptureAndCheckLayout();
        if (reference.empty()) {
            reference = frame;
        } else {
            EXPECT_TRUE(frame == reference) << "picture differs from the first transfer's";
        }
        EXPECT_FALSE(camera->InterruptsMasked());
        EXPECT_TRUE(Messages().empty());
    }
}

std::string Name(const ::testing::TestParamInfo<Combination>& info) {
    const auto [zoom, allLines, format] = info.param;
    const char* formats[] = {"Rgb24", "Rgb555", "Uyvy"};
    return std::string(zoom ? "Zoom" : "NoZoom") + (allLines ? "AllLines" : "ThirdLines") +
           formats[static_cast<int>(format)];
}

INSTANTIATE_TEST_SUITE_P(Pictures, TransferMatrixTest,
                         ::testing::Combine(::testing::Values(1, 0), ::testing::Values(1, 0),
                                            ::testing::Values(Format::Rgb24, Format::Rgb555,
                                                              Format::Uyvy)),
                         Name);

}  // namespace
