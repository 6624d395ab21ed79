// The filter log on systems other than Windows: where the line goes by
// default, and that nothing planted at the path (a link, a FIFO, a file of
// another user, a second name of a file) is written through or stops the caller.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "platform/posix_descriptor.h"

namespace {

namespace fs = std::filesystem;
using teko::platform::Descriptor;

constexpr std::string_view kLine =
    "CFilter::~CFilter detect a non-freed memory block associate with it\n";
constexpr auto kNoHang = std::chrono::seconds(10);
// A user the test process is not, for the file of another user.
constexpr uid_t kOtherUser = 65534;

// Sets or clears an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

mode_t Permissions(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// Appends the line on another thread; false when it did not return in time.
bool AppendReturns() {
    auto done = std::async(std::launch::async, [] { teko::platform::AppendFilterLogLine(kLine); });
    return done.wait_for(kNoHang) == std::future_status::ready;
}

class FilterLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "teko32-log-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    fs::path root_;
};

TEST_F(FilterLogTest, DefaultIsAPrivateFileInTheStateFolder) {
    struct Case {
        const char* name;
        bool xdg;  // $XDG_STATE_HOME set, else only $HOME
    };
    for (const Case& c : {Case{"XDG_STATE_HOME", true}, Case{"HOME", false}}) {
        SCOPED_TRACE(c.name);
        const fs::path base = root_ / c.name;
        fs::create_directory(base);
        const ScopedEnv log("TEKO32_FILTER_LOG", std::nullopt);
        const ScopedEnv state("XDG_STATE_HOME",
                              c.xdg ? std::optional<std::string>(base) : std::nullopt);
        const ScopedEnv home("HOME", base.string());

        teko::platform::AppendFilterLogLine(kLine);
        teko::platform::AppendFilterLogLine(kLine);

        const fs::path folder = c.xdg ? base / "teko32" : base / ".local/state/teko32";
        EXPECT_EQ(Contents(folder / "filter.log"), std::string(kLine) + std::string(kLine));
        EXPECT_EQ(Permissions(folder / "filter.log"), 0600u);
        for (fs::path made = folder; made != base; made = made.parent_path()) {
            EXPECT_EQ(Permissions(made), 0700u) << made;
        }
    }
}

TEST_F(FilterLogTest, NoStateFolderMeansNoFile) {
    // A relative XDG_STATE_HOME is not used, and without HOME there is no default.
    const ScopedEnv log("TEKO32_FILTER_LOG", std::nullopt);
    const ScopedEnv state("XDG_STATE_HOME", "relative/state");
    const ScopedEnv home("HOME", std::nullopt);
    const fs::path cwd = fs::current_path();
    fs::current_path(root_);
    teko::platform::AppendFilterLogLine(kLine);
    fs::current_path(cwd);
    EXPECT_TRUE(fs::is_empty(root_));
}

TEST_F(FilterLogTest, OverrideStillNamesTheFile) {
    const fs::path file = root_ / "chosen.log";
    const ScopedEnv log("TEKO32_FILTER_LOG", file.string());
    teko::platform::AppendFilterLogLine(kLine);
    EXPECT_EQ(Contents(file), kLine);
    EXPECT_EQ(Permissions(file), 0600u);
}

// What is planted at the log's path; each is tried at the overriding path and
// at the default one.
enum class Plant {
    Symlink,
    LinkedFolder,
    FifoWithoutReader,
    FifoWithReader,
    OtherUsersFile,
    HardLink
};

struct PlantCase {
    const char* name;
    Plant plant;
};

class PlantedPathTest : public FilterLogTest, public ::testing::WithParamInterface<PlantCase> {};

TEST_P(PlantedPathTest, NothingIsWrittenThroughItAndNothingHangs) {
    const Plant plant = GetParam().plant;
    if (plant == Plant::OtherUsersFile && ::geteuid() != 0) {
        GTEST_SKIP() << "needs root to give a file to another user";
    }
    for (const bool viaDefault : {false, true}) {
        SCOPED_TRACE(viaDefault ? "default path" : "TEKO32_FILTER_LOG");
        const fs::path run = root_ / (viaDefault ? "default" : "override");
        const fs::path home = run / "home";
        const fs::path folder = home / ".local/state/teko32";
        const fs::path path = viaDefault ? folder / "filter.log" : run / "filter.log";
        const fs::path victim = run / "victim";  // what a link points at
        fs::create_directories(folder);
        { std::ofstream(victim) << ""; }

        Descriptor reader;
        switch (plant) {
            case Plant::Symlink:
                fs::create_symlink(victim, path);
                break;
            case Plant::LinkedFolder:
                // The folder on the way to the file is a link elsewhere.
                fs::remove_all(home / ".local");
                fs::create_directory(run / "elsewhere");
                fs::create_directory_symlink(run / "elsewhere", home / ".local");
                break;
            case Plant::FifoWithoutReader:
                ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
                break;
            case Plant::FifoWithReader:
                ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
                reader = Descriptor(::open(path.c_str(), O_RDONLY | O_NONBLOCK));
                ASSERT_TRUE(reader.valid());
                break;
            case Plant::OtherUsersFile: {
                std::ofstream(path) << "";
            }
                ASSERT_EQ(::chown(path.c_str(), kOtherUser, kOtherUser), 0);
                break;
            case Plant::HardLink:
                fs::create_hard_link(victim, path);
                break;
        }

        const ScopedEnv log("TEKO32_FILTER_LOG",
                            viaDefault ? std::nullopt : std::optional<std::string>(path));
        const ScopedEnv state("XDG_STATE_HOME", std::nullopt);
        const ScopedEnv homeVar("HOME", home.string());
        ASSERT_TRUE(AppendReturns()) << "the caller was stopped";

        EXPECT_EQ(Contents(victim), "");
        switch (plant) {
            case Plant::Symlink:
                EXPECT_TRUE(fs::is_symlink(path));
                break;
            case Plant::LinkedFolder:
                EXPECT_TRUE(fs::is_empty(run / "elsewhere"));
                if (!viaDefault) {
                    EXPECT_EQ(Contents(path), kLine);  // the override is not on the way
                }
                break;
            case Plant::FifoWithReader: {
                char byte = 0;
                EXPECT_LE(::read(reader.get(), &byte, 1), 0) << "a line went into the FIFO";
                break;
            }
            case Plant::OtherUsersFile:
                EXPECT_EQ(Contents(path), "");
                break;
            case Plant::FifoWithoutReader:
            case Plant::HardLink:
                break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Plants, PlantedPathTest,
                         ::testing::Values(PlantCase{"Symlink", Plant::Symlink},
                                           PlantCase{"LinkedFolder", Plant::LinkedFolder},
                                           PlantCase{"FifoWithoutReader", Plant::FifoWithoutReader},
                                           PlantCase{"FifoWithReader", Plant::FifoWithReader},
                                           PlantCase{"OtherUsersFile", Plant::OtherUsersFile},
                                           PlantCase{"HardLink", Plant::HardLink}),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
