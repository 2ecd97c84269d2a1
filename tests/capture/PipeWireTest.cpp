// Cameras through PipeWire: a private daemon and session manager (tests/support/pipewire.sh),
// virtual cameras showing the test camera's picture (testdevices/pipewire), and a stand-in for
// the camera portal. The microphone through PipeWire's server for PulseAudio clients, from a
// virtual microphone.
#include "CaptureTestSupport.h"
#include "SoundSync.h"
#include "camera/pipewire/CameraPortal.h"
#include "camera/pipewire/PipeWireCameraSource.h"
#include "camera/pipewire/PipeWireCameras.h"
#include "camera/pipewire/PipeWireConnection.h"
#include "camera/pipewire/PipeWireFormats.h"
#include "camera/pipewire/PipeWireOpener.h"
#include "camera/testsrc/TestPattern.h"
#include "capture/CVController.h"
#include "capture/CameraReader.h"
#include "capture/Shutter.h"
#include "imaging/FramePath.h"
#include "output_files/ImgFileMgr.h"
#include "output_files/MediaKind.h"
#include "platform/Microphone.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <linux/videodev2.h>

#include <csignal>
#include <cstdio>
#include <numeric>
#include <string>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Runs the PipeWire test script with `arguments`; its output, or nothing when it failed.
std::optional<QString> Script(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("bash"), QStringList{QStringLiteral(PIPEWIRE_SH)} + arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The test camera's picture at `size`, after a trip through YUV or JPEG (a few levels off), at
// any frame number.
bool ShowsTestPicture(const cv::Mat& frame, cv::Size size = {640, 480}) {
    if (frame.size() != size || frame.type() != CV_8UC3)
        return false;
    const cv::Scalar difference = cv::mean(cv::abs(frame - DrawTestPattern(size, 0)));
    return difference[0] + difference[1] + difference[2] < 3 * 12;
}

// Whether `condition` came true within `limit` (it is not asked again once it has).
template <typename Condition> bool WaitUntil(Condition condition, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(50ms);
    }
}

// A connection made on what the stand-in portal hands out, asked again for each connection.
std::optional<int> PortalRemote() {
    const CameraPortalAccess access = AskCameraPortal(10s);
    if (access.state != CameraPortalAccess::State::Granted)
        return std::nullopt;
    return access.remoteFd;
}

} // namespace

class PipeWireTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_available = Script({"available"}).has_value();
        qputenv("PW_CAMERA_HELPER", PIPEWIRE_CAMERA_HELPER);
        qputenv("PW_MICROPHONE_HELPER", PIPEWIRE_MICROPHONE_HELPER);
        qunsetenv("PULSE_SERVER"); // the private one in the runtime folder

        qunsetenv("PIPEWIRE_REMOTE");
        qunsetenv("PIPEWIRE_RUNTIME_DIR");
        const QString started = s_available ? Script({"start"}).value_or(QString()) : QString();
        s_bus = started.trimmed().section(QLatin1Char('='), 1).toUtf8();
        qputenv("DBUS_SESSION_BUS_ADDRESS", s_bus);
    }
    static void TearDownTestSuite() { Script({"stop"}); }
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(QStringLiteral(PIPEWIRE_SH)));
        if (!s_available)
            GTEST_SKIP() << "PipeWire, WirePlumber or GStreamer's PipeWire elements are not "
                            "installed (scripts/setup-deps installs them)";
        ASSERT_FALSE(s_bus.isEmpty()) << "the private PipeWire did not start";
    }
    void TearDown() override {
        for (const QString& name : m_cameras)
            Script({"kill", name});
        for (const QString& name : m_microphones)
            Script({"unplug", name});
    }
    // A virtual camera; `options` as VirtualCamera.cpp takes them.
    void StartCamera(const QString& name, const QString& description,
                     const QStringList& options = {}) {
        m_cameras << name;
        ASSERT_TRUE(Script(QStringList{"camera", name, description} + options));
    }

    void StartMicrophone(const QString& name, const QString& description,
                         const QStringList& options = {}) {
        m_microphones << name;
        ASSERT_TRUE(Script(QStringList{"microphone", name, description} + options));
    }

    // In `movie`, from the flashing test camera and the clicking virtual microphone, each click is
    // within a frame period of its flash. A flash in the movie's first or last moments may have
    // no click (or the other way).
    static void ExpectClicksOnFlashes(const QString& movie) {
        const capturetest::ClicksAndFlashes found = capturetest::MatchClicksToFlashes(movie);
        EXPECT_GE(found.clicks.size(), 3);
        EXPECT_GE(found.clicks.size(), found.flashes.size() - 1);
        ASSERT_EQ(found.offsets.size(), found.clicks.size());
        for (const double offset : found.offsets)
            EXPECT_NEAR(offset, 0, 1.0 / 30);
    }

    static inline bool s_available = false;
    static inline QByteArray s_bus;
    QStringList m_cameras, m_microphones;
};

TEST_F(PipeWireTest, CameraListShowsEachVideoSourceOnceByItsDescription) {
    StartCamera("vcam-list", "テスト カメラ A");
    const QList<PipeWireCamera> cameras = ListPipeWireCameras();
    ASSERT_EQ(cameras.size(), 1); // the device monitors are off: nothing else is a video source
    ASSERT_EQ(cameras[0].modes.size(), 1); // what the virtual camera offers
    const PipeWireMode& mode = cameras[0].modes[0];
    EXPECT_EQ(QStringLiteral("%1 %2x%3 %4")
                  .arg(mode.format)
                  .arg(mode.width)
                  .arg(mode.height)
                  .arg(mode.Fps()),
              "YUY2 640x480 30");
    qunsetenv("VISTRELCV_CAMERAS");
    const QList<CameraInfo> list = ListCameras(); // after the machine's V4L2 cameras, if any
    ASSERT_FALSE(list.isEmpty());
    EXPECT_EQ(list.last().location, "pipewire:vcam-list");
    EXPECT_EQ(list.last().name, "テスト カメラ A");

    qputenv("PIPEWIRE_REMOTE", "no-such-daemon");
    CPipeWireConnection none([] { return std::optional<int>(-1); });
    EXPECT_TRUE(ListPipeWireCameras(none).isEmpty());
    qunsetenv("PIPEWIRE_REMOTE");
}

// A PipeWire camera works like any camera: it keeps its number by its identity when another
// virtual camera appears first, records, is lost with its producer although its stream reports
// nothing (the recording ends as lost, its frames kept), and comes back through a new open when a
// producer with the same node name returns. The same when PipeWire itself restarts under a
// recording: the program connects again and finds the camera by its identity.
TEST_F(PipeWireTest, CameraKeepsItsNumberRecordsIsLostAndReturns) {
    testenv::FreshSettings();
    qunsetenv("VISTRELCV_CAMERAS");
    qputenv("VISTRELCV_DEVICE_ROOT", testenv::NewFolder("no-devices").toUtf8()); // no webcams
    const QString name = "vcam-a";
    EXPECT_EQ(OpenPipeWireCamera(name), nullptr); // not listed: never opened
    StartCamera(name, "Test Camera A");
    const StoredCameraIds stored{{0, ListCameras().value(0).id}};
    ASSERT_TRUE(Script({"kill", name}));
    StartCamera("vcam-b", "Test Camera B");
    StartCamera(name, "Test Camera A");
    QStringList order;
    for (const CameraInfo& camera : ListCameras(stored))
        order << camera.location;
    EXPECT_EQ(order, (QStringList{"pipewire:vcam-a", "pipewire:vcam-b"}));

    CCVController controller(nullptr);
    controller.StartCamera(0, stored);
    ASSERT_TRUE(WaitUntil([&] { return controller.GrabFrame(0, 0, 640, 480); }, 10s));
    EXPECT_TRUE(ShowsTestPicture(DisplayImageToBgr(controller.DisplayImage())));
    const QString movie = testenv::NewFolder("movies") + "/pipewire.mpg";
    controller.RecordMovie(true, movie, 0);
    std::this_thread::sleep_for(2s);
    ASSERT_TRUE(Script({"kill", name}));
    EXPECT_TRUE(WaitUntil([&] { return controller.RecordingLostCamera(); }, 10s));
    controller.RecordMovie(false, QString(), 0);
    EXPECT_GE(capturetest::ProbeMovie(movie).frames, 45);
    EXPECT_TRUE(controller.CameraLost());

    StartCamera(name, "Test Camera A");
    auto appeared = std::chrono::steady_clock::now();
    const auto shows = [&] {
        return controller.GrabFrame(0, 0, 640, 480) && controller.DisplayCapturedAt() > appeared;
    };
    EXPECT_TRUE(WaitUntil(shows, 20s));

    const QString second = QFileInfo(movie).path() + "/restart.mpg";
    controller.RecordMovie(true, second, 0);
    std::this_thread::sleep_for(2s);
    ASSERT_TRUE(Script({"restart"}));
    EXPECT_TRUE(WaitUntil([&] { return controller.RecordingLostCamera(); }, 10s));
    controller.RecordMovie(false, QString(), 0);
    EXPECT_GE(capturetest::ProbeMovie(second).frames, 45);
    StartCamera(name, "Test Camera A");
    appeared = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitUntil(shows, 20s));
    std::printf("back %lld ms after the new daemon's camera appeared\n",
                static_cast<long long>((std::chrono::steady_clock::now() - appeared) / 1ms));
    EXPECT_TRUE(ShowsTestPicture(DisplayImageToBgr(controller.DisplayImage())));
    qunsetenv("VISTRELCV_DEVICE_ROOT");
}

// The portal's one socket carries the listing and a stream together; after PipeWire restarts, the
// next connection asks the portal again.
TEST_F(PipeWireTest, PortalGrantsOneSocketForListingAndStreamOrRefuses) {
    StartCamera("vcam-portal", "Portal Camera");
    for (const QString answer : {"grant", "refuse"}) {
        SCOPED_TRACE(answer.toStdString());
        QProcess portal;
        const auto end = qScopeGuard([&] { portal.kill(), portal.waitForFinished(); });
        portal.start(PORTAL_STANDIN, {answer});
        ASSERT_TRUE(portal.waitForReadyRead(10000)) << "the stand-in portal did not start";
        if (answer == "refuse") {
            EXPECT_EQ(AskCameraPortal(10s).state, CameraPortalAccess::State::Refused);
            continue;
        }
        CPipeWireConnection connection(PortalRemote);
        const QList<PipeWireCamera> cameras = ListPipeWireCameras(connection);
        ASSERT_EQ(cameras.size(), 1);
        EXPECT_EQ(cameras[0].description, "Portal Camera");
        auto source =
            CPipeWireCameraSource::Open(cameras[0], connection, cameras[0].modes.value(0));
        cv::Mat image;
        ASSERT_NE(source, nullptr);
        EXPECT_TRUE(source->Read(image) && ShowsTestPicture(image));
        const auto listing = std::chrono::steady_clock::now();
        EXPECT_EQ(ListPipeWireCameras(connection).size(), 1); // while the camera streams
        std::printf("listed while streaming in %lld ms\n",
                    static_cast<long long>((std::chrono::steady_clock::now() - listing) / 1ms));
        for (int i = 0; i < 10; ++i)
            ASSERT_TRUE(source->Read(image));
        EXPECT_TRUE(ShowsTestPicture(image));

        ASSERT_TRUE(Script({"restart"}));
        EXPECT_FALSE(source->Grab());
        source.reset();
        StartCamera("vcam-portal", "Portal Camera");
        const QList<PipeWireCamera> again = ListPipeWireCameras(connection);
        ASSERT_EQ(again.size(), 1);
        source = CPipeWireCameraSource::Open(again[0], connection);
        EXPECT_TRUE(source && source->Read(image) && ShowsTestPicture(image));
    }
    // No portal on the bus: PipeWire directly.
    EXPECT_EQ(AskCameraPortal(10s).state, CameraPortalAccess::State::Direct);
}

// A webcam reached through PipeWire opens in its best mode as through V4L2: MJPEG where only MJPEG
// is smooth at its largest size, decoded with the same damaged-frame rules; the size menu's choice
// reopens it in that mode; a camera offering only NV12 is shown. Frames carry the camera's own
// capture times (whole frame periods apart, however late they arrive).
TEST_F(PipeWireTest, CamerasOpenInTheirBestModeAndKeepTheirOwnTimes) {
    StartCamera(
        "vcam-webcam", "Webcam",
        {"modes=YUY2:1280x720@5,MJPG:1280x720@30,YUY2:640x480@30,MJPG:640x480@30", "damage=4"});
    StartCamera("vcam-nv12", "NV12 Camera", {"modes=NV12:640x480@30"});
    QList<CameraInfo> cameras;
    for (const PipeWireCamera& camera : ListPipeWireCameras())
        cameras << PipeWireCameraInfo(camera);
    ASSERT_EQ(cameras.size(), 2);
    EXPECT_EQ(CameraSizes(cameras[0].modes).size(), 2); // the size menu: 1280 x 720, 640 x 480
    const struct {
        CameraInfo camera;
        std::optional<QSize> size;
        QString format;
        cv::Size shown;
    } cases[] = {{cameras[0], std::nullopt, "MJPG", {1280, 720}},
                 {cameras[0], QSize(640, 480), "YUY2", {640, 480}},
                 {cameras[1], std::nullopt, "NV12", {640, 480}}};
    for (const auto& [camera, size, format, shown] : cases) {
        SCOPED_TRACE(format.toStdString());
        std::unique_ptr<CCameraSource> source = CameraOpenerFor(camera, size)();
        ASSERT_NE(source, nullptr);
        cv::Mat image;
        std::vector<std::chrono::steady_clock::time_point> times;
        while (times.size() < 12) {
            ASSERT_TRUE(source->Grab());
            if (source->Retrieve(image))
                times.push_back(*source->CaptureTime());
            else
                ASSERT_TRUE(source->LastFrameDamaged()); // cut short or refused by the decoder
        }
        EXPECT_EQ(dynamic_cast<CPipeWireCameraSource&>(*source).Mode().format, format);
        EXPECT_TRUE(ShowsTestPicture(image, shown));
        const FrameDamageCounts damaged = source->DamagedFrames();
        EXPECT_EQ(std::accumulate(damaged.begin(), damaged.end(), uint64_t(0)) > 0,
                  format == "MJPG");
        for (size_t i = 1; i < times.size(); ++i) // the camera stamps frame k at start + k / 30 s
            EXPECT_EQ((times[i] - times[i - 1]) % std::chrono::nanoseconds(1000000000 / 30), 0ns);
    }
}

// A camera whose best mode (MJPEG) gives nothing but damaged frames is opened in its next mode
// (the slower raw one of the same size), whose picture shows.
TEST_F(PipeWireTest, OnlyDamagedFramesTryTheNextMode) {
    StartCamera("vcam-damaged", "Damaged Camera",
                {"modes=YUY2:640x480@5,MJPG:640x480@30", "damage=1"});
    CCameraReader reader(CameraOpenerFor(PipeWireCameraInfo(ListPipeWireCameras().value(0))));
    StampedFrame frame;
    ASSERT_TRUE(reader.WaitFirstFrame(10s, frame));
    EXPECT_TRUE(ShowsTestPicture(frame.image, {640, 480}));
}

// A camera that sends a frame a second and drops one now and then is never taken for lost: its
// limit is three of its frame periods.
TEST_F(PipeWireTest, SlowCameraStaysLive) {
    StartCamera("vcam-slow", "Slow Camera", {"modes=YUY2:640x480@1", "skip=3"});
    CCameraReader reader(CameraOpenerFor(PipeWireCameraInfo(ListPipeWireCameras().value(0))));
    StampedFrame frame;
    ASSERT_TRUE(reader.WaitFirstFrame(5s, frame));
    EXPECT_FALSE(WaitUntil([&] { return reader.IsLost(); }, 8s)); // two gaps of 2 s in it
    EXPECT_EQ(reader.SilenceLimit(), 3s);
}

// Each raw format a PipeWire camera may send comes out as the picture it carries, rows padded or
// not; a frame too short for its size is refused.
TEST(PipeWireFormatTest, RawFramesComeOutAsTheirPicture) {
    const cv::Mat bgr = DrawTestPattern(cv::Size(64, 48), 0);
    const auto converted = [&](int code) {
        cv::Mat out;
        cv::cvtColor(bgr, out, code);
        return out;
    };
    const auto xFirst = [](const cv::Mat& fourChannels) { // BGRA -> ABGR, RGBA -> ARGB
        cv::Mat out(fourChannels.size(), CV_8UC4);
        const int pairs[] = {3, 0, 0, 1, 1, 2, 2, 3};
        cv::mixChannels(&fourChannels, 1, &out, 1, pairs, 4);
        return out;
    };
    cv::Mat padded(48, 64 * 3 + 20, CV_8UC1);
    converted(cv::COLOR_BGR2RGB).reshape(1).copyTo(padded(cv::Rect(0, 0, 64 * 3, 48)));
    const struct {
        const char* format;
        cv::Mat frame;
    } cases[] = {{"I420", converted(cv::COLOR_BGR2YUV_I420)},
                 {"YV12", converted(cv::COLOR_BGR2YUV_YV12)},
                 {"GRAY8", converted(cv::COLOR_BGR2GRAY)},
                 {"RGB", padded},
                 {"BGRx", converted(cv::COLOR_BGR2BGRA)},
                 {"RGBA", converted(cv::COLOR_BGR2RGBA)},
                 {"xBGR", xFirst(converted(cv::COLOR_BGR2BGRA))},
                 {"ARGB", xFirst(converted(cv::COLOR_BGR2RGBA))}};
    for (const auto& [format, frame] : cases) {
        SCOPED_TRACE(format);
        const size_t bytes = frame.step[0] * size_t(frame.rows);
        cv::Mat out;
        ASSERT_TRUE(PipeWireRawToBgr(format, bgr.size(), frame.data, bytes, frame.step[0], out));
        cv::Mat grey;
        if (std::string(format) == "GRAY8")
            cv::cvtColor(frame, grey, cv::COLOR_GRAY2BGR);
        const cv::Mat& expected = grey.empty() ? bgr : grey; // a grey camera shows grey
        const cv::Scalar difference = cv::mean(cv::abs(out - expected));
        EXPECT_LT(difference[0] + difference[1] + difference[2], 3 * 8);
        EXPECT_FALSE(
            PipeWireRawToBgr(format, bgr.size(), frame.data, bytes - 1, frame.step[0], out));
    }
}

// The movie's sound, from the microphone stored in the camera's settings. The test camera
// flashes and the virtual microphone clicks at each whole second of the steady clock: in the
// MP4 each click is within a frame period of its flash, also where the server loses sound
// every second (a late microphone). A microphone unplugged mid-recording,
// one that is not there and a sound server that is not there each leave the movie going on
// silent, marked as without sound, never failed; MPEG-1 stays silent, unmarked.
TEST_F(PipeWireTest, MovieSoundKeepsToThePictureAndAMissingMicrophoneLeavesItSilent) {
    if (!Script({"available-pulse"}))
        GTEST_SKIP() << "pipewire-pulse is not installed (scripts/setup-deps installs it)";
    testenv::FreshSettings();
    StartMicrophone("vmic", "テスト マイク");
    const QList<MicrophoneInfo> microphones = CMicrophone::List(10s);
    ASSERT_EQ(microphones.size(), 1); // no sink, so no monitor of one either
    EXPECT_EQ(microphones[0].name, "vmic");
    EXPECT_EQ(microphones[0].description, "テスト マイク");

    qputenv("VISTRELCV_CAMERAS", "testsrc:640x480@30,flash");
    CCVController controller(nullptr);
    controller.OpenCamera(0);
    const QString folder = testenv::NewFolder("movies");
    const struct {
        const char* type;
        const char* microphone; // stored; null: sound off
        const char* pulse;      // PULSE_SERVER; null: the private one
        bool unplug;            // the microphone goes 2 s into the recording
        bool withSound;
    } cases[] = {{"mp4", "vmic", nullptr, false, true},
                 {"mp4", "", nullptr, true, true},
                 {"mp4", "no-such", nullptr, false, false},
                 {"mp4", "", "unix:/nonexistent", false, false},
                 {"mpg", "vmic", nullptr, false, false},
                 {"mp4", "late", nullptr, false, true}}; // started last: never the default
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + (c.microphone ? c.microphone : "off") +
                     (c.unplug ? " unplugged" : ""));
        if (c.pulse)
            qputenv("PULSE_SERVER", c.pulse);
        const auto restore = qScopeGuard([] { qunsetenv("PULSE_SERVER"); });
        if (c.microphone && std::string(c.microphone) == "late")
            StartMicrophone("late", "遅れるマイク", {"late"});
        g_UserDefault.WriteString(kMovFiletype.key, c.type);
        g_UserDefault.WriteInt(kMovAudio.key, c.microphone ? 1 : 0);
        g_UserDefault.WriteString(kMovAudioSource.key, c.microphone ? c.microphone : "");
        const auto movies = LoadImgFileMgr(CAMMODE_MOV, folder);
        const QString movie =
            folder +
            QString("/mov%1.%2").arg(movies->SerialNumber(), 5, 10, QLatin1Char('0')).arg(c.type);
        ASSERT_EQ(StartMovie(*movies, controller), 0);
        const auto started = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(2s);
        if (c.unplug) {
            ASSERT_TRUE(Script({"unplug", "vmic"}));
        }
        const bool marked = WaitUntil([&] { return controller.RecordingWithoutSound(); }, 3s);
        EXPECT_EQ(marked, c.type == QString("mp4") && (!c.withSound || c.unplug));
        std::this_thread::sleep_for(1s);
        EXPECT_FALSE(controller.RecordingGaveUp());
        const std::chrono::duration<double> recorded = std::chrono::steady_clock::now() - started;
        controller.RecordMovie(false, QString(), 0);
        const capturetest::MovieFacts facts = capturetest::ProbeMovie(movie);
        EXPECT_EQ(facts.audio, c.withSound ? "aac/48000" : "");
        // Until the stop: the start cue (at most its length and a second) comes before the
        // first frame.
        EXPECT_GE(facts.duration, recorded.count() - 1.3);
        if (c.unplug)
            StartMicrophone("vmic", "テスト マイク");
        if (!c.withSound || c.unplug)
            continue;
        ExpectClicksOnFlashes(movie);
    }
    qunsetenv("VISTRELCV_CAMERAS");
}

// Killed while recording MP4 with sound, the movie keeps both tracks up to its last 2 s: the
// sound is there, as long as the picture. (Where the clicks fall is the test above's.)
TEST_F(PipeWireTest, KilledRecordingKeepsItsSound) {
    if (!Script({"available-pulse"}))
        GTEST_SKIP() << "pipewire-pulse is not installed (scripts/setup-deps installs it)";
    StartMicrophone("vmic", "テスト マイク");
    const QString movie = testenv::NewFolder("killed") + "/mov00001.mp4";
    QProcess helper;
    helper.start(RECORDING_HELPER, {"testsrc:640x480@30,flash", movie, "vmic"});
    ASSERT_TRUE(helper.waitForReadyRead(20000));
    std::this_thread::sleep_for(7s); // 5 s of movie after the start cue (its length and a second)
    ::kill(static_cast<pid_t>(helper.processId()), SIGKILL);
    ASSERT_TRUE(helper.waitForFinished(20000));
    const capturetest::MovieFacts facts = capturetest::ProbeMovie(movie);
    EXPECT_EQ(facts.audio, "aac/48000");
    EXPECT_GE(facts.videoDuration, 3.0);
    EXPECT_GE(facts.audioDuration, 3.0);
}
