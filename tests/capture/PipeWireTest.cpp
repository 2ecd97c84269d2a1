// Cameras through PipeWire: a private daemon and session manager (tests/support/pipewire.sh),
// virtual cameras showing the test camera's picture, and a stand-in for the camera portal. The
// microphone through PipeWire's server for PulseAudio clients, from a virtual microphone.
#include "CaptureTestSupport.h"
#include "camera/pipewire/CameraPortal.h"
#include "camera/pipewire/PipeWireCameraSource.h"
#include "camera/pipewire/PipeWireCameras.h"
#include "camera/testsrc/TestPattern.h"
#include "capture/CVController.h"
#include "capture/Shutter.h"
#include "imaging/FramePath.h"
#include "output_files/ImgFileMgr.h"
#include "output_files/MediaKind.h"
#include "platform/Microphone.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <unistd.h>

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

// The test camera's picture, after the trip through YUY2 (a few levels off), at any frame number.
bool ShowsTestPicture(const cv::Mat& frame) {
    if (frame.size() != cv::Size(640, 480) || frame.type() != CV_8UC3)
        return false;
    const cv::Scalar difference = cv::mean(cv::abs(frame - DrawTestPattern(frame.size(), 0)));
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
    void StartCamera(const QString& name, const QString& description) {
        m_cameras << name;
        ASSERT_TRUE(Script({"camera", name, description}));
    }

    void StartMicrophone(const QString& name, const QString& description) {
        m_microphones << name;
        ASSERT_TRUE(Script({"microphone", name, description}));
    }

    static inline bool s_available = false;
    static inline QByteArray s_bus;
    QStringList m_cameras, m_microphones;
};

TEST_F(PipeWireTest, CameraListShowsEachVideoSourceOnceByItsDescription) {
    StartCamera("vcam-list", "テスト カメラ A");
    const QList<PipeWireCamera> cameras = ListPipeWireCamerasOn(-1);
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
    EXPECT_TRUE(ListPipeWireCamerasOn(-1).isEmpty());
    qunsetenv("PIPEWIRE_REMOTE");
}

// A PipeWire camera works like any camera: it keeps its number by its identity when another
// virtual camera appears first, records, is lost with its producer although its stream reports
// nothing (the recording ends as lost, its frames kept), and comes back through a new open when a
// producer with the same node name returns.
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
    EXPECT_TRUE(WaitUntil([&] { return !controller.CameraLost(); }, 20s));
    qunsetenv("VISTRELCV_DEVICE_ROOT");
}

TEST_F(PipeWireTest, PortalGrantsTheCamerasOfItsConnectionOrRefuses) {
    StartCamera("vcam-portal", "Portal Camera");
    for (const QString answer : {"grant", "refuse"}) {
        SCOPED_TRACE(answer.toStdString());
        QProcess portal;
        const auto end = qScopeGuard([&] { portal.kill(), portal.waitForFinished(); });
        portal.start(PORTAL_STANDIN, {answer});
        ASSERT_TRUE(portal.waitForReadyRead(10000)) << "the stand-in portal did not start";
        const CameraPortalAccess access = AskCameraPortal(10s);
        if (answer == "refuse") {
            EXPECT_EQ(access.state, CameraPortalAccess::State::Refused);
            continue;
        }
        ASSERT_EQ(access.state, CameraPortalAccess::State::Granted);
        const QList<PipeWireCamera> cameras = ListPipeWireCamerasOn(access.remoteFd);
        ASSERT_EQ(cameras.size(), 1);
        EXPECT_EQ(cameras[0].description, "Portal Camera");
        auto source = CPipeWireCameraSource::Open(cameras[0].nodeName, access.remoteFd,
                                                  cameras[0].modes.value(0));
        cv::Mat image;
        ASSERT_NE(source, nullptr);
        EXPECT_TRUE(source->Read(image) && ShowsTestPicture(image));
        source.reset();
        ::close(access.remoteFd);
    }
    // No portal on the bus: PipeWire directly.
    EXPECT_EQ(AskCameraPortal(10s).state, CameraPortalAccess::State::Direct);
}

// The movie's sound, from the microphone stored in the camera's settings. The test camera flashes
// and the virtual microphone clicks at each whole second of the steady clock: in the MP4 each
// click is within a frame period of its flash. A microphone unplugged mid-recording, one that is
// not there and a sound server that is not there each leave the movie going on silent, marked as
// without sound, never failed; MPEG-1 stays silent, unmarked.
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
                 {"mpg", "vmic", nullptr, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + (c.microphone ? c.microphone : "off") +
                     (c.unplug ? " unplugged" : ""));
        if (c.pulse)
            qputenv("PULSE_SERVER", c.pulse);
        const auto restore = qScopeGuard([] { qunsetenv("PULSE_SERVER"); });
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
        // Until the stop: the start cue (at most its length and a second) comes before the first
        // frame.
        EXPECT_GE(facts.duration, recorded.count() - 1.3);
        if (c.unplug)
            StartMicrophone("vmic", "テスト マイク");
        if (!c.withSound || c.unplug)
            continue;
        const QList<double> flashes =
            capturetest::Onsets(movie, "movie=%1,signalstats", "lavfi.signalstats.YAVG", 200);
        const QList<double> clicks = capturetest::Clicks(movie);
        // A flash in the movie's first or last moments may have no click (or the other way).
        EXPECT_GE(clicks.size(), 3);
        EXPECT_GE(clicks.size(), flashes.size() - 1);
        for (const double click : clicks) {
            const auto nearest =
                std::min_element(flashes.begin(), flashes.end(), [click](double a, double b) {
                    return std::abs(a - click) < std::abs(b - click);
                });
            ASSERT_NE(nearest, flashes.end());
            EXPECT_NEAR(click, *nearest, 1.0 / 30);
        }
    }
    qunsetenv("VISTRELCV_CAMERAS");
}
