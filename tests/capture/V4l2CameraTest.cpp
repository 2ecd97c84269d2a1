// Real V4L2 cameras, played by the V4L2 test device: the mode a camera opens in, damaged frames,
// a camera unplugged and plugged in at another node, cameras keeping their numbers, and a USB bus
// short of bandwidth. The controller and the device scan run as they do for a user.
#include "CaptureTestSupport.h"
#include "camera/testsrc/TestPattern.h"
#include "recording/RecordingWorker.h"
#include "support/FakeV4l2.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

using namespace capturetest;

// Readable failure messages for texts and sizes.
void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
void PrintTo(const QSize& size, std::ostream* out) {
    *out << size.width() << " x " << size.height();
}

namespace {

constexpr char kHdCam[] = "card=HD Cam\nbus=usb-0000:00:14.0-1\n";

class V4l2CameraTest : public CaptureTest {
protected:
    void SetUp() override {
        CaptureTest::SetUp();
        qunsetenv("VISTRELCV_CAMERAS");
        ASSERT_TRUE(device.Create(testenv::Home() + "/dev"));
    }
    void TearDown() override {
        controller.reset();
        qunsetenv("FAKEV4L2_ROOT");
        qunsetenv("VISTRELCV_DEVICE_ROOT");
    }
    // A controller on camera `index`, found by the identities stored, in `size`.
    CCVController& Start(int index, const StoredCameraIds& stored = {},
                         std::optional<QSize> size = std::nullopt) {
        controller = std::make_unique<CCVController>(nullptr);
        controller->StartCamera(index, stored, size);
        return *controller;
    }
    FakeV4l2 device;
};

template <typename Condition> bool WaitUntil(Condition condition, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > limitMs)
            return false;
        QThread::msleep(10);
    }
    return true;
}

// The size of the next new frame, grabbed for a view of `view` size; empty when none came.
QSize NextFrameSize(CCVController& controller, QSize view) {
    if (!WaitUntil([&] { return controller.GrabFrame(0, 0, view.width(), view.height()); }, 6000))
        return {};
    return controller.ShownFrameSize();
}

QStringList Describe(const QList<CameraMode>& sizes) {
    QStringList texts;
    for (const CameraMode& size : sizes)
        texts << DescribeCameraSize(size);
    return texts;
}

// Movie frames whose bottom right corner is not the test picture's: what a frame cut short or
// with broken data looks like once a lenient decoder has filled it in.
int SmearedFrames(const QString& movie) {
    const cv::Mat reference = DrawTestPattern(cv::Size(320, 240), 0);
    const cv::Rect corner(288, 200, 24, 24); // below the marker's band, right of the text
    const cv::Scalar expected = cv::mean(reference(corner));
    const auto capture = CMovieSource::ReadThrough(movie);
    cv::Mat frame;
    int smeared = 0;
    while (capture && capture->Read(frame))
        smeared += cv::norm(cv::mean(frame(corner)) - expected) > 40;
    return smeared;
}

// A USB 2 webcam opens at 1920 x 1080 MJPEG; the menu lists its sizes; a chosen size reopens
// it in that mode. Damaged frames are dropped: the camera is not lost, and the movie holds whole
// pictures only.
TEST_F(V4l2CameraTest, BestModeChosenSizeAndDamagedFramesDropped) {
    ASSERT_TRUE(
        device.AddCamera(0, QString(kHdCam) + "damage=4\n", "usb-Maker_HD_Cam_1-video-index0"));
    CCVController& camera = Start(0);
    EXPECT_EQ(NextFrameSize(camera, {1920, 1080}), QSize(1920, 1080));
    EXPECT_EQ(Describe(camera.CameraSizes()),
              (QStringList{"1920 × 1080 (30 fps)", "1280 × 720 (30 fps)", "640 × 480 (30 fps)"}));

    const QString movie = testenv::NewFolder("movies") + "/damaged.mpg";
    camera.RecordMovie(true, movie, 0);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 3000) {
        camera.GrabFrame(0, 0, 800, 450);
        QThread::msleep(30);
    }
    EXPECT_FALSE(camera.CameraLost());
    EXPECT_FALSE(camera.RecordingGaveUp());
    camera.RecordMovie(false, QString(), 0);
    const int frames = ProbeMovie(movie).frames;
    EXPECT_GE(frames, 75);
    EXPECT_EQ(SmearedFrames(movie), 0);

    // While the view is small, frames are decoded no larger than needed.
    // (Frames decoded before the view said its new size may come first.)
    EXPECT_TRUE(WaitUntil(
        [&] {
            return NextFrameSize(camera, {320, 180}) == QSize(480, 270);
        },
        3000));
    Start(0, {}, QSize(640, 480));
    EXPECT_EQ(NextFrameSize(*controller, {640, 480}), QSize(640, 480));
    EXPECT_EQ(controller->CaptureSize(), QSize(640, 480));
}

// Unplugged, the camera is lost; plugged in again under another node number, the same camera is
// found by its identity and shows again.
TEST_F(V4l2CameraTest, UnpluggedCameraComesBackAtAnotherNode) {
    ASSERT_TRUE(device.AddCamera(0, kHdCam, "usb-Maker_HD_Cam_1-video-index0"));
    ASSERT_TRUE(device.AddCamera(1, "metadata=1\n"));
    const StoredCameraIds stored{{0, ListCameras().value(0).id}};
    CCVController& camera = Start(0, stored);
    ASSERT_FALSE(NextFrameSize(camera, {320, 180}).isEmpty());
    ASSERT_TRUE(device.Unplug(0));
    EXPECT_TRUE(WaitUntil([&] { return camera.CameraLost(); }, 4000));
    ASSERT_TRUE(device.Replug(0, 4));
    EXPECT_TRUE(WaitUntil([&] { return !camera.CameraLost(); }, 8000));
    EXPECT_FALSE(NextFrameSize(camera, {320, 180}).isEmpty());
}

// Each number opens the camera stored under it wherever it is now, twins without a serial number
// (one by-id link for both) told apart by their USB port; cameras no number remembers take the
// numbers left over; metadata and raw Bayer nodes are no cameras.
TEST_F(V4l2CameraTest, CamerasKeepTheirNumbers) {
    const QString twin = "card=Twin Cam\nbus=usb-0000:00:14.0-%1\n";
    ASSERT_TRUE(device.AddCamera(0, twin.arg(1), "usb-Twin_Cam-video-index0"));
    ASSERT_TRUE(device.AddCamera(2, twin.arg(2), "usb-Twin_Cam-video-index0"));
    ASSERT_TRUE(device.AddCamera(3, "card=IR Sensor\nformats=BA81\n"));
    ASSERT_TRUE(device.AddCamera(5, "metadata=1\n"));
    const auto buses = [](const QList<CameraInfo>& cameras) {
        QStringList result;
        for (const CameraInfo& camera : cameras)
            result << camera.id.section('\t', 2, 2);
        return result;
    };
    const QList<CameraInfo> first = ListCameras();
    ASSERT_EQ(buses(first), (QStringList{"usb-0000:00:14.0-1", "usb-0000:00:14.0-2"}));
    const StoredCameraIds stored{{0, first[0].id}, {1, first[1].id}};

    // Both unplugged and plugged in again the other way round; a new camera comes first.
    ASSERT_TRUE(device.Unplug(0));
    ASSERT_TRUE(device.Unplug(2));
    ASSERT_TRUE(device.Replug(2, 1));
    ASSERT_TRUE(device.Replug(0, 4));
    ASSERT_TRUE(device.AddCamera(0, "card=New Cam\nbus=usb-0000:00:14.0-9\n"));
    EXPECT_EQ(buses(ListCameras(stored)),
              (QStringList{"usb-0000:00:14.0-1", "usb-0000:00:14.0-2", "usb-0000:00:14.0-9"}));
    EXPECT_EQ(buses(ListCameras()), // without stored identities: device order, as before
              (QStringList{"usb-0000:00:14.0-9", "usb-0000:00:14.0-2", "usb-0000:00:14.0-1"}));

    // Camera 2 away: its number stays free, the new camera keeps the number left over.
    ASSERT_TRUE(device.Unplug(1));
    EXPECT_EQ(buses(ListCameras(stored)),
              (QStringList{"usb-0000:00:14.0-1", "usb-0000:00:14.0-9"}));
    ASSERT_TRUE(device.Unplug(4));
    const QList<CameraInfo> away = ListCameras(stored);
    EXPECT_EQ(buses(away), (QStringList{"usb-0000:00:14.0-9"}));
}

// A bus without room for the camera's best mode: the reader says so and tries smaller modes until
// one starts.
TEST_F(V4l2CameraTest, ShortOfBandwidthFallsBackToASmallerMode) {
    // 1080p MJPEG needs about 21 MB/s here, 720p about 9.
    ASSERT_TRUE(device.AddCamera(0, QString(kHdCam) + "bandwidth=12000000\n"));
    CCVController& camera = Start(0);
    EXPECT_TRUE(WaitUntil([&] { return camera.CameraBandwidthShort(); }, 3000));
    EXPECT_EQ(NextFrameSize(camera, {1280, 720}), QSize(1280, 720));
    EXPECT_FALSE(camera.CameraBandwidthShort());
    EXPECT_FALSE(camera.CameraLost());
}

} // namespace
