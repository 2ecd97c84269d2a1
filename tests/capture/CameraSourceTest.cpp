// Camera list entries, mode choice, and the sources behind files
// and pipelines.
#include "camera/CameraEntry.h"
#include "camera/CameraList.h"
#include "camera/CameraMode.h"
#include "camera/media/GstElements.h"
#include "camera/v4l2/DriverTime.h"
#include "recording/MovieWriter.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QImage>
#include <QStringList>
#include <gtest/gtest.h>
#include <linux/videodev2.h>

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

TEST(CameraModeTest, BestModeBySizeRateAndFormat) {
    constexpr uint32_t yuyv = V4L2_PIX_FMT_YUYV, mjpg = V4L2_PIX_FMT_MJPEG;
    const auto mode = [](uint32_t f, int w, int h, double fps) {
        return CameraMode{f, QSize(w, h), fps};
    };
    // A USB 2 webcam: raw is smooth only at 640 x 480, MJPEG everywhere.
    const QList<CameraMode> webcam = {mode(yuyv, 640, 480, 30),
                                      mode(yuyv, 1280, 720, 10),
                                      mode(yuyv, 1920, 1080, 5),
                                      mode(mjpg, 640, 480, 60),
                                      mode(mjpg, 1280, 720, 30),
                                      mode(mjpg, 1920, 1080, 30),
                                      mode(V4L2_PIX_FMT_SBGGR8, 2592, 1944, 30)};
    const struct {
        QList<CameraMode> modes;
        std::optional<QSize> requested;
        std::optional<CameraMode> chosen;
    } cases[] = {
        {webcam, {}, mode(mjpg, 1920, 1080, 30)},
        {webcam, QSize(640, 480), mode(yuyv, 640, 480, 30)}, // raw where raw is smooth
        {webcam, QSize(1280, 720), mode(mjpg, 1280, 720, 30)},
        {webcam, QSize(800, 600), mode(mjpg, 1920, 1080, 30)}, // not offered: automatic
        // Larger than 1080p is not taken by itself; raw is preferred where it is smooth.
        {{mode(yuyv, 3840, 2160, 30), mode(yuyv, 1280, 720, 30), mode(mjpg, 1280, 720, 30)},
         {},
         mode(yuyv, 1280, 720, 30)},
        // Nothing reaches 25 fps: the fastest at 15 or more, else the largest up to 1080p at its
        // best rate (a camera without rates lists 0).
        {{mode(yuyv, 1280, 720, 10), mode(yuyv, 640, 480, 20), mode(yuyv, 320, 240, 20)},
         {},
         mode(yuyv, 640, 480, 20)},
        {{mode(yuyv, 2592, 1944, 5), mode(yuyv, 1280, 720, 10), mode(mjpg, 1280, 720, 12)},
         {},
         mode(mjpg, 1280, 720, 12)},
        {{mode(yuyv, 640, 480, 0), mode(yuyv, 320, 240, 0)}, {}, mode(yuyv, 640, 480, 0)},
        {{}, {}, std::nullopt},
        // Every raw format counts as raw; at equal rates MJPEG before raw before H264.
        {{mode(V4L2_PIX_FMT_H264, 1280, 720, 30), mode(V4L2_PIX_FMT_NV12, 1280, 720, 30)},
         {},
         mode(V4L2_PIX_FMT_NV12, 1280, 720, 30)},
        {{mode(V4L2_PIX_FMT_H264, 1920, 1080, 15), mode(V4L2_PIX_FMT_GREY, 1920, 1080, 15)},
         {},
         mode(V4L2_PIX_FMT_GREY, 1920, 1080, 15)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseCameraMode(c.modes, c.requested), c.chosen);

    // Short of USB bandwidth: MJPEG at the same size first, then ever smaller sizes.
    EXPECT_EQ(SmallerCameraMode(webcam, mode(yuyv, 640, 480, 30)), mode(mjpg, 640, 480, 60));
    EXPECT_EQ(SmallerCameraMode(webcam, mode(mjpg, 1920, 1080, 30)), mode(mjpg, 1280, 720, 30));
    EXPECT_EQ(SmallerCameraMode(webcam, mode(mjpg, 640, 480, 60)), std::nullopt);
    // Nothing but damaged frames: another format at the same size first.
    EXPECT_EQ(ModeAfterDamage(webcam, mode(mjpg, 1920, 1080, 30)), mode(yuyv, 1920, 1080, 5));
    EXPECT_EQ(ModeAfterDamage(webcam, mode(yuyv, 1920, 1080, 5)), mode(mjpg, 1280, 720, 30));
    EXPECT_EQ(ModeAfterDamage({mode(mjpg, 640, 480, 30)}, mode(mjpg, 640, 480, 30)), std::nullopt);

    QStringList menu; // each size at the rate of the format it opens in: 640 x 480 raw
    for (const CameraMode& size : CameraSizes(webcam))
        menu << DescribeCameraSize(size);
    EXPECT_EQ(menu,
              (QStringList{"1920 × 1080 (30 fps)", "1280 × 720 (30 fps)", "640 × 480 (30 fps)"}));
    // Sizes given as a range: the common ones inside it, moved onto its steps, and the largest.
    using Sizes = QList<QSize>;
    const Sizes onSteps{{1920, 1072}, {1280, 960}, {1280, 720}, {1024, 768},
                        {800, 592},   {640, 480},  {320, 240}};
    EXPECT_EQ(SizesInRange({16, 16}, {1920, 1080}, {16, 16}), onSteps);
    EXPECT_EQ(SizesInRange({1, 1}, {1000, 1000}, {0, 0}),
              (Sizes{{1000, 1000}, {800, 600}, {640, 480}, {320, 240}}));
    EXPECT_EQ(ParseCaptureSize(CaptureSizeText(QSize(1280, 720))), QSize(1280, 720));
    for (const char* bad : {"", "1280", "0x720", "1280x720x3", "-1x5"})
        EXPECT_EQ(ParseCaptureSize(bad), std::nullopt) << bad;
}

// A driver's timestamp is taken while it is plausible: not after the reader got the frame, not
// earlier than two frame periods before its buffer went back to the driver, and moving forward.
TEST(DriverTimeTest, ImplausibleTimestampsAreRefused) {
    using namespace std::chrono_literals;
    const std::chrono::steady_clock::time_point queued(1000s); // the buffer went back then
    const struct {
        std::chrono::milliseconds stamp, previous, grabbed; // after `queued`
        bool plausible;
    } cases[] = {
        {95ms, 62ms, 100ms, true},   // a frame the reader got at once
        {-66ms, -99ms, 100ms, true}, // exposed up to two periods before its buffer came back
        {-67ms, -99ms, 100ms, false},
        {30ms, 0ms, 1000ms, true},   // a reader a second behind: an old frame, its time still good
        {101ms, 62ms, 100ms, false}, // after the reader got it: another base, or a jump forward
        {-600000ms, -600033ms, 100ms, false}, // an offset base in the past
        {62ms, 62ms, 100ms, false},           // not moving forward
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlausibleDriverTime(queued + c.stamp, queued, queued + c.grabbed,
                                      queued + c.previous, 33ms),
                  c.plausible)
            << c.stamp.count();
}

// A picture is a camera that shows it for ever, a video one that starts again at its end, and a
// GStreamer pipeline delivers what it makes; each frame at its own size.
TEST(CameraSourceTest, FilesAndPipelinesDeliverFramesAndVideosStartAgain) {
    const std::string folder = testenv::NewFolder("sources").toStdString();
    QImage still(160, 120, QImage::Format_RGB32);
    still.fill(QColor(30, 200, 10));
    ASSERT_TRUE(still.save(QString::fromStdString(folder + "/still.png")));
    CMovieWriter clip;
    ASSERT_TRUE(clip.Open(QString::fromStdString(folder + "/clip.mpg"), 0, {160, 120}, 60));
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(clip.WriteFrame(cv::Mat(120, 160, CV_8UC3, cv::Scalar(10, 200, 30))));
    ASSERT_TRUE(clip.Close());
    const std::string cameras =
        folder + "/still.png;" + folder + "/clip.mpg;" +
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
