// The capture controller on real sources: grabbing, mirroring, drawing and its events.
#include "CaptureTestSupport.h"

#include "capture/CVController.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

using namespace capturetest;

namespace {

cv::Mat Expected(const cv::Mat& frame, bool mirror, cv::Size size) {
    cv::Mat source, scaled;
    if (mirror)
        cv::flip(frame, source, 1);
    else
        source = frame;
    cv::resize(source, scaled, size, 0, 0, cv::INTER_CUBIC);
    return scaled;
}

cv::Mat DisplayBgr(const CCVController& controller) {
    const QImage& image = controller.DisplayImage();
    const cv::Mat bgra(image.height(), image.width(), CV_8UC4, const_cast<uchar*>(image.bits()),
                       image.bytesPerLine());
    cv::Mat bgr;
    cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
    return bgr;
}

} // namespace

TEST(CVControllerTest, ImageFileMirrorOnAndOff) {
    const QString path = testenv::NewFolder("ctl-image") + "/source.png";
    const cv::Mat source = WriteTestImage(path, {320, 200});
    CCameraList list(path);
    CCVController controller(nullptr);
    EXPECT_EQ(controller.OpenCamera(0), QSize(320, 200));
    for (const bool mirror : {false, true, false}) {
        controller.SetMirror(mirror); // takes effect at the next grab
        ASSERT_TRUE(controller.GrabFrame(10, 20, 10 + 123, 20 + 77));
        ASSERT_EQ(controller.DisplayImage().size(), QSize(123, 77));
        EXPECT_EQ(
            cv::norm(DisplayBgr(controller), Expected(source, mirror, {123, 77}), cv::NORM_INF),
            0.0)
            << "mirror " << mirror;
    }
}

TEST(CVControllerTest, VideoFileFramesMatchAnIndependentReader) {
    const QString path = testenv::NewFolder("ctl-video") + "/clip.avi";
    ASSERT_TRUE(WriteTestVideo(path, {160, 120}, 6, 60.0));
    cv::VideoCapture reader(path.toStdString());
    std::vector<cv::Mat> frames(3);
    for (cv::Mat& frame : frames)
        ASSERT_TRUE(reader.read(frame));
    CCameraList list(path);
    CCVController controller(nullptr);
    controller.OpenCamera(0); // reads frame 0
    controller.SetMirror(true);
    ASSERT_TRUE(controller.GrabFrame(0, 0, 200, 150));
    EXPECT_EQ(cv::norm(DisplayBgr(controller), Expected(frames[1], true, {200, 150}), cv::NORM_INF),
              0.0);
    controller.SetMirror(false);
    ASSERT_TRUE(controller.GrabFrame(0, 0, 90, 60));
    EXPECT_EQ(cv::norm(DisplayBgr(controller), Expected(frames[2], false, {90, 60}), cv::NORM_INF),
              0.0);
}

TEST(CVControllerTest, EmptyOrInvertedRectanglesKeepThePicture) {
    CCameraList list("testsrc:160x120@60");
    CCVController controller(nullptr);
    controller.OpenCamera(0);
    ASSERT_TRUE(controller.GrabFrame(0, 0, 64, 48));
    const QImage before = controller.DisplayImage();
    const int rects[][4] = {
        {0, 0, 0, 48}, {0, 0, 64, 0}, {10, 0, 5, 48}, {0, 10, 64, 5}, {5, 5, 5, 5}};
    for (const auto& r : rects) {
        EXPECT_FALSE(controller.GrabFrame(r[0], r[1], r[2], r[3]));
        EXPECT_EQ(controller.DisplayImage(), before);
    }
}

TEST(CVControllerTest, NoCameraAndDrawBeforeGrab) {
    CCameraList list("/nowhere/missing.mp4");
    CCVController controller(nullptr);
    EXPECT_EQ(controller.OpenCamera(0), QSize(640, 480));
    EXPECT_FALSE(controller.HasCamera());
    EXPECT_FALSE(controller.GrabFrame(0, 0, 64, 48));
    QImage canvas(64, 48, QImage::Format_RGB32);
    canvas.fill(Qt::magenta);
    {
        QPainter painter(&canvas);
        controller.DrawFrame(painter); // draws nothing and does not fail
    }
    EXPECT_EQ(canvas.pixel(10, 10), QColor(Qt::magenta).rgb());
}

TEST(CVControllerTest, DrawPaintsTheDisplayImageAtTheTopLeft) {
    CCameraList list("testsrc:320x240@60");
    CCVController controller(nullptr);
    controller.OpenCamera(0);
    ASSERT_TRUE(controller.GrabFrame(0, 0, 50, 40));
    QImage canvas(80, 60, QImage::Format_RGB32);
    canvas.fill(Qt::magenta);
    {
        QPainter painter(&canvas);
        controller.DrawFrame(painter);
    }
    EXPECT_EQ(canvas.copy(0, 0, 50, 40), controller.DisplayImage());
    EXPECT_EQ(canvas.pixel(60, 50), QColor(Qt::magenta).rgb()); // nothing outside the image
}

TEST(CVControllerTest, StillEventsAreSentThenPosted) {
    CCameraList list("testsrc:160x120@60");
    CStateRecorder view;
    CCVController controller(&view);
    controller.OpenCamera(0);
    ASSERT_TRUE(controller.GrabFrame(0, 0, 64, 48));
    const QString path = testenv::NewFolder("ctl-events") + "/a.jpg";
    ASSERT_TRUE(controller.SaveStill(path));
    EXPECT_EQ(view.states, (QList<QPair<int, int>>{{0, 1}})); // (0,0) is only posted
    QCoreApplication::sendPostedEvents(&view);
    EXPECT_EQ(view.states, (QList<QPair<int, int>>{{0, 1}, {0, 0}}));
}
