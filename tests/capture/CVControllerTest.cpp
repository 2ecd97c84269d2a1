// The capture controller on real sources: grabbing, and a camera that is lost.
#include "CaptureTestSupport.h"
#include "capture/CameraReader.h"
#include "platform/BackgroundThreads.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

using namespace capturetest;

namespace {

using CVControllerTest = CaptureTest;

// Grabs until a new frame came (GrabFrame never waits for one); false after 5 s.
bool GrabNewFrame(CCVController& controller, int width, int height) {
    QElapsedTimer clock;
    clock.start();
    while (!controller.GrabFrame(0, 0, width, height)) {
        if (clock.elapsed() > 5000)
            return false;
        QThread::msleep(5);
    }
    return true;
}

// An empty or inverted rectangle (a minimised window) keeps the picture instead of scaling to
// nothing.
TEST_F(CVControllerTest, EmptyOrInvertedRectangleKeepsThePicture) {
    ASSERT_TRUE(Open("testsrc:320x240@60").GrabFrame(0, 0, 64, 48));
    const QImage before = controller->DisplayImage();
    EXPECT_FALSE(controller->GrabFrame(0, 0, 0, 48));
    EXPECT_FALSE(controller->GrabFrame(0, 10, 64, 5));
    EXPECT_EQ(controller->DisplayImage(), before);
}

// Cameras that fail or go silent: the controller says the camera is lost within 2 s (the
// bounds here are generous), never makes its caller wait, and shows frames again once the same
// camera delivers. (A camera that hangs for good is in the recording tests.)
TEST_F(CVControllerTest, LostCameraIsNoticedWithoutWaitingAndComesBack) {
    const char* cameras[] = {
        "testsrc:160x120@30,stop=1",    // reads fail: reopened, and the new source delivers
        "testsrc:160x120@30,stall=1+4", // one read takes 4 s, then frames resume
    };
    for (const char* camera : cameras) {
        SCOPED_TRACE(camera);
        CCVController& controller = Open(camera);
        ASSERT_TRUE(GrabNewFrame(controller, 64, 48));
        QElapsedTimer clock;
        clock.start();
        qint64 longestGrabMs = 0;
        while (!controller.CameraLost() && clock.elapsed() < 8000) {
            QElapsedTimer grab;
            grab.start();
            controller.GrabFrame(0, 0, 64, 48);
            longestGrabMs = std::max(longestGrabMs, grab.elapsed());
            QThread::msleep(10);
        }
        ASSERT_TRUE(controller.CameraLost());
        EXPECT_LT(clock.elapsed(), 5000);
        while (controller.CameraLost() && clock.elapsed() < 20000)
            QThread::msleep(20);
        EXPECT_FALSE(controller.CameraLost()) << "the camera did not come back";
        EXPECT_TRUE(GrabNewFrame(controller, 64, 48));
        EXPECT_LT(longestGrabMs, 1000) << "a grab waited on the camera";
    }
}

} // namespace

// A camera that does not open when the window starts (unplugged after the probe, say) is
// watched all the same: lost at once, and shown as soon as it opens.
TEST_F(CVControllerTest, CameraThatFailsItsFirstOpenIsRetried) {
    const QString picture = testenv::NewFolder("late") + "/camera.png";
    qputenv("VISTRELCV_CAMERAS", picture.toUtf8());
    CCVController late(nullptr);
    late.StartCamera(0);
    QElapsedTimer clock;
    clock.start();
    while (!late.CameraLost() && clock.elapsed() < 3000)
        QThread::msleep(10);
    EXPECT_TRUE(late.CameraLost());
    // Made whole beside it and then renamed, as a camera appears at once; written with Qt, so the
    // reader's OpenCV is not used from two threads at once.
    QImage image(160, 120, QImage::Format_RGB32);
    image.fill(Qt::gray);
    ASSERT_TRUE(image.save(picture + ".new.png") && QFile::rename(picture + ".new.png", picture));
    EXPECT_TRUE(GrabNewFrame(late, 64, 48));
    EXPECT_FALSE(late.CameraLost());
}

// A camera whose open never returns (a named pipe nobody writes): a reader ended meanwhile ends at
// once, and the stuck open, counted for the exit, is that camera's only one however many readers
// come and go. (It stays stuck until the process ends.)
TEST_F(CVControllerTest, OpenThatHangsCostsOneCountedThreadAndNoWait) {
    const QByteArray pipe = QFile::encodeName(testenv::NewFolder("stuck") + "/camera.mp4");
    ASSERT_EQ(mkfifo(pipe.constData(), 0600), 0);
    qputenv("VISTRELCV_CAMERAS", pipe);
    const CameraInfo camera = ListCameras().value(0);
    const int before = BackgroundThreadsRunning();
    for (int i = 0; i < 3; ++i) {
        auto reader = std::make_unique<CCameraReader>(CameraOpenerFor(camera), camera);
        QThread::msleep(300);
        EXPECT_EQ(BackgroundThreadsRunning(), before + 2) << i; // the reader's, one open's
        QElapsedTimer clock;
        clock.start();
        reader.reset();
        EXPECT_LT(clock.elapsed(), 1000) << i;
    }
    qunsetenv("VISTRELCV_CAMERAS");
}
