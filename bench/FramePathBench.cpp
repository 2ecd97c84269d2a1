// The live view's frame path (mirror, bicubic scale, conversion to the display image, paint into
// an offscreen image) and the recording's (mirror, bicubic scale to the movie size) against a
// bare bicubic cv::resize of the same sizes, measured side by side in the same run. The camera
// query is left out: the frame comes ready from the test pattern. Also an MJPEG frame decoded in
// full against at a reduced scale.
#include "camera/JpegDecoder.h"
#include "camera/testsrc/TestPattern.h"
#include "imaging/FramePath.h"
#include "imaging/StillEncoder.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Sizes {
    cv::Size from, to;
};

Sizes SizesOf(const benchmark::State& state) {
    return {{int(state.range(0)), int(state.range(1))}, {int(state.range(2)), int(state.range(3))}};
}

void PaintFrame(const cv::Mat& frame, bool mirror, cv::Size size, QImage& display,
                FrameScratch& scratch, QImage& canvas) {
    ScaleToDisplay(frame, mirror, size, display, scratch);
    QPainter painter(&canvas);
    painter.drawImage(0, 0, display);
}

double MedianUs(std::vector<Clock::duration>& times) {
    const auto middle = times.begin() + std::ptrdiff_t(times.size() / 2);
    std::nth_element(times.begin(), middle, times.end());
    return std::chrono::duration<double, std::micro>(*middle).count();
}

// Times `path` and, inside the same loop, the bare resize of the same sizes, so the two figures
// share caches, clock speed and background load. Counters: the median microseconds per frame
// of each, which a busy machine's occasional long stalls do not move, and their ratio.
template <typename Path>
void CompareWithBareResize(benchmark::State& state, const cv::Mat& frame, cv::Size to, Path path) {
    cv::Mat bare;
    std::vector<Clock::duration> pathTimes, bareTimes;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        cv::resize(frame, bare, to, 0, 0, cv::INTER_CUBIC);
        const auto t1 = Clock::now();
        path();
        const auto t2 = Clock::now();
        bareTimes.push_back(t1 - t0);
        pathTimes.push_back(t2 - t1);
        benchmark::DoNotOptimize(bare.data);
    }
    const double pathUs = MedianUs(pathTimes), bareUs = MedianUs(bareTimes);
    state.counters["path_us"] = pathUs;
    state.counters["resize_us"] = bareUs;
    state.counters["ratio"] = pathUs / bareUs;
}

// The live view: scale, mirror and convert into the display image, then paint it.
void BM_FramePath(benchmark::State& state) {
    const Sizes s = SizesOf(state);
    const bool mirror = state.range(4) != 0;
    const cv::Mat frame = DrawTestPattern(s.from, 1234);
    QImage display, canvas(s.to.width, s.to.height, QImage::Format_RGB32);
    FrameScratch scratch;
    CompareWithBareResize(state, frame, s.to, [&] {
        PaintFrame(frame, mirror, s.to, display, scratch, canvas);
        benchmark::DoNotOptimize(canvas.constBits());
    });
}

// The recording: scale and mirror into the movie's picture, between black bands where the
// frame's proportions differ; against a bare resize to the picture inside the bands.
void BM_MovieFrame(benchmark::State& state) {
    const Sizes s = SizesOf(state);
    const bool mirror = state.range(4) != 0;
    const cv::Mat frame = DrawTestPattern(s.from, 1234);
    cv::Mat out;
    CompareWithBareResize(state, frame, FitInside(s.from, s.to).size(), [&] {
        ScaleFrameBoxed(frame, mirror, s.to, out);
        benchmark::DoNotOptimize(out.data);
    });
}

// The bare bicubic resize alone, for the usual table.
void BM_BareResize(benchmark::State& state) {
    const Sizes s = SizesOf(state);
    const cv::Mat frame = DrawTestPattern(s.from, 1234);
    cv::Mat out;
    for (auto _ : state) {
        cv::resize(frame, out, s.to, 0, 0, cv::INTER_CUBIC);
        benchmark::DoNotOptimize(out.data);
    }
}

} // namespace

BENCHMARK(BM_FramePath)
    ->ArgNames({"w", "h", "W", "H", "mirror"})
    ->Args({640, 480, 800, 600, 1})
    ->Args({640, 480, 800, 600, 0})
    ->Args({1920, 1080, 1280, 720, 1})
    ->Args({1920, 1080, 1280, 720, 0})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_MovieFrame)
    ->ArgNames({"w", "h", "W", "H", "mirror"})
    ->Args({640, 480, 320, 240, 1})
    ->Args({640, 480, 320, 240, 0})
    ->Args({1920, 1080, 320, 240, 1})
    ->Args({1920, 1080, 320, 240, 0})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_BareResize)
    ->ArgNames({"w", "h", "W", "H"})
    ->Args({640, 480, 800, 600})
    ->Args({1920, 1080, 1280, 720})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// An MJPEG frame of a 1080p camera decoded at full size, or at the smallest scale libjpeg-turbo
// offers that covers the consumer's size, then scaled bicubically to that size; `mean_diff` is
// the mean difference in levels between the two pictures.
void BM_MjpegDecode(benchmark::State& state) {
    const Sizes sizes = SizesOf(state);
    const bool reduced = state.range(4) != 0;
    const QByteArray encoded = EncodeJpeg(DrawTestPattern(sizes.from, 7), 80);
    const std::vector<uchar> jpeg(encoded.begin(), encoded.end());
    CJpegDecoder decoder;
    cv::Mat decoded, scaled, reference;
    for (auto _ : state) {
        decoder.Decode(jpeg.data(), jpeg.size(), reduced ? sizes.to : cv::Size(), decoded);
        cv::resize(decoded, scaled, sizes.to, 0, 0, cv::INTER_CUBIC);
        benchmark::DoNotOptimize(scaled.data);
    }
    decoder.Decode(jpeg.data(), jpeg.size(), {}, decoded);
    cv::resize(decoded, reference, sizes.to, 0, 0, cv::INTER_CUBIC);
    cv::Mat difference;
    cv::absdiff(reference, scaled, difference);
    state.counters["mean_diff"] = cv::mean(difference)[0];
}
BENCHMARK(BM_MjpegDecode)
    ->ArgNames({"w", "h", "to_w", "to_h", "reduced"})
    ->Args({1920, 1080, 320, 240, 0})
    ->Args({1920, 1080, 320, 240, 1})
    ->Args({1920, 1080, 800, 450, 0})
    ->Args({1920, 1080, 800, 450, 1})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
