// The usual OpenCV chain for the same job as code 15 at 640x480, on one
// thread: bilinear Bayer demosaic of the 504x244 raw frame, resize to 640x480,
// a 3x3 sharpening filter2D, and a gamma LUT (the library's table at the gamma
// it opens with). Outputs are kept between frames, so no frame allocates.
#include <benchmark/benchmark.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <vector>

#include "pipeline/pipeline.h"
#include "stack_fixture.h"

namespace {

constexpr int kRawWidth = 504;
constexpr int kRawHeight = 244;
constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int32_t kGammaAtOpen = 18;

void BM_OpenCvChain(benchmark::State& state) {
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);

    std::vector<uint8_t> samples(static_cast<std::size_t>(kRawWidth) * kRawHeight);
    teko::bench::FillRawFrame(teko::bench::Pattern::Noisy, kRawWidth, samples);
    const cv::Mat raw(kRawHeight, kRawWidth, CV_8UC1, samples.data());

    const float sharpen[9] = {0, -1, 0, -1, 5, -1, 0, -1, 0};
    const cv::Mat kernel(3, 3, CV_32F, const_cast<float*>(sharpen));
    const teko::pipeline::GammaTable gamma = teko::pipeline::ComputeGammaTable(kGammaAtOpen);
    const cv::Mat lut(1, 256, CV_8UC1, const_cast<uint8_t*>(gamma.data()));

    cv::Mat bgr, resized, sharpened, out;
    for (auto _ : state) {
        cv::demosaicing(raw, bgr, cv::COLOR_BayerBG2BGR);
        cv::resize(bgr, resized, cv::Size(kWidth, kHeight), 0, 0, cv::INTER_LINEAR);
        cv::filter2D(resized, sharpened, -1, kernel);
        cv::LUT(sharpened, lut, out);
        benchmark::DoNotOptimize(out.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    state.SetLabel("OpenCV " CV_VERSION);
    cv::setNumThreads(threads);
}

BENCHMARK(BM_OpenCvChain)->Name("opencv/chain/640x480")->Unit(benchmark::kMicrosecond);

}  // namespace
