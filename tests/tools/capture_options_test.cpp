// teko-capture's command line as a table of good and bad cases.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "capture_options.h"

namespace teko::tools {
namespace {

struct Parsed {
    CaptureOptions options;
    CaptureParse result;
};

Parsed Parse(const std::vector<std::string>& words) {
    std::vector<std::string> copies = words;
    std::vector<char*> argv;
    for (auto& word : copies)
        argv.push_back(word.data());
    Parsed p;
    p.result = ParseCaptureArguments(argv, p.options);
    return p;
}

struct BadCase {
    std::vector<std::string> args;
    const char* message;  // the error names the option and its range
};

TEST(CaptureOptions, RefusesOutOfRangeAndMalformedValuesNamingOptionAndRange) {
    const BadCase cases[] = {
        {{"--brightness", "32"}, "--brightness takes 0 to 31, not '32'"},
        {{"--brightness", "-1"}, "--brightness takes 0 to 31, not '-1'"},
        {{"--brightness"}, "--brightness needs a number from 0 to 31"},
        {{"--shutter", "65536"}, "--shutter takes 0 to 65535, not '65536'"},
        {{"--shutter", "12abc"}, "--shutter takes 0 to 65535, not '12abc'"},
        {{"--red-gain", "256"}, "--red-gain takes 0 to 255, not '256'"},
        {{"--blue-gain", "1000"}, "--blue-gain takes 0 to 255, not '1000'"},
        {{"--gamma", "5"}, "--gamma takes 6 to 59, not '5'"},
        {{"--frames", "0"}, "--frames takes 1 to 1000000, not '0'"},
        {{"--frames", "99999999999"}, "--frames takes 1 to 1000000, not '99999999999'"},
        {{"--settle", "-1"}, "--settle takes 0 to 1000, not '-1'"},
        {{"--access-time", "nan"}, "--access-time takes microseconds from 0 to 1000000, not 'nan'"},
        {{"--access-time", "1e308"}, "--access-time takes microseconds from 0 to 1000000"},
        {{"--access-time", "inf"}, "--access-time takes microseconds"},
        {{"--access-time", "-1"}, "--access-time takes microseconds"},
        {{"--size", "4294967616x240"}, "--size takes WxH from 1x1 to 640x480"},
        {{"--size", "0x0"}, "--size takes WxH"},
        {{"--size", "640x0"}, "--size takes WxH"},
        {{"--size", "641x480"}, "--size takes WxH"},
        {{"--size", "320x240x1"}, "--size takes WxH"},
        {{"--size", "-3x240"}, "--size takes WxH"},
        {{"--size", "320"}, "--size takes WxH"},
        {{"--size", "640x480", "--zoom", "off"}, "needs zoom: without it the largest picture is 320x240"},
        {{"--depth", "32"}, "--depth takes 24 or 16"},
        {{"--zoom", "maybe"}, "--zoom takes on or off"},
        {{"--port", "0"}, "--port takes a hexadecimal port address from 1 to FFFF"},
        {{"--port", "10000"}, "--port takes a hexadecimal port address"},
        {{"--port", "0x"}, "--port takes a hexadecimal port address"},
        {{"--port", "37g"}, "--port takes a hexadecimal port address"},
        {{"--sim-base", "0x10000"}, "--sim-base takes a hexadecimal port address"},
        {{"--ccd-type", "16"}, "--ccd-type takes 0 to 15"},
        {{"--identity", "0x10000"}, "--identity takes 0 to 0xFFFF"},
        // Options that do not apply.
        {{"--yuv", "--depth", "16"}, "--depth does not apply to --yuv output"},
        {{"--port", "378", "--mode", "spp"}, "--mode configures the virtual camera and does not apply with --port"},
        {{"--scene", "x.png", "--port", "378"}, "--scene configures the virtual camera"},
        {{"--direct"}, "--direct and --parport need --port ADDR"},
        {{"--parport", "/dev/parport0"}, "--direct and --parport need --port ADDR"},
        {{"-o", "frame.jpg"}, "unknown picture type for frame.jpg"},
        {{"--bogus"}, "unknown option '--bogus'"},
    };
    for (const auto& c : cases) {
        const Parsed p = Parse(c.args);
        EXPECT_NE(p.result.error.find(c.message), std::string::npos)
            << "args: " << ::testing::PrintToString(c.args) << "\nerror: " << p.result.error;
    }
}

TEST(CaptureOptions, AcceptsGoodValuesAtTheEdgesOfTheirRanges) {
    {
        const Parsed p = Parse({"--size", "1x1", "--brightness", "0", "--shutter", "65535",
                                "--red-gain", "0", "--blue-gain", "255", "--gamma", "59",
                                "--frames", "1000000", "--settle", "0"});
        ASSERT_EQ(p.result.error, "");
        EXPECT_EQ(p.options.width, 1);
        EXPECT_EQ(p.options.height, 1);
        EXPECT_EQ(p.options.brightness, 0);
        EXPECT_EQ(p.options.shutter, 65535);
        EXPECT_EQ(p.options.redGain, 0);
        EXPECT_EQ(p.options.blueGain, 255);
        EXPECT_EQ(p.options.gamma, 59);
        EXPECT_EQ(p.options.frames, 1000000);
        EXPECT_EQ(p.options.settle, 0);
    }
    {
        const Parsed p = Parse({"--size", "320X240", "--zoom", "off", "--brightness", "31"});
        ASSERT_EQ(p.result.error, "");
        EXPECT_EQ(p.options.width, 320);
        EXPECT_EQ(p.options.height, 240);
        EXPECT_EQ(p.options.zoom, false);
    }
    // Port addresses are hexadecimal with or without 0x.
    for (const char* port : {"378", "0x378", "0X378"}) {
        const Parsed p = Parse({"--port", port, "--direct"});
        ASSERT_EQ(p.result.error, "") << port;
        EXPECT_EQ(p.options.port, 0x378) << port;
    }
    {
        const Parsed p = Parse({"--sim-base", "278", "--mode", "ps2"});
        ASSERT_EQ(p.result.error, "");
        EXPECT_EQ(p.options.sim.config.base, 0x278);
    }
    {
        const Parsed p = Parse({"--yuv", "--access-time", "0.5", "--stats"});
        ASSERT_EQ(p.result.error, "");
        EXPECT_TRUE(p.options.yuv);
        EXPECT_DOUBLE_EQ(p.options.accessMicroseconds, 0.5);
        EXPECT_TRUE(p.result.warnings.empty());
    }
    {
        const Parsed p = Parse({});
        ASSERT_EQ(p.result.error, "");
        EXPECT_EQ(p.options.frames, 1);
        EXPECT_EQ(p.options.settle, 30);
    }
}

TEST(CaptureOptions, WarnsOfOptionsWithoutEffect) {
    const Parsed a = Parse({"--access-time", "3"});
    ASSERT_EQ(a.result.error, "");
    ASSERT_EQ(a.result.warnings.size(), 1u);
    EXPECT_NE(a.result.warnings[0].find("--access-time has no effect without --stats"),
              std::string::npos);
    const Parsed s = Parse({"--auto-shutter", "off", "--settle", "5"});
    ASSERT_EQ(s.result.error, "");
    ASSERT_EQ(s.result.warnings.size(), 1u);
    EXPECT_NE(s.result.warnings[0].find("--settle has no effect"), std::string::npos);
}

// The option names in a text: every -x or --name that starts an option
// entry (the first column of a help line or of a README table row).
std::set<std::string> OptionNames(const std::string& column) {
    std::set<std::string> names;
    static const std::regex option(R"((^|[\s`,])(--?[a-z][a-z0-9-]*))");
    for (std::sregex_iterator it(column.begin(), column.end(), option), end; it != end; ++it) {
        names.insert((*it)[2].str());
    }
    return names;
}

std::set<std::string> HelpOptionNames() {
    std::set<std::string> names;
    std::istringstream lines(CaptureUsage());
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  -", 0) != 0) continue;
        // The first column ends at the first run of two spaces after the indent.
        const auto gap = line.find("  ", 2);
        const auto found = OptionNames(line.substr(2, gap == std::string::npos ? gap : gap - 2));
        names.insert(found.begin(), found.end());
    }
    return names;
}

std::set<std::string> ReadmeOptionNames() {
    std::ifstream file(TEKO_README_PATH);
    EXPECT_TRUE(file) << TEKO_README_PATH;
    std::set<std::string> names;
    bool inSection = false;
    for (std::string line; std::getline(file, line);) {
        if (line.rfind("## ", 0) == 0) inSection = line.find("`teko-capture`") != std::string::npos;
        if (!inSection || line.rfind("| `", 0) != 0) continue;
        const auto cellEnd = line.find(" | ", 2);
        const auto found = OptionNames(line.substr(2, cellEnd - 2));
        names.insert(found.begin(), found.end());
    }
    return names;
}

TEST(CaptureOptions, ReadmeTableListsExactlyTheOptionsOfHelp) {
    const auto help = HelpOptionNames();
    const auto readme = ReadmeOptionNames();
    EXPECT_GT(help.size(), 30u);
    EXPECT_EQ(readme, help);
}

}  // namespace
}  // namespace teko::tools
