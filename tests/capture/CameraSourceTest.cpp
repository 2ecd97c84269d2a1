// Camera list entries, V4L2 node selection and the sources behind each kind of entry.
#include "CaptureTestSupport.h"

#include "capture/CameraEntry.h"
#include "capture/CameraSource.h"
#include "capture/TestPatternSource.h"
#include "capture/V4l2Devices.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <opencv2/core.hpp>

using namespace capturetest;
using Kind = CameraEntry::Kind;

TEST(CameraEntryTest, KindsAndTestSourceSizes) {
    struct Case {
        const char* text;
        Kind kind;
        bool valid;
        int width, height;
        double fps;
    };
    const Case cases[] = {
        {"testsrc", Kind::TestPattern, true, 640, 480, 30},
        {"testsrc:1920x1080@15", Kind::TestPattern, true, 1920, 1080, 15},
        {"testsrc:320x240", Kind::TestPattern, true, 320, 240, 30},
        {"testsrc:320x240@7.5", Kind::TestPattern, true, 320, 240, 7.5},
        {"testsrc:0x240@30", Kind::TestPattern, false, 0, 240, 30},
        {"testsrc:320x240@0", Kind::TestPattern, false, 320, 240, 0},
        {"testsrc:huge", Kind::TestPattern, false, 640, 480, 30},
        {"testsrc:99999x99999@30", Kind::TestPattern, false, 99999, 99999, 30},
        {"/dev/video2", Kind::Device, true, 640, 480, 30},
        {"/home/u/Pictures/cat.JPG", Kind::ImageFile, true, 640, 480, 30},
        {"/tmp/still.png", Kind::ImageFile, true, 640, 480, 30},
        {"/tmp/clip.mp4", Kind::VideoFile, true, 640, 480, 30},
        {"relative/clip.avi", Kind::VideoFile, true, 640, 480, 30},
        {"rtsp://camera.local/stream", Kind::Stream, true, 640, 480, 30},
        {"videotestsrc ! videoconvert ! appsink", Kind::Pipeline, true, 640, 480, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const CameraEntry entry = ParseCameraEntry(QString::fromUtf8(c.text));
        EXPECT_EQ(entry.kind, c.kind);
        EXPECT_EQ(entry.valid, c.valid);
        EXPECT_EQ(entry.location, QString::fromUtf8(c.text));
        if (c.valid && c.kind == Kind::TestPattern) {
            EXPECT_EQ(entry.width, c.width);
            EXPECT_EQ(entry.height, c.height);
            EXPECT_DOUBLE_EQ(entry.fps, c.fps);
        }
    }
}

TEST(CameraEntryTest, ListSplitsOnSemicolonsAndDropsBlanks) {
    EXPECT_EQ(SplitCameraList(QStringLiteral(" testsrc ; /dev/video0;;/tmp/a b.png;")),
              (QList<QString>{"testsrc", "/dev/video0", "/tmp/a b.png"}));
    EXPECT_TRUE(SplitCameraList(QString()).isEmpty());
}

TEST(V4l2DevicesTest, CameraIndexCountsOnlyCaptureNodesInDeviceOrder) {
    constexpr uint32_t capture = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    constexpr uint32_t metadata = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
    // As the kernel lists them: two webcams, each with its metadata node, plus a multi-planar
    // capture device; directory order is not device order.
    const QList<V4l2Node> nodes = {
        {"/dev/video10", 10, V4L2_CAP_VIDEO_CAPTURE_MPLANE, "ISP"},
        {"/dev/video3", 3, metadata, "Second Cam"},
        {"/dev/video0", 0, capture, "First Cam"},
        {"/dev/video2", 2, capture, "Second Cam"},
        {"/dev/video1", 1, metadata, "First Cam"},
        {"/dev/video4", 4, V4L2_CAP_VIDEO_OUTPUT, "Loopback out"},
    };
    const QList<V4l2Node> cameras = SelectCaptureNodes(nodes);
    ASSERT_EQ(cameras.size(), 3);
    EXPECT_EQ(cameras[0].path, "/dev/video0");
    EXPECT_EQ(cameras[1].path, "/dev/video2"); // camera 2 is the second camera
    EXPECT_EQ(cameras[1].card, "Second Cam");
    EXPECT_EQ(cameras[2].path, "/dev/video10");
}

TEST(CameraSourceTest, EnvironmentListReplacesTheDevices) {
    CCameraList list(QStringLiteral("testsrc:320x240@30;/nowhere/clip.mp4"));
    const QList<CameraInfo> cameras = ListCameras();
    ASSERT_EQ(cameras.size(), 2);
    EXPECT_EQ(cameras[0].location, "testsrc:320x240@30");
    EXPECT_FALSE(cameras[0].name.isEmpty());
    EXPECT_EQ(cameras[1].location, "/nowhere/clip.mp4");
}

TEST(CameraSourceTest, MissingOrBadEntriesDoNotOpen) {
    CCameraList list(QStringLiteral("testsrc:12x12@30;/nowhere/clip.mp4;/nowhere/p.png;testsrc"));
    EXPECT_EQ(OpenCameraSource(0), nullptr); // too small: rejected, not guessed
    EXPECT_EQ(OpenCameraSource(1), nullptr);
    EXPECT_EQ(OpenCameraSource(2), nullptr);
    EXPECT_NE(OpenCameraSource(3), nullptr);
    EXPECT_EQ(OpenCameraSource(4), nullptr);
    EXPECT_EQ(OpenCameraSource(-1), nullptr);
}

TEST(CameraSourceTest, TestSourceIsAsymmetricAndCountsFrames) {
    CCameraList list(QStringLiteral("testsrc:320x240@60"));
    auto source = OpenCameraSource(0);
    ASSERT_NE(source, nullptr);
    cv::Mat first, second, mirrored;
    ASSERT_TRUE(source->Read(first));
    ASSERT_TRUE(source->Read(second));
    EXPECT_EQ(first.size(), cv::Size(320, 240));
    EXPECT_EQ(first.type(), CV_8UC3);
    cv::flip(first, mirrored, 1);
    EXPECT_GT(cv::norm(first, mirrored, cv::NORM_L1), 0.0);
    EXPECT_GT(cv::norm(first, second, cv::NORM_L1), 0.0); // the counter moved on
    EXPECT_EQ(cv::norm(DrawTestPattern({320, 240}, 7), DrawTestPattern({320, 240}, 7), cv::NORM_L1),
              0.0);
    EXPECT_GT(cv::norm(DrawTestPattern({320, 240}, 7), DrawTestPattern({320, 240}, 8), cv::NORM_L1),
              0.0);
}

TEST(CameraSourceTest, ImageFileRepeatsTheSamePicture) {
    const QString path = testenv::NewFolder("imgsrc") + QStringLiteral("/写真.png");
    const cv::Mat image = WriteTestImage(path, {200, 100});
    CCameraList list(path);
    auto source = OpenCameraSource(0);
    ASSERT_NE(source, nullptr);
    for (int i = 0; i < 3; ++i) {
        cv::Mat frame;
        ASSERT_TRUE(source->Read(frame));
        EXPECT_EQ(cv::norm(frame, image, cv::NORM_INF), 0.0);
    }
}

TEST(CameraSourceTest, VideoFileStartsAgainAtItsEnd) {
    const QString path = testenv::NewFolder("vidsrc") + QStringLiteral("/clip.avi");
    ASSERT_TRUE(WriteTestVideo(path, {160, 120}, 4, 60.0));
    CCameraList list(path);
    auto source = OpenCameraSource(0);
    ASSERT_NE(source, nullptr);
    QList<cv::Mat> frames;
    for (int i = 0; i < 9; ++i) {
        cv::Mat frame;
        ASSERT_TRUE(source->Read(frame)) << "frame " << i;
        EXPECT_EQ(frame.size(), cv::Size(160, 120));
        frames << frame.clone();
    }
    // Frame 4 is frame 0 again, frame 8 too.
    EXPECT_EQ(cv::norm(frames[4], frames[0], cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(frames[8], frames[0], cv::NORM_INF), 0.0);
    EXPECT_GT(cv::norm(frames[1], frames[0], cv::NORM_INF), 0.0);
}
