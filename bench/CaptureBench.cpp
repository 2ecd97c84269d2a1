// Whole-engine measurements of the capture controller on the test camera, with the live view's
// refresh loop played by this program (a grab per tick at the view's quiet interval, a paint when
// the grab gave a new picture):
//  - repeated frames per recorded second in a 5 s recording, at Perform 0 and 330;
//  - the age of the painted frame (paint time minus capture time) at Perform 0 and 330;
//  - the process's CPU use while the view idles at Perform 330.
//   bench_capture [seconds of idle measurement, default 20]
#include "capture/CVController.h"
#include "output_files/FiletypeMgr.h"
#include "view/RefreshIntervals.h"
#include "view/ViewTimer.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Plays the view: grabs every tick of `intervalMs` (raised to the timer minimum) for `length`, and
// paints each new picture; returns the ages of the painted frames in milliseconds.
std::vector<double> RunView(CCVController& controller, int intervalMs, Clock::duration length) {
    const auto tick = std::chrono::milliseconds(std::max(intervalMs, kMinimumTimerMs));
    QImage canvas(800, 450, QImage::Format_RGB32);
    std::vector<double> ages;
    const Clock::time_point end = Clock::now() + length;
    for (Clock::time_point next = Clock::now(); next < end; next += tick) {
        std::this_thread::sleep_until(next);
        if (!controller.GrabFrame(0, 0, canvas.width(), canvas.height()))
            continue;
        QPainter painter(&canvas);
        controller.DrawFrame(painter);
        painter.end();
        ages.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - controller.DisplayCapturedAt())
                .count());
    }
    return ages;
}

CCVController& Open(std::unique_ptr<CCVController>& controller, const char* camera) {
    controller.reset();
    qputenv("VISTRELCV_CAMERAS", camera);
    controller = std::make_unique<CCVController>(nullptr);
    controller->OpenCamera(0);
    return *controller;
}

// The test camera's frame number (modulo 60) in a movie frame, from the red marker that moves
// one step per frame (see TestPatternSource); -1 when it is not found.
int MarkerStep(const cv::Mat& frame) {
    const int row = frame.rows * 19 / 24; // the marker's middle row
    for (int x = 0; x < frame.cols; ++x) {
        const cv::Vec3b p = frame.at<cv::Vec3b>(row, x);
        if (p[2] > 180 && p[1] < 90 && p[0] < 90)
            return int(std::lround(x * 60.0 / (frame.cols * 15 / 16)));
    }
    return -1;
}

struct Repeats {
    int frames = 0;
    int repeated = 0;   // a movie frame that shows the same camera frame as the one before
    int skipped = 0;    // camera frames missing between two movie frames
    double seconds = 0; // the movie's length
};

Repeats CountRepeats(const QString& path) {
    Repeats r;
    cv::VideoCapture movie(path.toStdString(), cv::CAP_FFMPEG);
    cv::Mat frame;
    int previous = -1;
    while (movie.read(frame)) {
        const int step = MarkerStep(frame);
        if (previous >= 0 && step >= 0) {
            const int advance = (step - previous + 60) % 60;
            r.repeated += advance == 0;
            r.skipped += advance > 1 ? advance - 1 : 0;
        }
        previous = step;
        ++r.frames;
    }
    r.seconds = r.frames / 30.0;
    return r;
}

void MeasureRepeats(int perform, const QString& folder) {
    std::unique_ptr<CCVController> controller;
    Open(controller, "testsrc:640x480@30");
    const QString path = folder + QString("/perform%1.mpg").arg(perform);
    controller->RecordMovie(true, path, 0);
    RunView(*controller, ComputeIntervals(perform, true).quiet, 5s);
    controller->RecordMovie(false, QString(), 0);
    const Repeats r = CountRepeats(path);
    // A repeat beside a missing camera frame is a frame lost on the way; a repeat where no
    // camera frame is missing is the time base filling a late frame's slot.
    const int unexplained = std::min(r.repeated, r.skipped);
    std::printf("| %d | %.2f | %d | %d | %.2f | %d |\n", perform, r.seconds, r.frames, r.repeated,
                r.repeated / std::max(r.seconds, 0.001), unexplained);
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

void MeasureAge(int perform) {
    std::unique_ptr<CCVController> controller;
    Open(controller, "testsrc:1280x720@30");
    const std::vector<double> ages =
        RunView(*controller, ComputeIntervals(perform, false).quiet, 10s);
    const double period = 1000.0 / 30;
    std::printf("| %d | %zu | %.1f (%.2f) | %.1f (%.2f) |\n", perform, ages.size(),
                Percentile(ages, 0.5), Percentile(ages, 0.5) / period, Percentile(ages, 0.95),
                Percentile(ages, 0.95) / period);
}

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void MeasureIdleCpu(int seconds) {
    std::unique_ptr<CCVController> controller;
    Open(controller, "testsrc:640x480@30");
    std::this_thread::sleep_for(1s); // past the start
    const double cpu = CpuSeconds();
    const Clock::time_point start = Clock::now();
    RunView(*controller, ComputeIntervals(330, false).quiet, std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("| testsrc:640x480@30, Perform 330, 800 x 450 view | %.0f s | %.2f %% |\n", wall,
                100.0 * (CpuSeconds() - cpu) / wall);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    FillFiletypeTables();
    QTemporaryDir folder;
    std::printf("Repeated frames, 5 s recordings from testsrc:640x480@30\n\n"
                "| Perform | movie (s) | frames | repeated | repeated per s | beside a lost "
                "frame |\n|---:|---:|---:|---:|---:|---:|\n");
    for (const int perform : {0, 330})
        MeasureRepeats(perform, folder.path());
    std::printf("\nAge of the painted frame, testsrc:1280x720@30, 10 s, ms (frame periods)\n\n"
                "| Perform | paints | median | p95 |\n|---:|---:|---:|---:|\n");
    for (const int perform : {0, 330})
        MeasureAge(perform);
    std::printf("\nProcess CPU while the view idles\n\n| case | time | CPU of one core |\n"
                "|---|---:|---:|\n");
    MeasureIdleCpu(argc > 1 ? std::max(1, std::atoi(argv[1])) : 20);
    return 0;
}
