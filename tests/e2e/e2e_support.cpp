#include "e2e_support.h"

#include <gtest/gtest.h>

namespace teko::testing {

sim::CameraConfig ConfigFor(Transfer transfer, sim::Attachment attachment, int ccdType) {
    sim::CameraConfig config;
    config.attachment = attachment;
    config.ccdType = ccdType;
    config.port.epp = transfer == Transfer::Epp;
    config.port.ps2 = transfer != Transfer::Spp;
    return config;
}

void EndToEndTest::TearDown() {
    HaltTeko(0);
    LibraryTest::TearDown();
    camera.reset();
}

void EndToEndTest::Open(const sim::CameraConfig& config) {
    camera = std::make_unique<sim::VirtualCamera>(config);
    ASSERT_TRUE(camera->Install());
    messages_.Install();
    const uint16_t ports[] = {config.base, 0};
    ASSERT_EQ(InitTeko(ports), TEKO32_INIT_RESULT);
}

void EndToEndTest::Size(const Picture& picture, int32_t zoom, int32_t allLines, int32_t sharpen) {
    InitFilterStack(zoom, allLines, sharpen);
    SetRealizedFilter(picture.format == Format::Uyvy ? 1 : 0);
    ASSERT_EQ(SetFrameSize(picture.width, picture.height, picture.Depth()), 1);
}

}  // namespace teko::testing
