// Cameras through PipeWire: a private daemon and session manager (tests/support/pipewire.sh),
// virtual cameras showing the test camera's picture, and a stand-in for the camera portal.
#include "capture/CameraPortal.h"
#include "capture/CameraReader.h"
#include "capture/PipeWireCameraSource.h"
#include "capture/PipeWireCameras.h"
#include "capture/TestPattern.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <gtest/gtest.h>

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

template <typename Condition> bool WaitUntil(Condition condition, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(50ms);
    return condition();
}

} // namespace

class PipeWireTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_available = Script({"available"}).has_value();
        qputenv("PW_CAMERA_HELPER", PIPEWIRE_CAMERA_HELPER);
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
    }
    void StartCamera(const QString& name, const QString& description) {
        m_cameras << name;
        ASSERT_TRUE(Script({"camera", name, description}));
    }

    static inline bool s_available = false;
    static inline QByteArray s_bus;
    QStringList m_cameras;
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

// The stream of a vanished node reports nothing: the camera must still count as lost, and the
// reader's reopen must find the node again when a producer with the same name returns.
TEST_F(PipeWireTest, CameraGivesFramesIsLostWithItsProducerAndReturnsWithIt) {
    const QString name = "vcam-a";
    EXPECT_EQ(OpenPipeWireCamera(name), nullptr); // not listed: never opened
    StartCamera(name, "Test Camera A");
    CCameraReader reader(OpenPipeWireCamera(name), [name] { return OpenPipeWireCamera(name); });
    StampedFrame frame;
    ASSERT_TRUE(reader.WaitFirstFrame(10s, frame));
    EXPECT_TRUE(ShowsTestPicture(frame.image));

    ASSERT_TRUE(Script({"kill", name}));
    EXPECT_TRUE(WaitUntil([&] { return reader.IsLost(); }, 10s));
    EXPECT_EQ(OpenPipeWireCamera(name), nullptr);

    StartCamera(name, "Test Camera A");
    const uint64_t before = frame.number;
    EXPECT_TRUE(
        WaitUntil([&] { return !reader.IsLost() && reader.TakeNewest(before, frame); }, 20s));
    EXPECT_TRUE(ShowsTestPicture(frame.image));
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
