// The size of the client's picture buffer: rows are padded to 32-bit words.
#pragma once

#include <cstddef>
#include <cstdint>

namespace teko::testing {

constexpr int64_t PaddedRowBytes(int32_t bytesPerPixel, int32_t width) {
    return (int64_t{bytesPerPixel} * width + 3) & ~int64_t{3};
}

constexpr std::size_t PaddedPictureBytes(int32_t bytesPerPixel, int32_t width, int32_t height) {
    return static_cast<std::size_t>(PaddedRowBytes(bytesPerPixel, width)) *
           static_cast<std::size_t>(height);
}

}  // namespace teko::testing
