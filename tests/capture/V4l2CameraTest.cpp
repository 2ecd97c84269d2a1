// Real V4L2 cameras, played by the V4L2 test device: the mode a camera opens in (also of cameras
// that give sizes and rates as ranges), frames as cameras send them (stray bytes, padding,
// damaged frames), a driver's rate and clock that lie, every capture format, a camera
// unplugged and plugged in at another node, cameras keeping their numbers, and a USB bus short of
// bandwidth. The controller and the device scan run as they do for a user.
#include "CaptureTestSupport.h"
#include "camera/JpegDecoder.h"
#include "camera/testsrc/TestPattern.h"
#include "camera/v4l2/V4l2Source.h"
#include "imaging/FramePath.h"
#include "recording/RecordingWorker.h"
#include "support/FakeV4l2.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <linux/videodev2.h>
#include <sys/inotify.h>
#include <unistd.h>

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

class V4l2CameraTest : public FakeV4l2Test {
protected:
    // A controller on camera `index`, found by the identities stored, in `size`.
    CCVController& Start(int index, const StoredCameraIds& stored = {},
                         std::optional<QSize> size = std::nullopt) {
        controller = std::make_unique<CCVController>(nullptr);
        controller->StartCamera(index, stored, size);
        return *controller;
    }
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

// How far the bottom right corner of a 320 x 240 picture is from the test picture's (in grey
// for a `grey` picture): what a frame cut short or with broken data looks like once a lenient
// decoder has filled it in.
double CornerDifference(const cv::Mat& picture, bool grey) {
    cv::Mat reference = DrawTestPattern(cv::Size(320, 240), 0);
    if (grey)
        cv::cvtColor(reference, reference, cv::COLOR_BGR2GRAY);
    const cv::Rect corner(288, 200, 24, 24); // below the marker's band, right of the text
    cv::Scalar expected = cv::mean(reference(corner));
    if (grey)
        expected = cv::Scalar(expected[0], expected[0], expected[0]);
    return cv::norm(cv::mean(picture(corner)) - expected);
}

// What the movie of a 16:9 test camera shows: frames whose bottom right corner is not the test
// picture's between black bands (smeared, or a picture out of its place), the longest run of
// repeated frames, and the rows of its last frame that are not black.
struct MovieLook {
    int smeared = 0, longestStill = 0, firstLit = -1, lastLit = -1;
};

MovieLook ReadMovie(const QString& movie) {
    cv::Mat reference, frame, previous, rows;
    ScaleFrameBoxed(DrawTestPattern(cv::Size(1920, 1080), 0), false, cv::Size(320, 240), reference);
    const cv::Rect corner(288, 192, 24, 14); // below the marker's band, right of the text
    const cv::Scalar expected = cv::mean(reference(corner));
    const auto capture = CMovieSource::ReadThrough(movie);
    MovieLook facts;
    for (int still = 0; capture && capture->Read(frame); frame.copyTo(previous)) {
        facts.smeared += cv::norm(cv::mean(frame(corner)) - expected) > 40;
        const bool same = !previous.empty() && cv::norm(frame, previous, cv::NORM_L1) < 15000;
        facts.longestStill = std::max(facts.longestStill, still = same ? still + 1 : 0);
    }
    cv::reduce(previous.reshape(1, previous.rows), rows, 1, cv::REDUCE_AVG, CV_64F);
    for (int row = 0; row < rows.rows; ++row) {
        if (rows.at<double>(row) > 40)
            (facts.firstLit < 0 ? facts.firstLit : facts.lastLit) = row;
    }
    return facts;
}

// A USB 2 webcam opens at 1920 x 1080 MJPEG; the menu lists its sizes; a chosen size reopens
// it in that mode, even when another camera has taken its node meanwhile. Its frames carry
// stray bytes and padding, and one in ten is damaged (cut short, garbled or flagged): the whole
// ones are shown and recorded, the damaged ones dropped, the camera never lost, and the movie and
// the still hold whole pictures only, the movie's between black bands above and below (320 x 180
// of 16:9). The driver ignores the rate asked for (15 fps for 30) and stamps frames on another
// base (10 minutes back) that then jumps (3 s further back): the movie still lasts as long as the
// recording and never freezes.
TEST_F(V4l2CameraTest, BestModeChosenSizeAndDamagedFramesDropped) {
    const QString spec =
        QString(kHdCam) + "damage=10\nstray=1\nfixed_fps=15\ntimestamp_offset=-600\n";
    ASSERT_TRUE(device.AddCamera(0, spec, "usb-Maker_HD_Cam_1-video-index0"));
    CCVController& camera = Start(0);
    EXPECT_EQ(NextFrameSize(camera, {1920, 1080}), QSize(1920, 1080));
    QByteArray still;
    EXPECT_TRUE(
        camera.SaveStill("jpg", [&](const QByteArray& data) { return !(still = data).isEmpty(); }));
    EXPECT_EQ(Describe(camera.CameraSizes()),
              (QStringList{"1920 × 1080 (30 fps)", "1280 × 720 (30 fps)", "640 × 480 (30 fps)"}));

    const QString movie = testenv::NewFolder("movies") + "/damaged.mpg";
    camera.RecordMovie(true, movie, 0);
    QElapsedTimer clock;
    clock.start();
    for (bool jumped = false; clock.elapsed() < 3000;) {
        if (!jumped && clock.elapsed() > 1500)
            jumped = device.AddCamera(0, spec + "timestamp_offset=-603\n");
        camera.GrabFrame(0, 0, 800, 450);
        QThread::msleep(30);
    }
    EXPECT_FALSE(camera.CameraLost());
    EXPECT_FALSE(camera.RecordingGaveUp());
    camera.RecordMovie(false, QString(), 0);
    const double recorded = clock.elapsed() / 1000.0;
    EXPECT_NEAR(ProbeMovie(movie).frames / 30.0, recorded, 0.3);
    const MovieLook facts = ReadMovie(movie);
    EXPECT_EQ(facts.smeared, 0);
    // A camera frame is two movie frames, a dropped one four, a few in a row on a busy machine; the
    // jump, had it been taken for the capture time, would freeze the picture for its 3 s.
    EXPECT_LE(facts.longestStill, 15);
    EXPECT_NEAR(facts.firstLit, 30, 1);
    EXPECT_NEAR(facts.lastLit, 209, 1);
    cv::Mat shown;
    CJpegDecoder().Decode(reinterpret_cast<const uint8_t*>(still.constData()), size_t(still.size()),
                          {}, shown);
    cv::resize(shown, shown, {320, 240}, 0, 0, cv::INTER_AREA);
    EXPECT_LT(CornerDifference(shown, false), 40);

    // While the view is small, frames are decoded no larger than needed.
    // (Frames decoded before the view said its new size may come first.)
    EXPECT_TRUE(WaitUntil(
        [&] {
            return NextFrameSize(camera, {320, 180}) == QSize(480, 270);
        },
        3000));
    ASSERT_TRUE(device.Replug(0, 3));
    ASSERT_TRUE(device.AddCamera(0, "card=Other Cam\nsizes=320x240\n"));
    const QSize vga(640, 480);
    camera.ReopenCamera(vga);
    EXPECT_TRUE(WaitUntil([&] { return NextFrameSize(camera, vga) == vga; }, 6000));
    EXPECT_EQ(camera.CaptureSize(), vga);
}

// Sizes and rates given as ranges: the camera opens at most at 1920 x 1080 and its menu lists the
// common sizes inside the range, at the rates listed, or the driver's own where it lists none.
// Timestamps copied from elsewhere are not taken for capture times.
TEST_F(V4l2CameraTest, RangeCamerasOpenAtMost1080pAndListCommonSizes) {
    for (const char* ranges : {"size_range=stepwise\nrate_range=stepwise\ntimestamps=copy\n",
                               "size_range=continuous\nrate_range=none\n"}) {
        ASSERT_TRUE(device.AddCamera(0, QString(kHdCam) +
                                            "formats=MJPG\nsizes=160x120,2592x1944\n" + ranges));
        CCVController& camera = Start(0);
        EXPECT_EQ(NextFrameSize(camera, {1920, 1080}), QSize(1920, 1080)) << ranges;
        const QStringList menu = Describe(camera.CameraSizes());
        EXPECT_EQ(menu.mid(0, 3), (QStringList{"2592 × 1944 (30 fps)", "2560 × 1440 (30 fps)",
                                               "1920 × 1080 (30 fps)"}));
        EXPECT_EQ(menu.size(), 10);
    }
}

// A camera that sends nothing but damaged frames in its best mode: after 3 s the window's notice
// says so, and the camera is opened in its next mode (YUYV at the same size), whose picture shows.
// It is never taken for lost.
TEST_F(V4l2CameraTest, OnlyDamagedFramesTryTheNextMode) {
    ASSERT_TRUE(device.AddCamera(0, QString(kHdCam) + "damage=1\n"));
    CCVController& camera = Start(0);
    bool lost = false;
    const auto watch = [&](bool damaged) {
        return WaitUntil(
            [&] { return (lost |= camera.CameraLost()), camera.CameraPictureDamaged() == damaged; },
            6000);
    };
    EXPECT_TRUE(watch(true));
    EXPECT_TRUE(watch(false));
    EXPECT_EQ(NextFrameSize(camera, {1920, 1080}), QSize(1920, 1080));
    EXPECT_FALSE(lost);
}

// Every kind of capture node shows the test picture: NV12, grey (shown grey), RGB, H264 (decoded
// by libavcodec) and a multi-planar node; a node of formats the program cannot read is no camera.
TEST_F(V4l2CameraTest, EveryCaptureFormatShowsThePicture) {
    for (const char* spec : {"formats=NV12", "formats=GREY", "formats=RGB3", "formats=H264",
                             "formats=NV12\nmplane=1"}) {
        SCOPED_TRACE(spec);
        ASSERT_TRUE(device.AddCamera(0, QString(kHdCam) + "sizes=320x240\n" + spec));
        ASSERT_TRUE(device.AddCamera(1, "formats=BA81\n"));
        EXPECT_EQ(ListCameras().size(), 1);
        CCVController& camera = Start(0);
        ASSERT_EQ(NextFrameSize(camera, {320, 240}), QSize(320, 240));
        const cv::Mat shown = DisplayImageToBgr(camera.DisplayImage());
        std::vector<cv::Mat> channels;
        cv::split(shown, channels);
        const bool grey = std::string(spec) == "formats=GREY";
        EXPECT_EQ(grey, cv::norm(channels[0], channels[2], cv::NORM_INF) <= 2);
        EXPECT_LT(CornerDifference(shown, grey), 20);
        controller.reset();
        ASSERT_TRUE(device.Unplug(0));
    }
}

// Unplugged, the camera is lost; plugged in again under another node number, the same camera is
// found by its identity and shows again. Its reopens never open another camera's node.
TEST_F(V4l2CameraTest, UnpluggedCameraComesBackAtAnotherNode) {
    ASSERT_TRUE(device.AddCamera(0, kHdCam, "usb-Maker_HD_Cam_1-video-index0"));
    ASSERT_TRUE(device.AddCamera(1, "metadata=1\n"));
    ASSERT_TRUE(device.AddCamera(2, "card=Other Cam\n", "usb-Other_Cam-video-index0"));
    const StoredCameraIds stored{{0, ListCameras().value(0).id}};
    CCVController& camera = Start(0, stored);
    ASSERT_FALSE(NextFrameSize(camera, {320, 180}).isEmpty());
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC); // counts the opens of nodes
    ASSERT_GE(inotify_add_watch(watch, QFile::encodeName(device.Node(2)).constData(), IN_OPEN), 0);
    ASSERT_TRUE(device.Unplug(0));
    EXPECT_TRUE(WaitUntil([&] { return camera.CameraLost(); }, 4000));
    QThread::sleep(2); // reopens while the camera is away
    EXPECT_TRUE(camera.CameraLost());
    ASSERT_TRUE(device.Replug(0, 4));
    EXPECT_TRUE(WaitUntil([&] { return !camera.CameraLost(); }, 8000));
    EXPECT_FALSE(NextFrameSize(camera, {320, 180}).isEmpty());
    inotify_event event;
    EXPECT_LT(read(watch, &event, sizeof event), 0) << "another camera was opened";
    close(watch);
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

    // Camera 2 away: nobody takes its number, the new camera keeps the lowest number that
    // remembers no camera; a camera remembered under number 2 alone is not camera 1.
    ASSERT_TRUE(device.Unplug(1));
    EXPECT_EQ(buses(ListCameras(stored)),
              (QStringList{"usb-0000:00:14.0-1", "", "usb-0000:00:14.0-9"}));
    ASSERT_TRUE(device.Unplug(4));
    EXPECT_EQ(buses(ListCameras(stored)), (QStringList{"", "", "usb-0000:00:14.0-9"}));
    const CameraIdentity lone = ListCameras().value(0).id;
    EXPECT_EQ(buses(ListCameras({{1, lone}})), (QStringList{"", "usb-0000:00:14.0-9"}));
}

// The mode is the device's, not the file's (as in uvcvideo): a camera opened in the driver's
// mode is in the mode set last, by an earlier file.
TEST_F(V4l2CameraTest, TheDriversModeIsTheModeSetLast) {
    ASSERT_TRUE(device.AddCamera(0, kHdCam));
    CV4l2Source::Open(device.Node(0), CameraMode{V4L2_PIX_FMT_MJPEG, QSize(1280, 720), 30});
    cv::Mat frame;
    const auto source = CV4l2Source::Open(device.Node(0), std::nullopt);
    ASSERT_TRUE(source && source->Read(frame));
    EXPECT_EQ(frame.size(), cv::Size(1280, 720));
}

// The driver numbers every frame, also those it had no free buffer for (as uvcvideo does): a
// reader that was late for a second knows how many frames it missed.
TEST_F(V4l2CameraTest, FramesMissedWhileLateAreCounted) {
    ASSERT_TRUE(device.AddCamera(0, kHdCam));
    const auto source =
        CV4l2Source::Open(device.Node(0), CameraMode{V4L2_PIX_FMT_MJPEG, QSize(1280, 720), 30});
    ASSERT_TRUE(source && source->Grab());
    EXPECT_EQ(source->MissedFrames(), 0u);
    QThread::msleep(1000);
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(source->Grab());
    EXPECT_GE(source->MissedFrames(), 20u); // 30 came, a few found a buffer
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
