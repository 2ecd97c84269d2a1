// Test helpers for the capture tests.
#include "CaptureTestSupport.h"

#include "capture/CaptureStateEvent.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QThread>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

namespace capturetest {

MovieFacts ProbeMovie(const QString& path) {
    QProcess probe;
    probe.start("ffprobe",
                {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                 "stream=codec_name,width,height,r_frame_rate,nb_read_frames:"
                 "format=format_name,duration",
                 "-of", "default=noprint_wrappers=1", path});
    if (!probe.waitForFinished(60000))
        return {};
    QHash<QString, QString> values;
    for (const QString& line : QString::fromUtf8(probe.readAllStandardOutput()).split('\n'))
        values.insert(line.section('=', 0, 0), line.section('=', 1));
    const auto v = [&](const char* key) { return values.value(key); };
    return {.ok = probe.exitCode() == 0 && !v("codec_name").isEmpty(),
            .format = QString("%1 %2 %3x%4 %5")
                          .arg(v("format_name"), v("codec_name"), v("width"), v("height"),
                               v("r_frame_rate")),
            .decodedFrames = v("nb_read_frames").toInt(),
            .duration = v("duration").toDouble(),
            .errors = QString::fromUtf8(probe.readAllStandardError())};
}

void ExpectValidMovie(const MovieFacts& movie) {
    EXPECT_TRUE(movie.ok) << movie.errors.toStdString();
    EXPECT_EQ(movie.format, "mpeg mpeg1video 320x240 30/1");
    EXPECT_GT(movie.decodedFrames, 0);
}

cv::Mat ScaledReference(const cv::Mat& frame, bool mirror, cv::Size size) {
    cv::Mat source, scaled;
    if (mirror)
        cv::flip(frame, source, 1);
    else
        source = frame;
    cv::resize(source, scaled, size, 0, 0, cv::INTER_CUBIC);
    return scaled;
}

QList<cv::Mat> DecodeMovie(const QString& path) {
    QList<cv::Mat> frames;
    cv::VideoCapture reader(QFile::encodeName(path).toStdString(), cv::CAP_FFMPEG);
    cv::Mat frame;
    while (reader.read(frame))
        frames << frame.clone();
    return frames;
}

bool GrabNewFrame(CCVController& controller, int width, int height, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!controller.GrabFrame(0, 0, width, height)) {
        if (clock.elapsed() > limitMs)
            return false;
        QThread::msleep(5);
    }
    return true;
}

bool CStateRecorder::event(QEvent* e) {
    if (e->type() == static_cast<QEvent::Type>(WM_CAPTURE_STATE)) {
        const auto* state = static_cast<CCaptureStateEvent*>(e);
        states << qMakePair(state->WParam(), state->LParam());
        return true;
    }
    return QObject::event(e);
}

void CaptureTest::SetUp() {
    testenv::FreshSettings();
}

CCVController& CaptureTest::Open(const QString& camera) {
    controller.reset();
    qputenv("VISTRELCV_CAMERAS", camera.toUtf8());
    controller = std::make_unique<CCVController>(&view);
    controller->OpenCamera(0);
    return *controller;
}

} // namespace capturetest

#if defined(__SANITIZE_THREAD__)
// OpenCV's image codecs load GDAL, which takes two of its own mutexes in both orders on one
// thread while registering its drivers; ThreadSanitizer reports that as a potential deadlock.
// It is inside the library, on the test thread alone, and not ours to fix.
// GStreamer and GLib, which are not instrumented, hand their objects between their own threads
// with atomics ThreadSanitizer does not see; it then reports the pipeline's own allocations as
// races. They are inside those libraries too.
extern "C" const char* __tsan_default_suppressions() {
    return "deadlock:libgdal.so\n"
           "race:libgstreamer-1.0.so\n"
           "race:libglib-2.0.so\n";
}

// The camera reader runs while the tests start ffprobe (and GStreamer its plugin scanner), so the
// process forks with threads alive; the child only executes another program, which is safe, but
// ThreadSanitizer refuses any fork of a threaded process unless told otherwise.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
#endif
