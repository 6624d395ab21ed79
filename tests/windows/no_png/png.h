// The part of libpng's simplified reading interface the virtual camera uses,
// for the Windows cross build, which has no libpng: reading a picture file
// always fails ("no PNG support in this build"). The Windows test program
// uses the built-in scene only.
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
