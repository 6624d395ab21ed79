// Frame transfer against the recording port: line sequences in the three
// paths, stored samples, statistics, time-outs and interrupt masking.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "link/link.h"
#include "link_fixture.h"

namespace teko::link::testing {
namespace {

constexpr uint8_t kLow = FakePort::kAckLow;
constexpr uint8_t kHigh8 = FakePort::kAckHigh;
constexpr uint8_t kSentinel = 0xAA;

enum class Path { Epp, Ps2, Spp };

struct PathCase {
    const char* name;
    Path path;
    uint8_t flags;  // SPP wins over PS/2, PS/2 over EPP
    bool extraLead;
};

constexpr PathCase kPaths[] = {
    {"Epp", Path::Epp, kEppMode, false},
    {"EppExtraLead", Path::Epp, kEppMode, true},
    {"Ps2", Path::Ps2, kPs2Mode | kEppMode, false},
    {"Ps2ExtraLead", Path::Ps2, kPs2Mode | kEppMode, true},
    {"Spp", Path::Spp, kSppMode | kPs2Mode, false},
    {"SppExtraLead", Path::Spp, kSppMode | kEppMode, true},
};

class FrameTest : public LinkTest {
  protected:
    void Attach(uint8_t flags) {
        AttachLink(flags);
        port.dataEcho = false;
        port.statusDefault = kLow;
    }
    void TearDown() override {
        EXPECT_TRUE(port.InterruptsBalanced());
        LinkTest::TearDown();
    }
    // EPP words for one line: the two lead reads, then the samples.
    void QueueEppLine(const std::vector<uint8_t>& samples) {
        port.eppWords.push_back(0);
        port.eppWords.push_back(0);
        for (size_t i = 0; i < samples.size(); i += 4) {
            uint32_t word = 0;
            std::memcpy(&word, &samples[i], 4);
            port.eppWords.push_back(word);
        }
    }
    size_t Writes(uint8_t value) const {
        return port.CountValue(Kind::Write8, FakePort::kControl, value);
    }
};

// The samples of one line as the port sees them (answers as the fake gives
// them by default: EPP 0, data input 0xFF, status ACK low).
void AddSamples(Expect& e, const PathCase& c, uint32_t count) {
    if (c.path == Path::Epp) {
        e.Add({Kind::Read16, FakePort::kEppData, 0}).Add({Kind::Read32, FakePort::kEppData, 0});
        if (c.extraLead) e.In(FakePort::kEppData, 0);
        e.Add({Kind::Read32Repeat, FakePort::kEppData, count / 4});
        return;
    }
    const int lead = c.extraLead ? 7 : 6;
    for (int i = 0; i < lead; ++i)
        e.Ctl(kIdle).Ctl(kOpen);
    for (uint32_t i = 0; i < count; ++i) {
        e.Ctl(kIdle).Ctl(kOpen);
        if (c.path == Path::Ps2) {
            e.In(FakePort::kData, 0xFF);
        } else {
            e.In(FakePort::kStatus, kLow);
        }
    }
}

// The frame's first line with ACK already low at the first look.
void AddFirstLine(Expect& e, uint32_t lineLength) {
    e.In(FakePort::kStatus, kLow).Mask(true).Ctl(kOpen, 11).Ctl(kHigh);
    e.In(FakePort::kData, 0xFF, lineLength + 50 + 3000).Ctl(kIdle);
    e.In(FakePort::kStatus, kLow).Ctl(kOpen, 11);
}

void AddNextLine(Expect& e) {
    e.Mask(true).Ctl(kIdle).In(FakePort::kStatus, kLow).Ctl(kOpen, 11);
}

void AddEndFrame(Expect& e) {
    e.Ctl(kPulse, 11).Ctl(kIdle, 11);
}

TEST_F(FrameTest, EveryLineSequenceInEachPath) {
    for (const PathCase& c : kPaths) {
        SCOPED_TRACE(c.name);
        Attach(c.flags);
        SetExtraLeadSample(c.extraLead ? 1 : 0);
        port.ClearLog();
        std::vector<uint8_t> buffer(16);
        StartFrame();
        ASSERT_EQ(ReadFrame(10, 2, buffer.data()), 1);  // 10 bytes give lines of 8

        Expect e;
        e.Command(20);
        AddFirstLine(e, 8);
        AddSamples(e, c, 8);
        e.Ctl(kHigh).Mask(false);
        AddNextLine(e);
        AddSamples(e, c, 8);
        e.Ctl(kHigh).Mask(false);
        AddEndFrame(e);
        EXPECT_EQ(port.Runs(), e.Runs());
    }
}

TEST_F(FrameTest, EveryThirdLineSequenceInEachPath) {
    for (const PathCase& c : kPaths) {
        SCOPED_TRACE(c.name);
        Attach(c.flags);
        SetExtraLeadSample(c.extraLead ? 1 : 0);
        port.ClearLog();
        std::vector<uint8_t> buffer(16);
        StartFrame();
        ASSERT_EQ(ReadFrameEveryThirdLine(8, 2, buffer.data()), 1);

        Expect e;
        e.Command(20);
        for (int line = 0; line < 2; ++line) {
            if (line == 0) {
                AddFirstLine(e, 8);
            } else {
                AddNextLine(e);
            }
            AddSamples(e, c, 8);
            e.Ctl(kHigh, 9).Ctl(kIdle).In(FakePort::kStatus, kLow);  // second sensor line
            e.Ctl(kOpen, 11).Ctl(kHigh, 9).Ctl(kIdle).In(FakePort::kStatus, kLow);
            e.Ctl(kOpen, 11).Ctl(kHigh).In(FakePort::kData, 0xFF, 8 + 20);  // third, drained
            e.Ctl(kHigh).Mask(false);
        }
        AddEndFrame(e);
        EXPECT_EQ(port.Runs(), e.Runs());
    }
}

TEST_F(FrameTest, SppStoresTheFiveStatusBitsWithBusyAtItsLineLevel) {
    Attach(kSppMode);
    port.statusScript = {kLow, kLow, 0x7F, 0x87, 0xFF, 0x00, 0x08, 0x38, 0xC7, 0x80};
    std::vector<uint8_t> buffer(8);
    StartFrame();
    ASSERT_EQ(ReadFrame(8, 1, buffer.data()), 1);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0xF8, 0x00, 0x78, 0x80, 0x88, 0xB8, 0x40, 0x00}));
}

TEST_F(FrameTest, Ps2StoresTheDataRegister) {
    Attach(kPs2Mode);
    port.dataScript.assign(4 + 50 + 3000, 0);  // the dropped first sensor line
    for (const uint8_t sample : {0x01, 0x80, 0xFE, 0x37})
        port.dataScript.push_back(sample);
    std::vector<uint8_t> buffer(4);
    StartFrame();
    ASSERT_EQ(ReadFrame(4, 1, buffer.data()), 1);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0x01, 0x80, 0xFE, 0x37}));
}

TEST_F(FrameTest, EppLinesLandBackToBackWhateverTheAlignment) {
    for (const size_t offset : {size_t{0}, size_t{1}, size_t{3}}) {
        SCOPED_TRACE(offset);
        Attach(kEppMode);
        port.ClearLog();
        port.eppWords.clear();
        std::vector<uint8_t> first(640), second(640);
        for (size_t i = 0; i < 640; ++i) {
            first[i] = static_cast<uint8_t>(i);
            second[i] = static_cast<uint8_t>(255 - i);
        }
        QueueEppLine(first);
        QueueEppLine(second);
        // Exactly two lines of 640 (642 rounds down) plus a guard after them.
        std::vector<uint8_t> buffer(offset + 1280 + 4, kSentinel);
        StartFrame();
        ASSERT_EQ(ReadFrame(642, 2, buffer.data() + offset), 1);
        EXPECT_TRUE(std::equal(first.begin(), first.end(), buffer.begin() + offset));
        EXPECT_TRUE(std::equal(second.begin(), second.end(), buffer.begin() + offset + 640));
        for (size_t i = offset + 1280; i < buffer.size(); ++i)
            EXPECT_EQ(buffer[i], kSentinel);
        EXPECT_EQ(port.CountValue(Kind::Read32Repeat, FakePort::kEppData, 160), 2u);
        EXPECT_EQ(port.Count(Kind::Read32Repeat, FakePort::kEppData), 2u);
    }
}

TEST_F(FrameTest, StatisticsCoverEveryStoredLineButTheLast) {
    struct Case {
        int32_t threshold;
        uint32_t bright;
    };
    // Line 1: 80, 200, 79, 255; line 2: 0, 0, 0, 200; line 3 (last, not counted): all 200.
    for (const Case c : {Case{80, 1 + 2 + 0 + 2 + 2}, Case{250, 2}, Case{0, 6 + 5}, Case{0x150, 7},
                         Case{201, 2}}) {
        SCOPED_TRACE(c.threshold);
        Attach(kEppMode);
        SetShutterThreshold(c.threshold);
        State().brightSampleCount = 999;  // StartFrame starts the counts afresh
        State().sampleCount = 999;
        QueueEppLine({80, 200, 79, 255});
        QueueEppLine({0, 0, 0, 200});
        QueueEppLine({200, 200, 200, 200});
        std::vector<uint8_t> buffer(12);
        StartFrame();
        ASSERT_EQ(ReadFrame(4, 3, buffer.data()), 1);
        EXPECT_EQ(State().brightSampleCount, c.bright);
        EXPECT_EQ(State().sampleCount, 8u);
    }
}

TEST_F(FrameTest, ReadWithoutStartFrameNeverLooksBeforeTheBuffer) {
    Attach(kEppMode);
    QueueEppLine({255, 255, 255, 255});
    QueueEppLine({255, 255, 255, 255});
    std::vector<uint8_t> buffer(8);  // exact size: a read before it is a sanitizer error
    ASSERT_EQ(ReadFrame(4, 2, buffer.data()), 1);
    EXPECT_EQ(State().sampleCount, 4u);  // only line 1, looked back at from line 2
    EXPECT_EQ(State().brightSampleCount, 8u);
    EXPECT_EQ(port.log.front(), (Access{Kind::Mask, 0, 1}));  // no first-line drop
}

TEST_F(FrameTest, FirstLineDropDependsOnTheFirstLook) {
    struct Case {
        const char* name;
        std::deque<uint8_t> status;
        size_t dataReads;
        size_t statusReadsBeforeMask;
    };
    const Case cases[] = {
        {"AlreadyReady", {kLow}, 8 + 50 + 3000, 1},
        {"StillExposing", {kHigh8, kHigh8, kHigh8, kLow}, 8 + 50, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Attach(kEppMode);
        port.statusScript = c.status;
        StartFrame();
        port.ClearLog();
        std::vector<uint8_t> buffer(8);
        ASSERT_EQ(ReadFrame(8, 1, buffer.data()), 1);
        EXPECT_EQ(port.Count(Kind::Read8, FakePort::kData), c.dataReads);
        EXPECT_EQ(State().skipCount, c.dataReads);
        size_t polls = 0;
        for (const Access& a : port.log) {
            if (a.kind == Kind::Mask) break;
            polls += a.port == FakePort::kStatus ? 1 : 0;
        }
        EXPECT_EQ(polls, c.statusReadsBeforeMask);
    }
}

TEST_F(FrameTest, LineTimeOutsStopTheReadWithoutEndFrame) {
    struct Case {
        const char* name;
        bool everyThird;
        size_t readyWaits;  // acknowledge waits that succeed before the one that fails
        size_t storedLines;
    };
    const Case cases[] = {
        {"SecondLine", false, 2, 1},
        {"ThirdLine", false, 3, 2},
        {"GroupSecondSensorLine", true, 2, 1},
        {"GroupThirdSensorLine", true, 3, 1},
        {"NextGroup", true, 4, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Attach(kEppMode);
        StartFrame();
        port.ClearLog();
        port.statusDefault = kHigh8;
        port.statusScript.assign(c.readyWaits, kLow);
        port.eppWords.clear();
        QueueEppLine({1, 2, 3, 4});
        QueueEppLine({5, 6, 7, 8});
        std::vector<uint8_t> buffer(12, kSentinel);
        const int32_t ok = c.everyThird ? ReadFrameEveryThirdLine(4, 3, buffer.data())
                                        : ReadFrame(4, 3, buffer.data());
        EXPECT_EQ(ok, 0);
        EXPECT_EQ(port.Count(Kind::Read8, FakePort::kStatus), c.readyWaits + 40'000);
        EXPECT_EQ(Writes(kPulse), 0u);  // StartFrame's command has none; no EndFrame
        const std::vector<uint8_t> expected = {1, 2, 3, 4, 5, 6, 7, 8};
        for (size_t i = 0; i < 12; ++i) {
            EXPECT_EQ(buffer[i], i < 4 * c.storedLines ? expected[i] : kSentinel) << i;
        }
        EXPECT_TRUE(port.InterruptsBalanced());
    }
}

TEST_F(FrameTest, CameraStillExposingGivesUpAfterFourMillionPolls) {
    Attach(kEppMode);
    port.statusDefault = kHigh8;
    std::vector<uint8_t> buffer(8, kSentinel);
    StartFrame();
    port.ClearLog();
    EXPECT_EQ(ReadFrame(8, 1, buffer.data()), 0);
    EXPECT_EQ(port.Count(Kind::Read8, FakePort::kStatus), 1u + 4'000'000u);
    EXPECT_EQ(port.CountValue(Kind::Mask, 0, 1), 0u);  // never masked
    EXPECT_EQ(port.log.back(), (Access{Kind::Mask, 0, 0}));
    EXPECT_EQ(port.Count(Kind::Read8, FakePort::kData), 0u);
}

TEST_F(FrameTest, SkipLinesAcknowledgesEachLineThenEndsTheFrame) {
    Attach(kEppMode);
    State().firstLinePending = 1;
    State().brightSampleCount = 5;
    SkipLines(2);
    Expect e;
    for (int line = 0; line < 2; ++line) {
        e.In(FakePort::kStatus, kLow).Ctl(kOpen, 11).Out(FakePort::kData, kOpen, 4);
        e.Ctl(kHigh, 9).Ctl(kIdle);
    }
    e.In(FakePort::kStatus, kLow);
    AddEndFrame(e);
    EXPECT_EQ(port.Runs(), e.Runs());
    EXPECT_EQ(State().firstLinePending, 1);
    EXPECT_EQ(State().brightSampleCount, 5u);
}

TEST_F(FrameTest, SkipLinesStopsQuietlyAtALineThatDoesNotCome) {
    Attach(kEppMode);
    port.statusDefault = kHigh8;
    port.statusScript = {kLow, kLow};
    SkipLines(240);
    EXPECT_EQ(port.Count(Kind::Read8, FakePort::kStatus), 2u + 40'000u);
    EXPECT_EQ(Writes(kOpen), 22u);
    EXPECT_EQ(Writes(kPulse), 0u);  // no EndFrame
}

TEST_F(FrameTest, ReadFrameRefusesArgumentsOutsideItsBounds) {
    Attach(kEppMode);
    uint8_t buffer[8] = {};
    struct Case {
        int32_t lineBytes;
        int32_t lineCount;
        uint8_t* buffer;
    };
    for (const Case c : {Case{3, 1, buffer}, Case{4096, 1, buffer}, Case{-4, 1, buffer},
                         Case{4, 0, buffer}, Case{4, -1, buffer}, Case{4, 1, nullptr}}) {
        EXPECT_EQ(ReadFrame(c.lineBytes, c.lineCount, c.buffer), 0);
        EXPECT_EQ(ReadFrameEveryThirdLine(c.lineBytes, c.lineCount, c.buffer), 0);
    }
    EXPECT_TRUE(port.log.empty());

    // The largest line is accepted and rounded down to whole words.
    std::vector<uint8_t> line(4092);
    StartFrame();
    EXPECT_EQ(ReadFrame(4095, 1, line.data()), 1);
    EXPECT_EQ(port.CountValue(Kind::Read32Repeat, FakePort::kEppData, 1023), 1u);
}

TEST_F(FrameTest, FrameIsReadyWhenAckReadsLow) {
    Attach(kEppMode);
    struct Case {
        uint8_t status;
        int32_t ready;
    };
    for (const Case c : {Case{0xBF, 1}, Case{0x00, 1}, Case{0xFF, 0}, Case{0x40, 0}}) {
        port.statusScript = {c.status};
        EXPECT_EQ(IsFrameReady(), c.ready);
    }
    EXPECT_EQ(port.log.size(), 4u);
}

}  // namespace
}  // namespace teko::link::testing
