// Picture and raw files are written whole or not at all.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image_file.h"

namespace teko::tools {
namespace {

namespace fs = std::filesystem;

struct TempDir {
    fs::path path;
    TempDir() {
        char name[] = "/tmp/teko-image-file-XXXXXX";
        path = ::mkdtemp(name);
    }
    ~TempDir() { fs::remove_all(path); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

std::string Contents(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Noise, so that the PNG is about as large as the pixels.
RgbImage Noise(int width, int height) {
    RgbImage image{width, height, std::vector<uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    uint32_t state = 12345;
    for (auto& byte : image.pixels) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return image;
}

// Each writer, in a child process whose file-size limit is smaller than the
// file: the write fails with an error (no signal ends the child), the older
// file of the same name is unchanged and no temporary file is left.
TEST(ImageFile, FailedWriteUnderFileSizeLimitLeavesOldFileAndNoTemporary) {
    const RgbImage image = Noise(200, 150);
    const std::vector<uint8_t> raw(90000, 0x5a);
    for (const char* name : {"frame.png", "frame.bmp", "frame.raw"}) {
        TempDir dir;
        const fs::path target = dir.path / name;
        { std::ofstream(target, std::ios::binary) << "the good old file"; }
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{8192, 8192};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(3);
            std::string error;
            const bool ok = fs::path(name).extension() == ".raw"
                                ? WriteRawFile(target.string(), raw, &error)
                                : WriteImageFile(target.string(), image, &error);
            const bool named = error.find("cannot write " + target.string()) != std::string::npos &&
                               error.find("File too large") != std::string::npos;
            ::_exit(ok ? 1 : named ? 0 : 2);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << name << ": ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << name << " (1: reported success, 2: unclear error)";
        EXPECT_EQ(Contents(target), "the good old file") << name;
        EXPECT_EQ(dir.Names(), std::vector<std::string>{name}) << name;
    }
}

TEST(ImageFile, SuccessfulWriteReplacesTheFileAndLeavesNothingElse) {
    const RgbImage image = Noise(33, 17);
    for (const char* name : {"frame.png", "frame.bmp"}) {
        TempDir dir;
        const fs::path target = dir.path / name;
        { std::ofstream(target) << "old"; }
        std::string error;
        ASSERT_TRUE(WriteImageFile(target.string(), image, &error)) << error;
        const std::string written = Contents(target);
        EXPECT_GT(written.size(), 33u * 17u * 3u) << name;
        EXPECT_EQ(written.substr(1, 3) == "PNG" ? ".png" : written.substr(0, 2) == "BM" ? ".bmp" : "",
                  fs::path(name).extension().string());
        EXPECT_EQ(dir.Names(), std::vector<std::string>{name});
    }
}

TEST(ImageFile, MissingFolderIsReportedWithItsReason) {
    std::string error;
    EXPECT_FALSE(WriteRawFile("/nonexistent-teko-folder/x.raw", std::vector<uint8_t>(4), &error));
    EXPECT_NE(error.find("cannot write /nonexistent-teko-folder/x.raw: No such file"),
              std::string::npos)
        << error;
}

}  // namespace
}  // namespace teko::tools
