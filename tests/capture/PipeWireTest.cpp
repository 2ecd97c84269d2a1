// Cameras through PipeWire: a private daemon and session manager (tests/support/pipewire.sh),
// virtual cameras showing the test camera's picture, and a stand-in for the camera portal.
#include "capture/CameraPortal.h"
#include "capture/CameraReader.h"
#include "capture/PipeWireCameraSource.h"
#include "capture/PipeWireCameras.h"
#include "capture/TestPatternSource.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Runs one command of the PipeWire test script; its output, or nothing when it failed.
std::optional<QString> Script(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("bash"), QStringList{QStringLiteral(PIPEWIRE_SH)} + arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool StartCamera(const QString& name, const QString& description) {
    return Script({QStringLiteral("camera"), name, description}).has_value();
}
bool KillCamera(const QString& name) {
    return Script({QStringLiteral("kill"), name}).has_value();
}

// True when `frame` shows the test camera's picture (any frame number; the trip through YUY2
// costs a few levels).
bool ShowsTestPicture(const cv::Mat& frame) {
    if (frame.size() != cv::Size(640, 480) || frame.type() != CV_8UC3)
        return false;
    const cv::Scalar difference = cv::mean(cv::abs(frame - DrawTestPattern(frame.size(), 0)));
    return difference[0] + difference[1] + difference[2] < 3 * 12;
}

template <typename Condition> bool WaitUntil(Condition condition, std::chrono::seconds limit) {
    for (auto end = std::chrono::steady_clock::now() + limit; !condition();) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

} // namespace

class PipeWireTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_available = Script({QStringLiteral("available")}).has_value();
        if (!s_available)
            return;
        qputenv("PW_CAMERA_HELPER", PIPEWIRE_CAMERA_HELPER);
        qunsetenv("PIPEWIRE_REMOTE");
        qunsetenv("PIPEWIRE_RUNTIME_DIR");
        const std::optional<QString> started = Script({QStringLiteral("start")});
        const QString prefix = QStringLiteral("DBUS_SESSION_BUS_ADDRESS=");
        s_started = started && started->startsWith(prefix);
        if (s_started)
            qputenv("DBUS_SESSION_BUS_ADDRESS", started->trimmed().mid(prefix.size()).toUtf8());
    }
    static void TearDownTestSuite() {
        if (s_available)
            Script({QStringLiteral("stop")});
    }
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(QStringLiteral(PIPEWIRE_SH)));
        if (!s_available)
            GTEST_SKIP() << "PipeWire, WirePlumber or GStreamer's PipeWire elements are not "
                            "installed (scripts/setup-deps installs them)";
        ASSERT_TRUE(s_started) << "the private PipeWire did not start";
    }

    static inline bool s_available = false;
    static inline bool s_started = false;
};

TEST_F(PipeWireTest, ListsEachVideoSourceOnceByItsNodeAndDescription) {
    ASSERT_TRUE(StartCamera(QStringLiteral("vcam-list"), QStringLiteral("テスト カメラ A")));
    const QList<PipeWireCamera> cameras = ListPipeWireCamerasOn(-1);
    KillCamera(QStringLiteral("vcam-list"));
    ASSERT_EQ(cameras.size(), 1); // the device monitors are off: nothing else is a video source
    EXPECT_EQ(cameras[0].nodeName, QStringLiteral("vcam-list"));
    EXPECT_EQ(cameras[0].description, QStringLiteral("テスト カメラ A"));
    EXPECT_TRUE(cameras[0].v4l2Path.isEmpty());
    EXPECT_EQ(PipeWireCameraIdentity(cameras[0]), QStringLiteral("vcam-list"));

    qputenv("PIPEWIRE_REMOTE", "no-such-daemon");
    EXPECT_TRUE(ListPipeWireCamerasOn(-1).isEmpty());
    qunsetenv("PIPEWIRE_REMOTE");
}

// The stream of a vanished node reports nothing: the camera must still count as lost, and the
// reader's reopen must find the node again when a producer with the same name returns.
TEST_F(PipeWireTest, CameraGivesFramesIsLostWithItsProducerAndReturnsWithIt) {
    const QString name = QStringLiteral("vcam-a");
    EXPECT_EQ(OpenPipeWireCamera(name), nullptr); // not listed: never opened
    ASSERT_TRUE(StartCamera(name, QStringLiteral("Test Camera A")));
    CCameraReader reader(OpenPipeWireCamera(name), [name] { return OpenPipeWireCamera(name); });
    StampedFrame frame;
    ASSERT_TRUE(reader.WaitFirstFrame(10s, frame));
    EXPECT_TRUE(ShowsTestPicture(frame.image));

    ASSERT_TRUE(KillCamera(name));
    EXPECT_TRUE(WaitUntil([&] { return reader.IsLost(); }, 10s));
    EXPECT_EQ(OpenPipeWireCamera(name), nullptr);

    ASSERT_TRUE(StartCamera(name, QStringLiteral("Test Camera A")));
    const uint64_t before = frame.number;
    EXPECT_TRUE(
        WaitUntil([&] { return !reader.IsLost() && reader.TakeNewest(before, frame); }, 20s));
    EXPECT_TRUE(ShowsTestPicture(frame.image));
    reader.Stop();
    KillCamera(name);
}

TEST_F(PipeWireTest, PortalGrantsTheCamerasOfItsConnectionOrRefuses) {
    ASSERT_TRUE(StartCamera(QStringLiteral("vcam-portal"), QStringLiteral("Portal Camera")));
    for (const char* answer : {"grant", "refuse"}) {
        SCOPED_TRACE(answer);
        QProcess portal;
        portal.start(QStringLiteral(PORTAL_STANDIN), {QString::fromLatin1(answer)});
        ASSERT_TRUE(portal.waitForReadyRead(10000)) << "the stand-in portal did not start";
        const CameraPortalAccess access = AskCameraPortal(10s);
        if (QLatin1String(answer) == QLatin1String("grant")) {
            ASSERT_EQ(access.state, CameraPortalAccess::State::Granted);
            const QList<PipeWireCamera> cameras = ListPipeWireCamerasOn(access.remoteFd);
            ASSERT_EQ(cameras.size(), 1);
            EXPECT_EQ(cameras[0].description, QStringLiteral("Portal Camera"));
            auto source = CPipeWireCameraSource::Open(cameras[0].nodeName, access.remoteFd);
            cv::Mat image;
            ASSERT_NE(source, nullptr);
            EXPECT_TRUE(source->Read(image) && ShowsTestPicture(image));
            source.reset();
            ::close(access.remoteFd);
        } else {
            EXPECT_EQ(access.state, CameraPortalAccess::State::Refused);
        }
        portal.kill();
        portal.waitForFinished();
    }
    // No portal on the bus: PipeWire directly.
    EXPECT_EQ(AskCameraPortal(10s).state, CameraPortalAccess::State::Direct);
    KillCamera(QStringLiteral("vcam-portal"));
}
