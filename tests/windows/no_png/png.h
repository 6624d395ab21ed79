// The part of libpng's simplified reading interface the virtual camera uses,
// for the Windows cross build, which has no libpng: reading a picture file
// always fails ("no PNG support in this build"). The Windows test program
// uses the built-in scene only. The signature check is the real one.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr unsigned PNG_IMAGE_VERSION = 1;
inline constexpr unsigned PNG_FORMAT_RGB = 2;

struct png_image {
    void* opaque = nullptr;
    unsigned version = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    unsigned format = 0;
    unsigned flags = 0;
    unsigned colormap_entries = 0;
    unsigned warning_or_error = 0;
    char message[64] = "no PNG support in this build";
};

inline std::size_t PNG_IMAGE_SIZE(const png_image& image) {
    return std::size_t{image.width} * image.height * 3;
}
inline int png_image_begin_read_from_file(png_image*, const char*) {
    return 0;
}
inline int png_image_finish_read(png_image*, const void*, void*, int, void*) {
    return 0;
}
inline void png_image_free(png_image*) {}
// The eight-byte signature check: 0 when the bytes start a PNG file.
inline int png_sig_cmp(const unsigned char* bytes, std::size_t start, std::size_t count) {
    constexpr unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (std::size_t i = start; i < start + count && i < sizeof kSignature; ++i) {
        if (bytes[i] != kSignature[i]) return 1;
    }
    return 0;
}
