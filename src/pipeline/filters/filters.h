// The filter classes. Each derives directly from CFilter; the classes that
// keep an intermediate image override GetWorkBufferSize. Sizes are in pixels
// of each filter's own format; see the .cpp file of each family for the
// pixel formulas.
#pragma once

#include "pipeline/filter.h"

namespace teko::pipeline {
// raw mosaic -> Ycc, one pixel per 2x2 block pair (mosaic.cpp)
class CMosaicBlockToYcc final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
    int32_t GetWorkBufferSize() const override;
};

// raw mosaic -> Ycc, one pixel per sample (3x3) (mosaic.cpp)
class CMosaicInterpolateToYcc final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
    int32_t GetWorkBufferSize() const override;
};

// raw mosaic -> Yc inside the raw frame buffer (mosaic.cpp)
class CMosaicToYcInPlace final : public CFilter {
  public:
    void SetInputSize(FrameSize& size) override;
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
};

// Ycc rows widened 25 -> 32 (scaling.cpp)
class CYccHorizontalStretch final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
    int32_t GetWorkBufferSize() const override;
};

// Yc rows widened 25 -> 32 (scaling.cpp)
class CYcHorizontalStretch final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
    int32_t GetWorkBufferSize() const override;
};

// Ycc rows doubled (copy, mean) (scaling.cpp)
class CYccLineDoubler final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
    int32_t GetWorkBufferSize() const override;
};

// Ycc rows tripled at thirds (scaling.cpp)
class CYccLineTripler final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
    int32_t GetWorkBufferSize() const override;
};

// 3x3 luminance sharpening of Ycc (sharpen.cpp)
class CYccSharpen final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
    int32_t GetWorkBufferSize() const override;
};

// 1x3 luminance sharpening of Ycc (sharpen.cpp)
class CYccHorizontalSharpen final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
    int32_t GetWorkBufferSize() const override;
};

// vertical three-row sum / 4 of Ycc (sharpen.cpp)
class CYccVerticalSmooth final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
    int32_t GetWorkBufferSize() const override;
};

// 3x3 luminance sharpening of Yc (sharpen.cpp)
class CYcSharpen final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
    int32_t GetWorkBufferSize() const override;
};

// Ycc -> bottom-up 24-bit BGR (output_ycc.cpp)
class CYccToRgb24 final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
};

// Ycc -> bottom-up RGB 5-5-5 (output_ycc.cpp)
class CYccToRgb555 final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
};

// Ycc -> bottom-up packed YUV 4:2:2 (output_ycc.cpp)
class CYccToUyvy final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
};

// Cb-first Yc -> 24-bit BGR (output_yc.cpp)
class CYcCbFirstToRgb24 final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
};

// Cr-first Yc -> 24-bit BGR (output_yc.cpp)
class CYcCrFirstToRgb24 final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
};

// Cb-first Yc -> RGB 5-5-5 (output_yc.cpp)
class CYcCbFirstToRgb555 final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
};

// Cr-first Yc -> RGB 5-5-5 (output_yc.cpp)
class CYcCrFirstToRgb555 final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
};

// Cb-first Yc -> packed YUV 4:2:2 (output_yc.cpp)
class CYcCbFirstToUyvy final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
};

// Cr-first Yc -> packed YUV 4:2:2 (output_yc.cpp)
class CYcCrFirstToUyvy final : public CFilter {
  public:
    void SetOutputSize(FrameSize& size) override;
    void Process(uint8_t*& current) override;
};

}  // namespace teko::pipeline
