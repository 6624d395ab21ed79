// The Linux port backends against a fake kernel: how each register access
// becomes a parport-device call or a port instruction, the choice between
// them per base address, and the empty port with its one-line report.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
// After sys/ioctl.h, which defines its request macros.
#include <linux/ppdev.h>

#include <algorithm>
#include <utility>

#include <cerrno>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/sys_calls.h"

namespace {

namespace platform = teko::platform;
using Log = std::vector<std::string>;

constexpr int kFd = 7;
constexpr unsigned kModesWithEpp = 1u << 2;  // PARPORT_MODE_EPP

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

// What the fake kernel answers, and every call made to it.
struct FakeKernel {
    std::map<std::string, std::string> files;  // /proc entries
    int openErrno = 0;                         // nonzero: open fails with it
    bool iopermAllowed = false;
    bool root = false;
    unsigned modes = kModesWithEpp;
    uint8_t data = 0x11, status = 0x78, control = 0xC4;  // what the registers read
    uint8_t nextEppByte = 0x40;
    Log log;
};

FakeKernel* gFake = nullptr;

std::string RequestName(unsigned long request) {
    static const std::map<unsigned long, std::string> names = {
        {PPCLAIM, "PPCLAIM"},       {PPRELEASE, "PPRELEASE"}, {PPGETMODES, "PPGETMODES"},
        {PPSETMODE, "PPSETMODE"},   {PPDATADIR, "PPDATADIR"}, {PPRDATA, "PPRDATA"},
        {PPWDATA, "PPWDATA"},       {PPRSTATUS, "PPRSTATUS"}, {PPRCONTROL, "PPRCONTROL"},
        {PPWCONTROL, "PPWCONTROL"},
    };
    const auto it = names.find(request);
    return it == names.end() ? "ioctl?" : it->second;
}

teko::platform::sys::SysCalls FakeCalls() {
    teko::platform::sys::SysCalls calls{};
    calls.open = [](const char* path) {
        gFake->log.push_back(std::string("open ") + path);
        if (gFake->openErrno) {
            errno = gFake->openErrno;
            return -1;
        }
        return kFd;
    };
    calls.close = [](int fd) {
        gFake->log.push_back("close " + std::to_string(fd));
        return 0;
    };
    calls.ioctl = [](int, unsigned long request, void* argument) {
        std::string entry = RequestName(request);
        auto* byte = static_cast<unsigned char*>(argument);
        if (request == PPRDATA) *byte = gFake->data;
        if (request == PPRSTATUS) *byte = gFake->status;
        if (request == PPRCONTROL) *byte = gFake->control;
        if (request == PPGETMODES) *static_cast<unsigned*>(argument) = gFake->modes;
        if (request == PPWDATA || request == PPWCONTROL) entry += " " + Hex(*byte);
        if (request == PPDATADIR || request == PPSETMODE) {
            entry += " " + std::to_string(*static_cast<int*>(argument));
        }
        gFake->log.push_back(entry);
        return 0;
    };
    calls.read = [](int, void* buffer, std::size_t bytes) {
        gFake->log.push_back("read " + std::to_string(bytes));
        auto* out = static_cast<uint8_t*>(buffer);
        for (std::size_t i = 0; i < bytes; ++i)
            out[i] = gFake->nextEppByte++;
        return static_cast<long>(bytes);
    };
    calls.ioperm = [](unsigned long from, unsigned long count, int) {
        gFake->log.push_back("ioperm " + Hex(from) + " " + std::to_string(count));
        if (gFake->iopermAllowed) return 0;
        errno = EPERM;
        return -1;
    };
    calls.inb = [](uint16_t port) {
        gFake->log.push_back("inb " + Hex(port));
        return uint8_t{0x5A};
    };
    calls.outb = [](uint16_t port, uint8_t value) {
        gFake->log.push_back("outb " + Hex(port) + " " + Hex(value));
    };
    calls.inw = [](uint16_t port) {
        gFake->log.push_back("inw " + Hex(port));
        return uint16_t{0x1234};
    };
    calls.inl = [](uint16_t port) {
        gFake->log.push_back("inl " + Hex(port));
        return uint32_t{0x12345678};
    };
    calls.insl = [](uint16_t port, uint32_t* dst, std::size_t count) {
        gFake->log.push_back("insl " + Hex(port) + " " + std::to_string(count));
        for (std::size_t i = 0; i < count; ++i)
            dst[i] = 0xCAFE0000u + static_cast<uint32_t>(i);
    };
    calls.readText = [](const char* path, std::string* text) {
        const auto it = gFake->files.find(path);
        if (it == gFake->files.end()) return false;
        *text = it->second;
        return true;
    };
    calls.runsAsRoot = [] { return gFake->root; };
    return calls;
}

class PortBackendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gFake = &kernel;
        const auto calls = FakeCalls();
        platform::sys::SetSysCallsForTesting(&calls);
        platform::ResetForTesting();
    }
    void TearDown() override {
        platform::ResetForTesting();
        platform::sys::SetSysCallsForTesting(nullptr);
        gFake = nullptr;
    }
    // parport0 at 0x378 (base-addr holds the base and the ECR block, decimal).
    void AddParport0() { kernel.files["/proc/sys/dev/parport/parport0/base-addr"] = "888\t1912\n"; }
    Log TakeLog() { return std::exchange(kernel.log, {}); }

    FakeKernel kernel;
};

TEST_F(PortBackendTest, ParportDeviceMapsEveryRegister) {
    AddParport0();
    EXPECT_TRUE(TakeLog().empty());  // nothing before the first access

    EXPECT_EQ(platform::In8(0x37A), 0x04);  // control lines only; direction forward
    EXPECT_EQ(TakeLog(),
              (Log{"open /dev/parport0", "PPCLAIM", "PPGETMODES", "PPDATADIR 0", "PPRCONTROL"}));

    platform::Out8(0x378, 0x5A);
    EXPECT_EQ(platform::In8(0x378), 0x11);
    EXPECT_EQ(platform::In8(0x379), 0x78);
    platform::Out8(0x37A, 0x24);            // direction bit: data lines to input
    EXPECT_EQ(platform::In8(0x37A), 0x24);  // lines from the port, direction as written
    platform::Out8(0x37A, 0x26);            // direction unchanged
    platform::Out8(0x37A, 0x06);            // back to output
    EXPECT_EQ(TakeLog(),
              (Log{"PPWDATA 0x5a", "PPRDATA", "PPRSTATUS", "PPDATADIR 1", "PPWCONTROL 0x4",
                   "PPRCONTROL", "PPWCONTROL 0x6", "PPDATADIR 0", "PPWCONTROL 0x6"}));

    // No ECR through the device: it reads as absent and takes no writes.
    EXPECT_EQ(platform::In8(0x77A), 0xFF);
    platform::Out8(0x77A, 0x80);
    platform::MaskInterrupts(true);
    platform::MaskInterrupts(false);
    EXPECT_TRUE(TakeLog().empty());

    // EPP data reads, the first byte lowest.
    EXPECT_EQ(platform::In8(0x37C), 0x40);
    EXPECT_EQ(platform::In16(0x37C), 0x4241);
    EXPECT_EQ(platform::In32(0x37C), 0x46454443u);
    uint32_t words[2] = {};
    platform::In32Repeat(0x37C, words, 2);
    EXPECT_EQ(words[0], 0x4A494847u);
    EXPECT_EQ(words[1], 0x4E4D4C4Bu);
    EXPECT_EQ(TakeLog(), (Log{"PPSETMODE 64", "read 1", "read 2", "read 4", "read 8"}));

    platform::ResetForTesting();
    EXPECT_EQ(TakeLog(), (Log{"PPRELEASE", "close 7"}));
}

TEST_F(PortBackendTest, PortWithoutHardwareEppAnswersAllOnesToEppReads) {
    AddParport0();
    kernel.modes = 0;
    EXPECT_EQ(platform::In8(0x37C), 0xFF);
    EXPECT_EQ(platform::In32(0x37C), 0xFFFFFFFFu);
    const Log log = TakeLog();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& e) { return e.starts_with("read"); }),
              0);
}

TEST_F(PortBackendTest, DirectAccessWhenTheDeviceCannotBeOpened) {
    AddParport0();
    kernel.openErrno = EACCES;
    kernel.iopermAllowed = true;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(platform::In8(0x379), 0x5A);
    platform::Out8(0x378, 0x33);
    EXPECT_EQ(platform::In16(0x37C), 0x1234);
    EXPECT_EQ(platform::In32(0x37C), 0x12345678u);
    uint32_t words[3] = {};
    platform::In32Repeat(0x37C, words, 3);
    EXPECT_EQ(words[2], 0xCAFE0002u);
    platform::In8(0x77A);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(TakeLog(),
              (Log{"open /dev/parport0", "ioperm 0x378 5", "ioperm 0x77a 1", "inb 0x379",
                   "outb 0x378 0x33", "inw 0x37c", "inl 0x37c", "insl 0x37c 3", "inb 0x77a"}));
}

TEST_F(PortBackendTest, EmptyPortReportsOncePerBase) {
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(platform::In8(0x37A), 0xFF);
        platform::Out8(0x378, 0x01);
        EXPECT_EQ(platform::In8(0x77A), 0xFF);  // the ECR belongs to the same base
        EXPECT_EQ(platform::In32(0x37C), 0xFFFFFFFFu);
    }
    EXPECT_EQ(platform::In8(0x279), 0xFF);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "teko32: port 0x378 reads as empty: no permission for port 0x378: run as root, "
              "or use /dev/parport0\n"
              "teko32: port 0x278 reads as empty: no permission for port 0x278: run as root, "
              "or use /dev/parport0\n");
    EXPECT_EQ(TakeLog(), (Log{"ioperm 0x378 5", "ioperm 0x278 5"}));
}

// As root a refused ioperm is the system's refusal (a container, a locked-down
// kernel), not a missing privilege; so is any error other than EPERM.
TEST_F(PortBackendTest, RefusalAsRootIsTheSystemsNotAMissingPrivilege) {
    kernel.root = true;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(platform::In8(0x379), 0xFF);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "teko32: port 0x378 reads as empty: the system refused direct port access (no "
              "permission, or the kernel forbids it here); use /dev/parport0\n");
}

TEST_F(PortBackendTest, SelectedBackends) {
    AddParport0();
    std::string why;

    // Empty: no system call at all, nothing printed.
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(platform::SelectPortBackend(platform::PortBackend::Empty, nullptr, &why));
    EXPECT_EQ(platform::In8(0x379), 0xFF);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(TakeLog().empty());

    // Direct: never the device; without permission, the reason once.
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(platform::SelectPortBackend(platform::PortBackend::Direct, nullptr, &why));
    EXPECT_EQ(platform::In8(0x379), 0xFF);
    EXPECT_EQ(platform::In8(0x37A), 0xFF);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "teko32: port 0x378 reads as empty: no permission for port 0x378: run as root, "
              "or use /dev/parport0\n");
    EXPECT_EQ(TakeLog(), (Log{"ioperm 0x378 5"}));

    // A named device is opened at once and serves its own base only.
    EXPECT_FALSE(platform::SelectPortBackend(platform::PortBackend::Ppdev, "/dev/parport1", &why));
    EXPECT_EQ(why,
              "/dev/parport1 is a parport device, but the kernel lists no port address for it "
              "under /proc/sys/dev/parport");
    kernel.openErrno = ENOENT;
    EXPECT_FALSE(platform::SelectPortBackend(platform::PortBackend::Ppdev, "/dev/nothing", &why));
    EXPECT_EQ(why, "/dev/nothing: cannot open: No such file or directory");
    kernel.openErrno = EBUSY;
    EXPECT_FALSE(platform::SelectPortBackend(platform::PortBackend::Ppdev, "/dev/parport0", &why));
    EXPECT_EQ(why.rfind("/dev/parport0: cannot open: ", 0), 0u) << why;
    kernel.openErrno = 0;
    ASSERT_TRUE(platform::SelectPortBackend(platform::PortBackend::Ppdev, "/dev/parport0", &why));
    TakeLog();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(platform::In8(0x379), 0x78);
    EXPECT_EQ(platform::In8(0x279), 0xFF);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "teko32: port 0x278 reads as empty: /dev/parport0 is not the port at 0x278\n");
    EXPECT_EQ(TakeLog(), (Log{"PPRSTATUS"}));
}

}  // namespace
