// Test helpers for the capture tests.
#include "CaptureTestSupport.h"

#include "support/TestEnvironment.h"

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
