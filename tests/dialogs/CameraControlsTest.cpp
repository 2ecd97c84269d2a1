// Camera controls on the V4L2 test device playing a UVC webcam: the window built from what the
// driver lists, values stored and written at every open in dependency order (also after a
// replug at another node, and again after a camera that resets controls when streaming starts),
// another program's change, hostile stored text and the defaults button.
#include "camera/CameraControlBoard.h"
#include "camera/CameraList.h"
#include "capture/CVController.h"
#include "dialogs/CameraControlsDlg.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "support/FakeV4l2.h"
#include "support/TestEnvironment.h"

#include "DialogTestUtils.h"

#include <QCheckBox>
#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <gtest/gtest.h>

#include <algorithm>

#include <linux/videodev2.h>

using namespace dialogtest;

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

constexpr char kCamera[] = "card=HD Cam\nbus=usb-0000:00:14.0-1\n";
constexpr char kById[] = "usb-Maker_HD_Cam_1-video-index0";

class CameraControlsTest : public FakeV4l2Test {
protected:
    // Camera 0 started with the user's `values`, once its first picture is there.
    CCameraControlBoard& Start(const CameraControlValues& values) {
        const StoredCameraIds ids{{0, ListCameras().value(0).id}};
        controller = std::make_unique<CCVController>(nullptr);
        controller->CameraControls()->SetStored(values);
        controller->StartCamera(0, ids);
        EXPECT_TRUE(QTest::qWaitFor([&] { return controller->GrabFrame(0, 0, 64, 48); }, 8000));
        return *controller->CameraControls();
    }
    // What the camera at node `n` works with now, and every write it was given, in order.
    QMap<QString, int> InForce(int n) const {
        QMap<QString, int> values;
        const QString path = device.Node(n).replace("/video", "/.video") + ".controls";
        for (const QString& line : QString(testenv::ReadFile(path)).split('\n', Qt::SkipEmptyParts))
            values.insert(line.section(' ', 0, 0), line.section(' ', 1, 1).toInt());
        return values;
    }
    QStringList Log(int n) const {
        const QString path = device.Node(n).replace("/video", "/.video") + ".log";
        return QString(testenv::ReadFile(path)).split('\n', Qt::SkipEmptyParts);
    }
    bool InForceSoon(int n, const QMap<QString, int>& expected) const {
        return QTest::qWaitFor(
            [&] {
                const QMap<QString, int> now = InForce(n);
                for (auto it = expected.begin(); it != expected.end(); ++it)
                    if (now.value(it.key(), -99999) != it.value())
                        return false;
                return true;
            },
            5000);
    }
};

QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; list && i < list->count(); ++i)
        items << list->itemText(i);
    return items;
}

TEST_F(CameraControlsTest, WindowFollowsTheCameraAndStoresOnlyWhatTheUserSet) {
    ASSERT_TRUE(device.AddCamera(0, kCamera, kById));
    CCameraControlBoard& board = Start({});
    EXPECT_TRUE(Log(0).isEmpty()); // nothing chosen: nothing written
    CCameraControlsDlg window(nullptr, controller->CameraControls());
    window.show();

    // Each kind as its control, menus with only the items the driver answers for.
    auto* brightness = Child<QSlider>(window, "brightness");
    ASSERT_TRUE(brightness);
    EXPECT_EQ(std::make_pair(brightness->minimum(), brightness->maximum()),
              std::make_pair(-64, 64));
    EXPECT_TRUE(Child<QCheckBox>(window, "white_balance_automatic")->isChecked());
    auto* mode = Child<QComboBox>(window, "auto_exposure");
    EXPECT_EQ(Items(mode), (QStringList{"Manual Mode", "Aperture Priority Mode"}));
    EXPECT_EQ(mode->currentText(), "Aperture Priority Mode");
    EXPECT_EQ(Items(Child<QComboBox>(window, "iso_sensitivity")),
              (QStringList{"100", "200", "400", "800"}));
    EXPECT_EQ(Child<QPushButton>(window, "pan_reset")->text(), "Pan, Reset");
    auto* time = Child<QSlider>(window, "exposure_time_absolute");
    EXPECT_FALSE(time->isEnabled()); // inactive while automatic
    const QList<CameraControl> listed = board.Controls();
    const auto exposure = std::find_if(listed.begin(), listed.end(), [](const CameraControl& c) {
        return c.key == "exposure_time_absolute";
    });
    ASSERT_NE(exposure, listed.end());
    EXPECT_EQ(CameraControlLabel(*exposure), "露出時間"); // common controls in Japanese

    // Manual exposure makes the time settable; both are written and stored.
    mode->setCurrentIndex(0);
    Q_EMIT mode->activated(0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return time->isEnabled(); }, 5000));
    time->setValue(300);
    EXPECT_TRUE(InForceSoon(0, {{"auto_exposure", 1}, {"exposure_time_absolute", 300}}));
    EXPECT_TRUE(QTest::qWaitFor(
        [] {
            return g_UserDefault.GetString(kControls.key, {}) ==
                   "auto_exposure=1;exposure_time_absolute=300";
        },
        3000));

    // Another program's change shows, and is not stored.
    QProcess other;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", FAKEV4L2_LIBRARY);
    other.setProcessEnvironment(environment);
    other.start("python3",
                {"-c", QString("import fcntl,os,struct;fcntl.ioctl(os.open('%1',os.O_RDWR),"
                               "%2,struct.pack('Ii',%3,40))")
                           .arg(device.Node(0))
                           .arg(VIDIOC_S_CTRL)
                           .arg(V4L2_CID_BRIGHTNESS)});
    ASSERT_TRUE(other.waitForFinished(10000));
    EXPECT_EQ(other.exitCode(), 0) << other.readAllStandardError().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return brightness->value() == 40; }, 5000));
    EXPECT_FALSE(g_UserDefault.GetString(kControls.key, {}).contains("brightness"));

    // The defaults: every control back to the driver's, nothing stored.
    Child<QPushButton>(window, "btnDefaults")->click();
    EXPECT_TRUE(InForceSoon(0, {{"auto_exposure", 3}, {"brightness", 0}}));
    EXPECT_EQ(g_UserDefault.GetString(kControls.key, "?"), "");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !time->isEnabled(); }, 5000));
}

// Hostile entries are left out one by one; the rest is written before the stream starts (the
// automatic mode first), again once the first frame has come (this camera resets two controls
// when streaming starts), and again at the next open, at the node a replug gave the camera.
TEST_F(CameraControlsTest, StoredValuesAreWrittenInOrderAtEveryOpen) {
    ASSERT_TRUE(device.AddCamera(0, QString(kCamera) + "streamon_reset=1\n", kById));
    int rejected = 0;
    const CameraControlValues values = ParseCameraControlValues(
        "brightness=20;exposure_time_absolute=300;;auto_exposure=1;Gain=3;gain=99999999999;"
        "../x=2;contrast=abc;brightness=5;" +
            QString(70, 'a') + "=1;sharpness",
        &rejected);
    EXPECT_EQ(CameraControlValuesText(values),
              "auto_exposure=1;brightness=20;exposure_time_absolute=300");
    EXPECT_EQ(rejected, 7);
    Start(values);
    const QMap<QString, int> wanted{
        {"auto_exposure", 1}, {"brightness", 20}, {"exposure_time_absolute", 300}};
    EXPECT_TRUE(InForceSoon(0, wanted));
    const QStringList once{"auto_exposure=1", "brightness=20", "exposure_time_absolute=300"};
    EXPECT_EQ(Log(0), once + once);

    ASSERT_TRUE(device.Unplug(0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return controller->CameraLost(); }, 4000));
    ASSERT_TRUE(device.Replug(0, 4));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !controller->CameraLost(); }, 8000));
    EXPECT_TRUE(InForceSoon(4, wanted));
    EXPECT_EQ(Log(4).mid(0, 3), once);
}

} // namespace
