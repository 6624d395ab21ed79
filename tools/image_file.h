// Pictures for the command-line tools: the client buffer's three formats
// turned into plain RGB, and PNG / BMP files.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace teko::tools {

enum class PixelFormat { Bgr24, Rgb555, Uyvy };

// Bytes of one row in the client's buffer (rows padded to a multiple of 4).
int RowSize(PixelFormat format, int width);

// Top-down RGB, 3 bytes per pixel.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

// Converts a bottom-up client buffer of RowSize x height bytes.
RgbImage ToRgb(PixelFormat format, int width, int height, std::span<const uint8_t> buffer);

// True for names ending in .png or .bmp (any case).
bool IsImageFileName(const std::string& path);

// Writes a PNG (by libpng) or a 24-bit BMP, chosen by the file's extension.
// False with a reason in *error when the name has another extension or the
// file cannot be written. Both writers write a temporary file in the same
// folder and rename it into place when it is complete; on any failure the
// temporary file is removed and an existing file of that name is untouched.
bool WriteImageFile(const std::string& path, const RgbImage& image, std::string* error);

// Writes the bytes as they are.
bool WriteRawFile(const std::string& path, std::span<const uint8_t> bytes, std::string* error);

}  // namespace teko::tools
