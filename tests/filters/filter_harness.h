// Helpers for the filter tests: buffers allocated the way the framework
// allocates them, filters sized the way the size negotiation sizes them, and
// the plain integer arithmetic the reference implementations are written in.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pipeline/filter.h"
#include "pipeline/filters/filters.h"
#include "pipeline/pipeline.h"
#include "pipeline/simd_level.h"
#include "support/library_fixture.h"

namespace teko::filter_test {

using pipeline::CFilter;
using pipeline::FrameSize;
using Bytes = std::vector<uint8_t>;

// `bytes` bytes from the framework's own work-buffer allocation, with its
// zero-filled spare bytes after them. Filled from `content`.
class FrameworkBuffer {
  public:
    explicit FrameworkBuffer(const Bytes& content) : holder_(static_cast<int32_t>(content.size())) {
        EXPECT_EQ(holder_.AllocateWorkBuffer(), 1);
        std::memcpy(holder_.workBuffer, content.data(), content.size());
    }
    ~FrameworkBuffer() { holder_.FreeWorkBuffer(); }
    FrameworkBuffer(const FrameworkBuffer&) = delete;
    FrameworkBuffer& operator=(const FrameworkBuffer&) = delete;
    uint8_t* data() const { return holder_.workBuffer; }

  private:
    class Holder final : public CFilter {
      public:
        explicit Holder(int32_t bytes) : bytes_(bytes) {}
        int32_t GetWorkBufferSize() const override { return bytes_; }

      private:
        int32_t bytes_;
    };
    Holder holder_;
};

// A filter sized for an output of w x h as the negotiation does: SetOutputSize,
// then SetInputSize with the size it asked for (or with `inputWidth` when
// given, e.g. a row pitch rounded up), and its work buffer allocated.
template <class Filter>
struct SizedFilter {
    SizedFilter(int32_t w, int32_t h, int32_t inputWidth = 0) {
        FrameSize size{w, h};
        filter.SetOutputSize(size);
        asked = size;
        if (inputWidth > 0) size.width = inputWidth;
        filter.SetInputSize(size);
        EXPECT_EQ(filter.AllocateWorkBuffer(), 1);
    }
    ~SizedFilter() {
        if (filter.GetWorkBufferSize() > 0) {
            filter.FreeWorkBuffer();
        } else {
            filter.SetWorkBuffer(nullptr);  // a client's buffer is never released
        }
    }
    SizedFilter(const SizedFilter&) = delete;
    SizedFilter& operator=(const SizedFilter&) = delete;

    // The filter's own output after Process, as bytes.
    Bytes Output() const {
        const auto n = static_cast<std::size_t>(filter.GetWorkBufferSize());
        return Bytes(filter.workBuffer, filter.workBuffer + n);
    }
    // Fills the work buffer with `content`, so that untouched bytes show.
    void Prefill(const Bytes& content) {
        std::memcpy(filter.workBuffer, content.data(), content.size());
    }

    Filter filter;
    FrameSize asked;
};

inline Bytes RandomBytes(std::size_t n, uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes bytes(n);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(byte(generator));
    return bytes;
}

// Byte at `offset`, or 0 past the end: the framework's spare bytes are zero.
inline int At(const Bytes& image, std::size_t offset) {
    return offset < image.size() ? image[offset] : 0;
}
inline int AsSigned(int byte) {
    return byte < 128 ? byte : byte - 256;
}

// Floor division, written without shifts: the reference for `>>`.
inline int64_t FloorDiv(int64_t a, int64_t d) {
    int64_t q = a / d;
    if (a % d != 0 && ((a < 0) != (d < 0))) --q;
    return q;
}
inline int64_t Shr(int64_t a, int n) {
    return FloorDiv(a, int64_t{1} << n);
}
// The value a 32-bit register holds after computing `v`.
inline int64_t Wrap32(int64_t v) {
    constexpr int64_t kModulus = int64_t{1} << 32;
    int64_t r = ((v % kModulus) + kModulus) % kModulus;
    return r >= (kModulus / 2) ? r - kModulus : r;
}
inline int64_t Clamp255(int64_t v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}
inline uint8_t Low8(int64_t v) {
    return static_cast<uint8_t>(((v % 256) + 256) % 256);
}

// Reports the first differing byte.
inline ::testing::AssertionResult SameBytes(const Bytes& actual, const Bytes& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << "size " << actual.size() << " != " << expected.size();
    }
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i]) {
            return ::testing::AssertionFailure()
                   << "byte " << i << ": " << int{actual[i]} << " != expected " << int{expected[i]};
        }
    }
    return ::testing::AssertionSuccess();
}

// Runs every test of a suite once per processor level: the portable kernels
// and each vector level this machine supports (instantiated with
// ValuesIn(pipeline::kSimdLevels) and LevelTestName).
class LevelTest : public testing::LibraryTest,
                  public ::testing::WithParamInterface<pipeline::SimdLevel> {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        if (!pipeline::SelectSimdLevel(GetParam())) {
            GTEST_SKIP() << pipeline::SimdLevelName(GetParam()) << " not supported here";
        }
    }
};

inline std::string LevelTestName(const ::testing::TestParamInfo<pipeline::SimdLevel>& info) {
    std::string name = pipeline::SimdLevelName(info.param);
    for (char& c : name)
        if (c == '-') c = '_';
    return name;
}

struct Size {
    int32_t w;
    int32_t h;
};

inline std::string Describe(Size s) {
    return std::to_string(s.w) + "x" + std::to_string(s.h);
}

}  // namespace teko::filter_test
