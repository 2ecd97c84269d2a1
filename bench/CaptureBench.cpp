// Whole-engine measurements of the capture controller on the test camera, with the live view's
// refresh loop played by this program (a grab per tick at the view's quiet interval, a paint when
// the grab gave a new picture):
//  - repeated frames per recorded second in a 5 s recording, at Perform 0 and 330;
//  - the age of the painted frame (paint time minus capture time) at Perform 0 and 330;
//  - the process's CPU use while the view idles at Perform 330;
//  - with --device, run with the V4L2 test device preloaded (scripts/bench does): a 1080p MJPEG
//    webcam's CPU while recording and while idle, and the frames lost or repeated in its movie;
//    an MP4 recording of it against the ffmpeg command line doing the same (that alone with
//    --mp4, for a run beside other work);
//  - the time from the program's start to its first painted picture (median of 5);
//  - with --first-picture, that time on the test camera against a bare Qt window painting a
//    colour (bench_bare_window), both started the same way (under Xvfb in scripts/bench);
//  - with --microphone, an MP4 recording of the test camera without and with the desktop's
//    default microphone (scripts/bench gives it a private PipeWire with a virtual one);
//  - with --sound-drift, a long MP4 recording of the flashing test camera with that microphone,
//    which clicks as the camera flashes: each click's offset from its flash, first to last.
//   bench_capture [--device | --mp4 | --first-picture | --microphone | --sound-drift] [seconds of
//   each CPU measurement or of the long recording, default 20]
#include "camera/media/MovieSource.h"
#include "capture/CVController.h"
#include "output_files/FiletypeMgr.h"
#include "platform/Microphone.h"
#include "recording/Mp4Writer.h"
#include "view/RefreshIntervals.h"
#include "view/ViewTimer.h"

#include "SoundSync.h" // the tests' measure of clicks against flashes

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
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
// one step per frame (see TestPattern) across the width less the marker's own, a twelfth of the
// camera picture's shorter side; -1 when it is not found.
int MarkerStep(const cv::Mat& frame, cv::Size camera) {
    const int row = frame.rows * 19 / 24; // the marker's middle row
    const double travel =
        frame.cols * (1.0 - std::min(camera.width, camera.height) / 12.0 / camera.width);
    for (int x = 0; x < frame.cols; ++x) {
        const cv::Vec3b p = frame.at<cv::Vec3b>(row, x);
        if (p[2] > 180 && p[1] < 90 && p[0] < 90)
            return int(std::lround(x * 60.0 / travel)) % 60;
    }
    return -1;
}

struct Repeats {
    int frames = 0;
    int repeated = 0;   // a movie frame that shows the same camera frame as the one before
    int skipped = 0;    // camera frames missing between two movie frames
    double seconds = 0; // the movie's length
};

Repeats CountRepeats(const QString& path, cv::Size camera) {
    Repeats r;
    const auto movie = CMovieSource::ReadThrough(path);
    cv::Mat frame;
    int previous = -1;
    while (movie && movie->Read(frame)) {
        const int step = MarkerStep(frame, camera);
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
    const Repeats r = CountRepeats(path, {640, 480});
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

// Process CPU over `length` while `during` runs, in percent of one core.
template <typename During> double CpuPercent(During during) {
    const double cpu = CpuSeconds();
    const Clock::time_point start = Clock::now();
    during();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    return 100.0 * (CpuSeconds() - cpu) / wall;
}

// Plugs a 1080p MJPEG webcam into the V4L2 test device, for this process and its children.
void PlugDevice(const QString& folder) {
    QDir().mkpath(folder + "/dev/v4l/by-id");
    QFile node(folder + "/dev/video0");
    if (node.open(QIODevice::WriteOnly))
        node.write("card=Bench Cam\n");
    qputenv("FAKEV4L2_ROOT", QFile::encodeName(folder + "/dev"));
    qputenv("VISTRELCV_DEVICE_ROOT", QFile::encodeName(folder + "/dev"));
    qunsetenv("VISTRELCV_CAMERAS");
}

// The webcam recording with the view at Perform 330, then the idle view.
void MeasureDevice(int seconds, const QString& folder) {
    CCVController controller(nullptr);
    controller.OpenCamera(0);
    std::this_thread::sleep_for(1s);
    const QString path = folder + "/device.mpg";
    const int quiet = ComputeIntervals(330, true).quiet;
    const double recording = CpuPercent([&] {
        controller.RecordMovie(true, path, 0);
        RunView(controller, quiet, std::chrono::seconds(seconds));
        controller.RecordMovie(false, QString(), 0);
    });
    const Repeats r = CountRepeats(path, {1920, 1080});
    std::printf("| recording, Perform 330, 800 x 450 view | %d s | %.1f %% | %.2f s, %d frames, "
                "%d repeated, %d lost |\n",
                seconds, recording, r.seconds, r.frames, r.repeated, r.skipped);
    const double idle = CpuPercent([&] {
        RunView(controller, ComputeIntervals(330, false).quiet, std::chrono::seconds(seconds));
    });
    std::printf("| idle, Perform 330, 800 x 450 view | %d s | %.1f %% | |\n", seconds, idle);
}

double ChildCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// An MP4 recording of the webcam (libx264 veryfast) with the view at Perform 330, against the
// ffmpeg command line doing the same job from the same device; lost frames counted in each movie
// by the test picture's marker.
void MeasureMp4(int seconds, const QString& folder) {
    const QString path = folder + "/device.mp4";
    {
        CCVController controller(nullptr);
        controller.OpenCamera(0);
        std::this_thread::sleep_for(1s);
        const double recording = CpuPercent([&] {
            controller.RecordMovie(true, path, g_MovFiletypeMgr.IndexOfExtension("mp4"));
            RunView(controller, ComputeIntervals(330, true).quiet, std::chrono::seconds(seconds));
            controller.RecordMovie(false, QString(), 0);
        });
        const Repeats r = CountRepeats(path, {1920, 1080});
        std::printf("| this program, MP4, Perform 330, 800 x 450 view | %d s | %.1f %% | %d "
                    "frames, %d lost |\n",
                    seconds, recording, r.frames, r.skipped);
    }
    const QString cli = folder + "/cli.mp4";
    const double before = ChildCpuSeconds();
    QProcess ffmpeg;
    ffmpeg.start("ffmpeg", {"-v",
                            "error",
                            "-y",
                            "-f",
                            "v4l2",
                            "-input_format",
                            "mjpeg",
                            "-video_size",
                            "1920x1080",
                            "-framerate",
                            "30",
                            "-i",
                            folder + "/dev/video0",
                            "-t",
                            QString::number(seconds),
                            "-c:v",
                            "libx264",
                            "-preset",
                            "veryfast",
                            "-pix_fmt",
                            "yuv420p",
                            cli});
    ffmpeg.waitForFinished(-1);
    const double cpu = ChildCpuSeconds() - before;
    const Repeats r = CountRepeats(cli, {1920, 1080});
    std::printf("| ffmpeg command line, libx264 veryfast | %d s | %.1f %% | %d frames, %d lost |\n",
                seconds, 100.0 * cpu / seconds, r.frames, r.skipped);
}

// Seconds from starting `binary` to its first painted picture, median of 5 runs.
double FirstPictureSeconds(const QString& cameras, const QString& binary = VISTRELCV_BINARY) {
    std::vector<double> times;
    for (int run = 0; run < 5; ++run) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_LOGGING_RULES", "vistrelcv.timing=true");
        if (!environment.contains("DISPLAY"))
            environment.insert("QT_QPA_PLATFORM", "offscreen");
        if (!cameras.isEmpty())
            environment.insert("VISTRELCV_CAMERAS", cameras);
        program.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        program.start(binary, {"1"});
        QByteArray output;
        while (!output.contains("first picture painted") && clock.elapsed() < 10000 &&
               program.state() != QProcess::NotRunning) {
            program.waitForReadyRead(10);
            output += program.readAllStandardError();
        }
        times.push_back(clock.elapsed() / 1000.0);
        program.terminate();
        program.waitForFinished(5000);
    }
    return Percentile(times, 0.5);
}

// The process's CPU during MP4 recordings of the test camera without and with the microphone;
// the difference is what the microphone costs (its capture thread, the AAC encoder, the muxing).
void MeasureMicrophone(int seconds, const QString& folder) {
    const QList<MicrophoneInfo> microphones = CMicrophone::List(std::chrono::seconds(5));
    if (microphones.isEmpty()) {
        std::printf("No sound server with a microphone: nothing measured (scripts/bench starts "
                    "a private PipeWire with a virtual microphone)\n");
        return;
    }
    std::printf("MP4 recordings of testsrc:1280x720@30, %d s each, view at Perform 330, "
                "microphone \"%s\"\n\n| sound | CPU of one core | movie |\n|---|---:|---|\n",
                seconds, qUtf8Printable(microphones[0].description));
    std::unique_ptr<CCVController> controller;
    Open(controller, "testsrc:1280x720@30");
    std::this_thread::sleep_for(1s);
    double cpu[2] = {};
    for (const bool sound : {false, true, false, true}) { // twice each, interleaved
        const QString path = folder + (sound ? "/sound.mp4" : "/silent.mp4");
        controller->SetMicrophone(sound ? std::optional<QString>(QString()) : std::nullopt);
        bool silent = false;
        const double used = CpuPercent([&] {
            controller->RecordMovie(true, path, g_MovFiletypeMgr.IndexOfExtension("mp4"));
            RunView(*controller, ComputeIntervals(330, true).quiet, std::chrono::seconds(seconds));
            silent = sound && controller->RecordingWithoutSound();
            controller->RecordMovie(false, QString(), 0);
        });
        cpu[sound] += used / 2;
        std::printf("| %s | %.1f %% | %s |\n", sound ? "microphone" : "none", used,
                    silent ? "without sound: the microphone failed" : "");
    }
    std::printf("\nThe microphone adds %.1f %% of a core (mean of two runs each).\n",
                cpu[1] - cpu[0]);
    controller.reset();
    // The same work alone, without the camera's much larger and noisier share: the microphone
    // captured and encoded into an MP4 whose picture is a small grey frame a second.
    CMp4Writer writer;
    writer.SetSound(true);
    const auto microphone = CMicrophone::Open(QString(), std::chrono::seconds(2));
    if (!microphone || !writer.Open(folder + "/alone.mp4", cv::Size(64, 64), "ultrafast", false))
        return;
    const cv::Mat grey(64, 64, CV_8UC3, cv::Scalar::all(128));
    const Clock::time_point start = Clock::now();
    const double alone = CpuPercent([&] {
        std::vector<MicrophoneChunk> chunks;
        for (int64_t second = 0; Clock::now() < start + std::chrono::seconds(seconds);) {
            const auto elapsed = Clock::now() - start;
            if (elapsed >= std::chrono::seconds(second))
                writer.WriteFrame(grey, second++ * 1000000);
            chunks.clear();
            microphone->Take(chunks);
            for (const MicrophoneChunk& chunk : chunks)
                writer.WriteSound(
                    chunk.samples.data(), int(chunk.samples.size()),
                    std::chrono::duration_cast<std::chrono::microseconds>(chunk.capturedAt - start)
                        .count());
            std::this_thread::sleep_for(33ms); // the worker looks between frames
        }
    });
    writer.Close();
    std::printf("The microphone alone (capture, AAC, the file): %.1f %% of a core.\n", alone);
}

// An MP4 recording of `seconds` from the test camera flashing at each whole second of the steady
// clock, with the desktop's default microphone clicking at the same instants: sound and picture
// on one clock keep each click on its flash from the first to the last, however long the take.
void MeasureSoundDrift(int seconds, const QString& folder) {
    std::unique_ptr<CCVController> controller;
    Open(controller, "testsrc:640x480@30,flash");
    const QString path = folder + "/drift.mp4";
    controller->SetMicrophone(QString());
    controller->RecordMovie(true, path, g_MovFiletypeMgr.IndexOfExtension("mp4"));
    RunView(*controller, ComputeIntervals(330, true).quiet, std::chrono::seconds(seconds));
    const bool silent = controller->RecordingWithoutSound();
    controller->RecordMovie(false, QString(), 0);
    const capturetest::ClicksAndFlashes found = capturetest::MatchClicksToFlashes(path);
    if (silent || found.offsets.isEmpty()) {
        std::printf("No sound recorded: nothing measured (scripts/bench starts a private PipeWire "
                    "with a virtual microphone)\n");
        return;
    }
    std::printf("Sound against picture, MP4 of testsrc:640x480@30,flash, %d s: %lld clicks, %lld "
                "flashes; each click's offset from its flash, ms (positive: the sound is late)\n\n"
                "| minute | clicks | mean | least | most |\n|---:|---:|---:|---:|---:|\n",
                seconds, static_cast<long long>(found.clicks.size()),
                static_cast<long long>(found.flashes.size()));
    for (int minute = 0; minute * 60 < seconds; ++minute) {
        std::vector<double> offsets;
        for (qsizetype i = 0; i < found.offsets.size(); ++i) {
            if (int(found.clicks[i] / 60) == minute)
                offsets.push_back(found.offsets[i] * 1000);
        }
        if (offsets.empty())
            continue;
        const auto [least, most] = std::minmax_element(offsets.begin(), offsets.end());
        std::printf("| %d | %zu | %.1f | %.1f | %.1f |\n", minute + 1, offsets.size(),
                    std::accumulate(offsets.begin(), offsets.end(), 0.0) / offsets.size(), *least,
                    *most);
    }
    std::printf("\nFirst click %.1f ms, last click %.1f ms.\n", found.offsets.first() * 1000,
                found.offsets.last() * 1000);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    FillFiletypeTables();
    QTemporaryDir folder;
    const bool device = argc > 1 && QByteArray(argv[1]) == "--device";
    if (argc > 1 && QByteArray(argv[1]) == "--first-picture") {
        // The program on the test camera against a bare Qt window, started the same way.
        const double program = FirstPictureSeconds("testsrc");
        const double bare = FirstPictureSeconds({}, BARE_WINDOW_BINARY);
        std::printf("Time from start to the first painted picture, median of 5\n\n| program | "
                    "seconds |\n|---|---:|\n| vistrelcv, testsrc | %.3f |\n| bare Qt window | "
                    "%.3f |\n| ratio | %.2f |\n",
                    program, bare, program / bare);
        return 0;
    }
    const int seconds = std::max(1, std::atoi(argv[argc - 1]) > 0 ? std::atoi(argv[argc - 1]) : 20);
    if (argc > 1 && QByteArray(argv[1]) == "--microphone") {
        MeasureMicrophone(seconds, folder.path());
        return 0;
    }
    if (argc > 1 && QByteArray(argv[1]) == "--mp4") { // the MP4 recording alone, as --device
        PlugDevice(folder.path());
        MeasureMp4(seconds, folder.path());
        return 0;
    }
    if (argc > 1 && QByteArray(argv[1]) == "--sound-drift") {
        MeasureSoundDrift(seconds, folder.path());
        return 0;
    }
    if (device) {
        std::printf("Time to the first picture, median of 5\n\n| camera | seconds |\n|---|---:|\n");
        std::printf("| testsrc | %.2f |\n", FirstPictureSeconds("testsrc"));
        PlugDevice(folder.path());
        std::printf("| V4L2 test device, 1080p MJPEG | %.2f |\n", FirstPictureSeconds({}));
        std::printf("\nV4L2 test device, 1920 x 1080 MJPEG 30 fps\n\n| case | time | CPU of one "
                    "core | movie |\n|---|---:|---:|---|\n");
        MeasureDevice(seconds, folder.path());
        MeasureMp4(seconds, folder.path());
        return 0;
    }
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
    MeasureIdleCpu(seconds);
    return 0;
}
