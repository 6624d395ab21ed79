// teko-capture run as a user runs it, against the virtual camera.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int exitCode = -1;
    std::string output;  // standard error and output together
};

ToolRun RunCapture(const std::string& folder, const std::string& arguments,
               const std::string& shellPrefix = "") {
    const std::string log = folder + "/log.txt";
    const std::string command = "cd '" + folder + "' && " + shellPrefix + "'" TEKO_CAPTURE_PATH
                                "' " + arguments + " > log.txt 2>&1";
    const int status = std::system(("sh -c \"" + command + "\"").c_str());
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream file(log);
    run.output.assign(std::istreambuf_iterator<char>(file), {});
    fs::remove(log);
    return run;
}

struct Folder {
    fs::path path = fs::temp_directory_path() /
                    ("teko-capture-run-" + std::to_string(::testing::UnitTest::GetInstance()
                                                              ->random_seed()) +
                     "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    Folder() { fs::create_directories(path); }
    ~Folder() { fs::remove_all(path); }
};

double MeanByte(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), {}};
    if (bytes.empty()) return -1;
    double sum = 0;
    for (const unsigned char b : bytes)
        sum += b;
    return sum / static_cast<double>(bytes.size());
}

// The built-in scene, once the automatic exposure is in its good band, has a
// mean level near 120 (a frame at the default shutter 50 in that band gives
// 120). From a shutter far too short or too long, the saved picture is
// settled into that range; without settling the second frame still shows the
// wrong shutter.
TEST(CaptureRun, SettlingBringsTheSavedPictureIntoTheGoodExposureRange) {
    Folder folder;
    constexpr double kLow = 95, kHigh = 145;
    for (const char* shutter : {"5", "300"}) {
        const ToolRun run = RunCapture(folder.path.string(), std::string("--shutter ") + shutter +
                                                             " --raw settled.raw -o settled.png");
        ASSERT_EQ(run.exitCode, 0) << run.output;
        EXPECT_NE(run.output.find("(good band: settled)"), std::string::npos) << run.output;
        const double mean = MeanByte(folder.path / "settled.raw");
        EXPECT_GT(mean, kLow) << "shutter " << shutter;
        EXPECT_LT(mean, kHigh) << "shutter " << shutter;
    }
    const ToolRun dark = RunCapture(folder.path.string(),
                                "--shutter 5 --settle 0 --frames 2 -q --raw dark.raw -o dark.png");
    ASSERT_EQ(dark.exitCode, 0) << dark.output;
    EXPECT_LT(MeanByte(folder.path / "dark.raw"), kLow);
}

// Explicit exposure without the automatic shutter shows in the saved picture.
TEST(CaptureRun, ExplicitShutterAndBrightnessShowInTheSavedPicture) {
    Folder folder;
    const ToolRun a = RunCapture(folder.path.string(), "--auto-shutter off --shutter 10 --raw a.raw");
    const ToolRun b = RunCapture(folder.path.string(), "--auto-shutter off --shutter 200 --raw b.raw");
    ASSERT_EQ(a.exitCode, 0) << a.output;
    ASSERT_EQ(b.exitCode, 0) << b.output;
    EXPECT_NE(a.output.find("discarding one frame"), std::string::npos) << a.output;
    EXPECT_LT(MeanByte(folder.path / "a.raw") + 40, MeanByte(folder.path / "b.raw"));
}

// A file-size limit: the tool reports the failed write and exits 1 (no
// signal), the older picture stays and no temporary file is left.
TEST(CaptureRun, FileSizeLimitFailsTheWriteAndKeepsTheOldPicture) {
    Folder folder;
    { std::ofstream(folder.path / "frame.png") << "the good old picture"; }
    const ToolRun run = RunCapture(folder.path.string(), "-q -o frame.png", "ulimit -f 20; ");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    EXPECT_NE(run.output.find("cannot write frame.png: File too large"), std::string::npos)
        << run.output;
    std::ifstream file(folder.path / "frame.png");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "the good old picture");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"frame.png"});
}

TEST(CaptureRun, StatsPrintTheCaptureStatus) {
    Folder folder;
    const ToolRun run = RunCapture(folder.path.string(), "--stats --settle 0 --frames 2 -o s.bmp");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("capture status: 2 frames (0 discarded while settling), 0 "
                              "incomplete, 0 failed; last frame 244 of 244 lines"),
              std::string::npos)
        << run.output;
}

}  // namespace

namespace {

// A frame line that never comes: reported with the line, exit 1 and no
// picture, unless --allow-incomplete.
TEST(CaptureRun, IncompleteFrameIsReportedAndFailsUnlessAllowed) {
    Folder folder;
    const ToolRun refused =
        RunCapture(folder.path.string(), "--stop-at-line 97 --settle 0 -o broken.png");
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_NE(refused.output.find("frame 1: camera stopped sending at line 97 of 244"),
              std::string::npos)
        << refused.output;
    EXPECT_FALSE(fs::exists(folder.path / "broken.png"));
    const ToolRun allowed = RunCapture(
        folder.path.string(), "--stop-at-line 97 --settle 0 --allow-incomplete -o broken.png");
    EXPECT_EQ(allowed.exitCode, 0) << allowed.output;
    EXPECT_TRUE(fs::exists(folder.path / "broken.png"));
}

}  // namespace
