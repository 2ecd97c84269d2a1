// Test helpers for the capture tests.
#include "CaptureTestSupport.h"

#include "support/TestEnvironment.h"

#include <QProcess>
#include <QRegularExpression>

namespace capturetest {

void CaptureTest::SetUp() {
    testenv::FreshSettings();
}

CCVController& CaptureTest::Open(const QString& camera) {
    controller.reset();
    qputenv("VISTRELCV_CAMERAS", camera.toUtf8());
    controller = std::make_unique<CCVController>(nullptr);
    controller->OpenCamera(0);
    return *controller;
}

std::pair<int, double> ProbeMovie(const QString& path) {
    QProcess probe;
    probe.start("ffprobe",
                {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                 "stream=codec_name,width,height,r_frame_rate,nb_read_frames:"
                 "format=format_name,duration",
                 "-of", "csv=p=0", path});
    EXPECT_TRUE(probe.waitForFinished(60000));
    const QString facts = QString::fromUtf8(probe.readAllStandardOutput());
    const QRegularExpressionMatch movie =
        QRegularExpression("^mpeg1video,320,240,30/1,([1-9]\\d*)\\s+mpeg,([\\d.]+)\\s*$")
            .match(facts);
    EXPECT_TRUE(probe.exitCode() == 0 && movie.hasMatch())
        << facts.toStdString() << probe.readAllStandardError().toStdString();
    return {movie.captured(1).toInt(), movie.captured(2).toDouble()};
}

} // namespace capturetest

#if defined(__SANITIZE_THREAD__)
// OpenCV's image codecs load GDAL, which takes two of its own mutexes in both orders on one
// thread while registering its drivers; ThreadSanitizer reports that as a potential deadlock.
// It is inside the library, on the test thread alone, and not ours to fix.
// GStreamer and GLib, which are not instrumented, hand their objects between their own threads
// with atomics ThreadSanitizer does not see; it then reports the pipeline's own allocations as
// races. They are inside those libraries too.
// A thread that is not Qt's gets thread data the first time it uses a QObject (the image reader of
// a picture file opened on its own thread); the last reference to it may go on another thread,
// which destroys its wait condition after the first thread woke it, ordered by an atomic inside Qt.
extern "C" const char* __tsan_default_suppressions() {
    return "deadlock:libgdal.so\n"
           "race:libgst\n" // libgstreamer, libgstbase, libgstapp, libgstvideo
           "race:libglib-2.0.so\n"
           "race:QWaitCondition::~QWaitCondition\n";
}

// The camera reader runs while the tests start ffprobe (and GStreamer its plugin scanner), so the
// process forks with threads alive; the child only executes another program, which is safe, but
// ThreadSanitizer refuses any fork of a threaded process unless told otherwise.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
#endif
