// The capture controller on real sources: grabbing, mirroring and drawing.
#include "CaptureTestSupport.h"

#include "capture/FramePath.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QThread>
#include <gtest/gtest.h>

#include <opencv2/videoio.hpp>

#include <algorithm>

using namespace capturetest;

namespace {

using CVControllerTest = CaptureTest;

// The controller's display image against the bicubic scale of `frame`.
double Difference(const CCVController& controller, const cv::Mat& frame, bool mirror) {
    const QSize size = controller.DisplayImage().size();
    return cv::norm(DisplayImageToBgr(controller.DisplayImage()),
                    ScaledReference(frame, mirror, {size.width(), size.height()}), cv::NORM_INF);
}

void Draw(CCVController& controller, QImage& canvas) {
    QPainter painter(&canvas);
    controller.DrawFrame(painter);
}

TEST_F(CVControllerTest, ImageFileMirrorOnAndOff) {
    const QString path = testenv::NewFolder("ctl-image") + "/source.png";
    const cv::Mat source = WriteTestImage(path, {320, 200});
    CCameraList list(path);
    CCVController controller(nullptr);
    EXPECT_EQ(controller.OpenCamera(0), QSize(320, 200));
    for (const bool mirror : {false, true, false}) { // the image repeats as a steady source
        controller.SetMirror(mirror);                // takes effect at the next grab
        ASSERT_TRUE(controller.GrabFrame(10, 20, 10 + 123, 20 + 77));
        ASSERT_EQ(controller.DisplayImage().size(), QSize(123, 77));
        EXPECT_EQ(Difference(controller, source, mirror), 0.0) << "mirror " << mirror;
    }
}

TEST_F(CVControllerTest, VideoFileFramesMatchAnIndependentReader) {
    const QString path = testenv::NewFolder("ctl-video") + "/clip.avi";
    ASSERT_TRUE(WriteTestVideo(path, {160, 120}, 6, 60.0));
    cv::VideoCapture reader(path.toStdString());
    std::vector<cv::Mat> frames(6);
    for (cv::Mat& frame : frames)
        ASSERT_TRUE(reader.read(frame));
    CCVController& controller = Open(path);
    // The reader plays the clip on its own; each grab shows whichever frame is newest.
    for (const bool mirror : {true, false}) {
        controller.SetMirror(mirror);
        ASSERT_TRUE(controller.GrabFrame(0, 0, mirror ? 200 : 90, mirror ? 150 : 60));
        double best = 1e9;
        for (const cv::Mat& frame : frames)
            best = std::min(best, Difference(controller, frame, mirror));
        EXPECT_EQ(best, 0.0) << "mirror " << mirror;
    }
}

TEST_F(CVControllerTest, EmptyOrInvertedRectanglesKeepThePicture) {
    CCVController& controller = Open("testsrc:160x120@60");
    ASSERT_TRUE(controller.GrabFrame(0, 0, 64, 48));
    const QImage before = controller.DisplayImage();
    const int rects[][4] = {
        {0, 0, 0, 48}, {0, 0, 64, 0}, {10, 0, 5, 48}, {0, 10, 64, 5}, {5, 5, 5, 5}};
    for (const auto& r : rects) {
        EXPECT_FALSE(controller.GrabFrame(r[0], r[1], r[2], r[3]));
        EXPECT_EQ(controller.DisplayImage(), before);
    }
}

TEST_F(CVControllerTest, DrawsNothingBeforeAGrabThenTheImageAtTheTopLeft) {
    CCVController& controller = Open("testsrc:320x240@60");
    QImage canvas(80, 60, QImage::Format_RGB32);
    canvas.fill(Qt::magenta);
    const QImage blank = canvas;
    Draw(controller, canvas);
    EXPECT_EQ(canvas, blank);
    ASSERT_TRUE(controller.GrabFrame(0, 0, 50, 40));
    Draw(controller, canvas);
    EXPECT_EQ(canvas.copy(0, 0, 50, 40), controller.DisplayImage());
    EXPECT_EQ(canvas.pixel(60, 50), QColor(Qt::magenta).rgb()); // nothing outside the image

    CCameraList list("/nowhere/missing.mp4");
    CCVController none(nullptr);
    EXPECT_EQ(none.OpenCamera(0), QSize(640, 480));
    EXPECT_FALSE(none.HasCamera());
    EXPECT_FALSE(none.GrabFrame(0, 0, 64, 48));
    Draw(none, canvas); // draws nothing and does not fail
}

// Cameras that fail, go silent or end: the controller says the camera is lost within 2 s (the
// bounds here are generous), never makes its caller wait, and shows frames again once the same
// camera delivers.
TEST_F(CVControllerTest, LostCameraIsNoticedWithoutWaitingAndComesBack) {
    const char* cameras[] = {
        "testsrc:160x120@30,stop=1",    // reads fail: reopened, and the new source delivers
        "testsrc:160x120@30,stall=1+4", // one read takes 4 s, then frames resume
        "videotestsrc is-live=true num-buffers=30 ! "
        "video/x-raw,width=160,height=120,framerate=30/1 ! "
        "videoconvert ! appsink", // a pipeline that ends after 1 s
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
        controller.GrabFrame(0, 0, 64, 48); // whatever came just before the loss
        const QImage last = controller.DisplayImage();
        EXPECT_FALSE(controller.GrabFrame(0, 0, 64, 48)); // the last picture stays
        EXPECT_EQ(controller.DisplayImage(), last);
        while (controller.CameraLost() && clock.elapsed() < 20000)
            QThread::msleep(20);
        EXPECT_FALSE(controller.CameraLost()) << "the camera did not come back";
        EXPECT_TRUE(GrabNewFrame(controller, 64, 48));
        EXPECT_LT(longestGrabMs, 1000) << "a grab waited on the camera";
    }
}

// A read that never returns: closing still ends promptly, leaving the reader behind.
TEST_F(CVControllerTest, HungCameraDoesNotHoldUpClosing) {
    CCVController& controller = Open("testsrc:160x120@30,hang=0.5");
    ASSERT_TRUE(GrabNewFrame(controller, 64, 48));
    QElapsedTimer clock;
    clock.start();
    while (!controller.CameraLost() && clock.elapsed() < 8000)
        QThread::msleep(20);
    EXPECT_TRUE(controller.CameraLost());
    clock.restart();
    this->controller.reset();
    EXPECT_LT(clock.elapsed(), 10000);
}

} // namespace
