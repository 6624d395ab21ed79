// End-to-end helpers: a virtual camera on the port, the library opened on
// it through the public entries, and the client-buffer geometry of the
// three output formats.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/library_fixture.h"
#include "support/message_recorder.h"
#include "support/row_size.h"
#include "teko32/teko32.h"
#include "teko32/teko32_ext.h"
#include "teko32sim/virtual_camera.h"

namespace teko::testing {

enum class Transfer { Epp, Ps2, Spp };
enum class Format { Rgb24, Rgb555, Uyvy };

struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    Format format = Format::Rgb24;

    int32_t Depth() const { return format == Format::Rgb24 ? 24 : 16; }
    int32_t BytesPerPixel() const { return format == Format::Rgb24 ? 3 : 2; }
    int32_t RowSize() const { return static_cast<int32_t>(PaddedRowBytes(BytesPerPixel(), width)); }
    std::size_t Bytes() const { return PaddedPictureBytes(BytesPerPixel(), width, height); }
    // Bytes the output stage writes per row; packed YUV writes whole pairs.
    int32_t WrittenPerRow() const {
        return format == Format::Uyvy ? 4 * ((width + 1) >> 1) : BytesPerPixel() * width;
    }
};

sim::CameraConfig ConfigFor(Transfer transfer, sim::Attachment attachment, int ccdType);

class EndToEndTest : public LibraryTest {
  protected:
    void TearDown() override;

    // Puts a camera on the port and opens the library on it.
    void Open(const sim::CameraConfig& config);
    // InitFilterStack, SetRealizedFilter and SetFrameSize for `picture`.
    void Size(const Picture& picture, int32_t zoom, int32_t allLines, int32_t sharpen);
    // The messages shown, each as "caption: text".
    std::vector<std::string> Messages() const { return messages_.Lines(); }

    std::unique_ptr<sim::VirtualCamera> camera;

  private:
    MessageRecorder messages_;
};

}  // namespace teko::testing
