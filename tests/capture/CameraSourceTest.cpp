// Camera list entries, V4L2 node selection, and the sources behind files and pipelines.
#include "capture/CameraSource.h"
#include "capture/CameraEntry.h"
#include "capture/GstElements.h"
#include "capture/V4l2Devices.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QStringList>
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>

using Kind = CameraEntry::Kind;

TEST(CameraEntryTest, KindsAndValidTestSources) {
    const struct {
        const char* text;
        Kind kind;
        bool valid;
    } cases[] = {
        {"testsrc", Kind::TestPattern, true},
        {"testsrc:320x240@7.5", Kind::TestPattern, true},
        {"testsrc:99999x99999@30", Kind::TestPattern, false},
        {"testsrc:12x12@30", Kind::TestPattern, false},        // too small: rejected, not guessed
        {"testsrc:320x240,stall=2", Kind::TestPattern, false}, // a stall needs its length
        {"testsrc,explode=1", Kind::TestPattern, false},
        {"/dev/video2", Kind::Device, true},
        {"/home/u/Pictures/cat.JPG", Kind::ImageFile, true},
        {"relative/clip.avi", Kind::VideoFile, true},
        {"rtsp://camera.local/stream", Kind::Stream, true},
        {"videotestsrc ! videoconvert ! appsink", Kind::Pipeline, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const CameraEntry entry = ParseCameraEntry(QString::fromUtf8(c.text));
        EXPECT_EQ(entry.kind, c.kind);
        EXPECT_EQ(entry.valid, c.valid);
    }
    EXPECT_EQ(SplitCameraList(" testsrc ; /dev/video0;;/tmp/a b.png;"),
              (QList<QString>{"testsrc", "/dev/video0", "/tmp/a b.png"}));
}

TEST(V4l2DevicesTest, CameraIndexCountsOnlyCaptureNodesInDeviceOrder) {
    constexpr uint32_t capture = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    constexpr uint32_t metadata = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
    // As the kernel lists them: two webcams, each with its metadata node, plus a multi-planar
    // capture device; directory order is not device order.
    const QList<V4l2Node> nodes = {
        {"/dev/video10", 10, V4L2_CAP_VIDEO_CAPTURE_MPLANE, "ISP", "platform:isp"},
        {"/dev/video3", 3, metadata, "Second Cam", "usb-2"},
        {"/dev/video0", 0, capture, "First Cam", "usb-1"},
        {"/dev/video2", 2, capture, "Second Cam", "usb-2"},
        {"/dev/video1", 1, metadata, "First Cam", "usb-1"},
        {"/dev/video4", 4, V4L2_CAP_VIDEO_OUTPUT, "Loopback out", "platform:v4l2loopback"},
    };
    QStringList cameras;
    for (const V4l2Node& node : SelectCaptureNodes(nodes))
        cameras << node.path;
    EXPECT_EQ(cameras, (QStringList{"/dev/video0", "/dev/video2", "/dev/video10"}));

    // After an unplug the same camera is found wherever it now appears, and another camera that
    // took its number is never taken for it.
    const QList<V4l2Node> replugged = {
        {"/dev/video2", 2, capture, "First Cam", "usb-1"}, // took the second camera's number
        {"/dev/video6", 6, metadata, "Second Cam", "usb-2"},
        {"/dev/video5", 5, capture, "Second Cam", "usb-2"},
    };
    const V4l2Identity second{"", "usb-2", "Second Cam"};
    EXPECT_EQ(MatchV4l2Device(second, "/dev/video2", replugged), "/dev/video5");
    EXPECT_EQ(MatchV4l2Device(second, "/dev/video2", replugged.mid(0, 2)), "");
    EXPECT_EQ(MatchV4l2Device({}, "/dev/video2", replugged), "/dev/video2"); // nothing to go by
    // A by-id link names the device itself: followed while it exists, gone while unplugged.
    const QString folder = testenv::NewFolder("by-id");
    ASSERT_TRUE(QFile(folder + "/video7").open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(folder + "/video7", folder + "/usb-Maker_Cam_123-video-index0"));
    const V4l2Identity linked = IdentifyV4l2Device(folder + "/video7", folder);
    EXPECT_EQ(MatchV4l2Device(linked, "/dev/video2", replugged), folder + "/video7");
    QFile::remove(folder + "/video7");
    EXPECT_EQ(MatchV4l2Device(linked, "/dev/video2", replugged), "");
}

// A picture is a camera that shows it for ever, a video one that starts again at its end, and a
// GStreamer pipeline delivers what it makes; each frame at its own size.
TEST(CameraSourceTest, FilesAndPipelinesDeliverFramesAndVideosStartAgain) {
    const std::string folder = testenv::NewFolder("sources").toStdString();
    const cv::Mat picture(120, 160, CV_8UC3, cv::Scalar(10, 200, 30));
    ASSERT_TRUE(cv::imwrite(folder + "/still.png", picture));
    cv::VideoWriter clip(folder + "/clip.avi", cv::CAP_FFMPEG,
                         cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 60.0, {160, 120});
    for (int i = 0; i < 3; ++i)
        clip.write(picture);
    clip.release();
    const std::string cameras =
        folder + "/still.png;" + folder + "/clip.avi;" +
        "videotestsrc num-buffers=30 ! video/x-raw,width=160,height=120,framerate=30/1 ! "
        "videoconvert ! appsink";
    qputenv("VISTRELCV_CAMERAS", cameras.c_str());
    for (const int index : {0, 1, 2}) {
        const auto source = OpenCameraSource(index);
        ASSERT_NE(source, nullptr) << index;
        cv::Mat frame;
        for (int i = 0; i < 5; ++i) { // more than the video holds
            ASSERT_TRUE(source->Read(frame)) << index << ": " << i;
            EXPECT_EQ(frame.size(), cv::Size(160, 120));
        }
    }
    qunsetenv("VISTRELCV_CAMERAS");
}

// A pipeline naming an element that no plugin provides is told apart from a camera that is
// missing: the names come back, and the source does not open.
TEST(CameraSourceTest, PipelinesNameTheElementsThatAreNotInstalled) {
    EXPECT_EQ(MissingGstElements("videotestsrc ! videoconvert ! appsink"), QStringList());
    EXPECT_EQ(MissingGstElements("nosuchsrc ! videoconvert ! nosuchfilter ! appsink"),
              (QStringList{"nosuchsrc", "nosuchfilter"}));
    qputenv("VISTRELCV_CAMERAS", "testsrc;nosuchsrc ! appsink");
    EXPECT_EQ(MissingGstElementsOfCamera(0), QStringList());
    EXPECT_EQ(MissingGstElementsOfCamera(1), QStringList{"nosuchsrc"});
    EXPECT_EQ(OpenCameraSource(1), nullptr);
    qunsetenv("VISTRELCV_CAMERAS");
}
