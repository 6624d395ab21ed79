#include "image_file.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <cerrno>
#include <random>

namespace teko::tools {
namespace {

uint8_t Clamp8(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

std::string Extension(const std::string& path) {
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// Writes through `write` into a new file beside `path` and renames it to
// `path` only when every byte is written and the file is closed, so that a
// failed write leaves neither a partial file nor a lost older one.
template <typename Write>
bool WriteAtomically(const std::string& path, Write write, std::string* error) {
    std::random_device random;
    std::string temporary;
    std::FILE* file = nullptr;
    for (int attempt = 0; attempt < 16 && file == nullptr; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
        temporary = path + suffix;
        errno = 0;
        file = std::fopen(temporary.c_str(), "wbx");  // x: never reuse an existing file
        if (file == nullptr && errno != EEXIST) break;
    }
    if (file == nullptr) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    errno = 0;
    bool ok = write(file);
    int why = errno;
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        why = errno;
    }
    if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        why = errno;
    }
    if (!ok) {
        std::remove(temporary.c_str());
        *error = "cannot write " + path + (why != 0 ? std::string(": ") + std::strerror(why) : "") +
                 "; nothing was written";
    }
    return ok;
}

// libpng's default handler prints its own text; the caller reports the error.
void PngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

bool WritePngTo(std::FILE* file, const RgbImage& image) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        png_write_row(png, image.pixels.data() + static_cast<std::size_t>(y) * image.width * 3);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fflush(file) == 0;
}

bool WritePng(const std::string& path, const RgbImage& image, std::string* error) {
    return WriteAtomically(path, [&](std::FILE* file) { return WritePngTo(file, image); }, error);
}

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

bool WriteBmp(const std::string& path, const RgbImage& image, std::string* error) {
    const int rowSize = RowSize(PixelFormat::Bgr24, image.width);
    const uint32_t pixelBytes =
        static_cast<uint32_t>(rowSize) * static_cast<uint32_t>(image.height);
    std::vector<uint8_t> out;
    out.reserve(54 + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    PutLe(out, 54 + pixelBytes, 4);
    PutLe(out, 0, 4);
    PutLe(out, 54, 4);
    PutLe(out, 40, 4);  // BITMAPINFOHEADER
    PutLe(out, static_cast<uint32_t>(image.width), 4);
    PutLe(out, static_cast<uint32_t>(image.height), 4);  // positive: bottom-up
    PutLe(out, 1, 2);
    PutLe(out, 24, 2);
    PutLe(out, 0, 4);
    PutLe(out, pixelBytes, 4);
    PutLe(out, 2835, 4);
    PutLe(out, 2835, 4);
    PutLe(out, 0, 4);
    PutLe(out, 0, 4);
    for (int y = image.height - 1; y >= 0; --y) {
        const uint8_t* row = image.pixels.data() + static_cast<std::size_t>(y) * image.width * 3;
        for (int x = 0; x < image.width; ++x) {
            out.push_back(row[3 * x + 2]);
            out.push_back(row[3 * x + 1]);
            out.push_back(row[3 * x]);
        }
        for (int pad = image.width * 3; pad < rowSize; ++pad)
            out.push_back(0);
    }
    return WriteRawFile(path, out, error);
}

}  // namespace

int RowSize(PixelFormat format, int width) {
    const int bytes = format == PixelFormat::Bgr24 ? 3 * width : 2 * width;
    return (bytes + 3) & ~3;
}

RgbImage ToRgb(PixelFormat format, int width, int height, std::span<const uint8_t> buffer) {
    RgbImage image{width, height,
                   std::vector<uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    const int rowSize = RowSize(format, width);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = buffer.data() + static_cast<std::size_t>(height - 1 - y) * rowSize;
        uint8_t* out = image.pixels.data() + static_cast<std::size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            uint8_t* px = out + 3 * x;
            switch (format) {
                case PixelFormat::Bgr24:
                    px[0] = row[3 * x + 2];
                    px[1] = row[3 * x + 1];
                    px[2] = row[3 * x];
                    break;
                case PixelFormat::Rgb555: {
                    const unsigned word = row[2 * x] | (row[2 * x + 1] << 8);
                    const auto expand = [](unsigned v) {
                        return static_cast<uint8_t>((v << 3) | (v >> 2));
                    };
                    px[0] = expand((word >> 10) & 31);
                    px[1] = expand((word >> 5) & 31);
                    px[2] = expand(word & 31);
                    break;
                }
                case PixelFormat::Uyvy: {
                    const int pair = (x & ~1) * 2;  // U Y0 V Y1
                    const int u = row[pair] - 128;
                    const int v = row[pair + 2] - 128;
                    const int luma = row[pair + 1 + 2 * (x & 1)];
                    px[0] = Clamp8(luma + (1436 * v >> 10));
                    px[1] = Clamp8(luma - ((352 * u + 731 * v) >> 10));
                    px[2] = Clamp8(luma + (1815 * u >> 10));
                    break;
                }
            }
        }
    }
    return image;
}

bool IsImageFileName(const std::string& path) {
    const std::string ext = Extension(path);
    return ext == "png" || ext == "bmp";
}

bool WriteImageFile(const std::string& path, const RgbImage& image, std::string* error) {
    const std::string ext = Extension(path);
    if (ext == "png") return WritePng(path, image, error);
    if (ext == "bmp") return WriteBmp(path, image, error);
    *error = "unknown picture type for " + path + " (use .png or .bmp)";
    return false;
}

bool WriteRawFile(const std::string& path, std::span<const uint8_t> bytes, std::string* error) {
    return WriteAtomically(
        path,
        [&](std::FILE* file) {
            return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
                   std::fflush(file) == 0;
        },
        error);
}

}  // namespace teko::tools
