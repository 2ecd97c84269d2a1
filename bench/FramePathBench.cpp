// The live view's frame path (mirror, bicubic scale, conversion to the display image, paint into
// an offscreen image) against a bare bicubic cv::resize of the same sizes, measured side by side
// in the same run. The camera query is left out: the frame comes ready from the test pattern.
#include "capture/FramePath.h"
#include "capture/TestPatternSource.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include <chrono>

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

// The whole frame path, with the bare resize timed in the same loop so the two figures share
// caches, clock speed and background load. Counters: microseconds per frame for each, and
// their ratio.
void BM_FramePath(benchmark::State& state) {
    const Sizes s = SizesOf(state);
    const bool mirror = state.range(4) != 0;
    const cv::Mat frame = DrawTestPattern(s.from, 1234);
    QImage display, canvas(s.to.width, s.to.height, QImage::Format_RGB32);
    FrameScratch scratch;
    cv::Mat bare;
    Clock::duration pathTime{}, bareTime{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        cv::resize(frame, bare, s.to, 0, 0, cv::INTER_CUBIC);
        const auto t1 = Clock::now();
        PaintFrame(frame, mirror, s.to, display, scratch, canvas);
        const auto t2 = Clock::now();
        bareTime += t1 - t0;
        pathTime += t2 - t1;
        benchmark::DoNotOptimize(canvas.constBits());
        benchmark::DoNotOptimize(bare.data);
    }
    const double n = double(state.iterations());
    const double pathUs = std::chrono::duration<double, std::micro>(pathTime).count() / n;
    const double bareUs = std::chrono::duration<double, std::micro>(bareTime).count() / n;
    state.counters["path_us"] = pathUs;
    state.counters["resize_us"] = bareUs;
    state.counters["ratio"] = pathUs / bareUs;
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
BENCHMARK(BM_BareResize)
    ->ArgNames({"w", "h", "W", "H"})
    ->Args({640, 480, 800, 600})
    ->Args({1920, 1080, 1280, 720})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

BENCHMARK_MAIN();
