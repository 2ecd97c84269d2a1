// The live view on the offscreen platform, on the built-in test camera: the refresh rules of a
// tick, high-density screens, a movie's messages and the end of a recording, and the panel.
#include "capture/CVController.h"
#include "dialogs/CameraControlsDlg.h"
#include "dialogs/DialogTestUtils.h"
#include "dialogs/RecCtrlDlg.h"
#include "output_files/MediaKind.h"
#include "platform/StringTable.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"
#include "view/VistrelCVView.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QTimerEvent>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace {

class ViewTest : public ::testing::Test {
protected:
    // Stills and movies go to the default folders of the private home.
    void SetUp() override {
        ::setenv("VISTRELCV_CAMERAS", "testsrc:160x120@30", 1);
        testenv::FreshSettings();
    }
    void TearDown() override { ::unsetenv("VISTRELCV_CAMERAS"); }

    std::unique_ptr<CVistrelCVView> MakeView() {
        auto view = std::make_unique<CVistrelCVView>();
        view->resize(160, 120);
        view->Create(0);
        return view;
    }
    static void Tick(CVistrelCVView& view) {
        QTimerEvent tick(1);
        QCoreApplication::sendEvent(&view, &tick);
    }
    // Runs the event loop and refresh ticks until `done` holds, at most `ms`.
    static bool TickUntil(CVistrelCVView& view, int ms, const std::function<bool()>& done) {
        return QTest::qWaitFor(
            [&] {
                Tick(view);
                return done();
            },
            ms);
    }
    static bool WaitForPicture(CVistrelCVView& view) {
        return TickUntil(view, 5000,
                         [&view] { return !view.Controller()->DisplayImage().isNull(); });
    }
};

TEST_F(ViewTest, TickSkipsTheGrabWhileInputIsPending) {
    auto view = MakeView();
    ASSERT_TRUE(WaitForPicture(*view));
    QTest::qWait(50);
    Tick(*view); // events of the start-up may still count as pending here
    Tick(*view); // a quiet tick
    EXPECT_EQ(view->CurrentInterval(), 330u);

    QWidget elsewhere;
    QMouseEvent move(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&elsewhere, &move);
    view->resize(100, 80);
    Tick(*view); // input pending: no grab at the new size, the active interval
    EXPECT_EQ(view->Controller()->DisplayImage().size(), QSize(160, 120));
    EXPECT_EQ(view->CurrentInterval(), 550u);
    QTimerEvent blink(1); // another window's timer (a text cursor's blink) is no input
    QCoreApplication::sendEvent(&elsewhere, &blink);
    Tick(*view); // quiet again: grabs at the new size
    EXPECT_EQ(view->Controller()->DisplayImage().size(), QSize(100, 80));
    EXPECT_EQ(view->CurrentInterval(), 330u);
    // Input to the camera's controls window leaves the picture live (the test camera has none).
    EXPECT_FALSE(view->SizeChoices().controls);
    elsewhere.setProperty(kLivePictureProperty, true);
    QCoreApplication::sendEvent(&elsewhere, &move);
    view->resize(90, 70);
    Tick(*view);
    EXPECT_EQ(view->Controller()->DisplayImage().size(), QSize(90, 70));
}

// Run at the screen's ratio, and again by CTest with QT_SCALE_FACTOR=2: the picture is scaled to
// the window's device pixels and painted 1:1, and a still is that picture.
TEST_F(ViewTest, SharpOnHighDensityScreens) {
    auto view = MakeView();
    view->show();
    const qreal ratio = view->devicePixelRatioF();
    EXPECT_EQ(ratio, qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble());
    ASSERT_TRUE(WaitForPicture(*view));
    const QImage& picture = view->Controller()->DisplayImage();
    EXPECT_EQ(picture.size(), QSize(160, 120) * ratio);
    EXPECT_EQ(picture.devicePixelRatio(), ratio);
    const QImage shown = view->grab().toImage().convertToFormat(picture.format());
    EXPECT_EQ(shown, picture); // no second, blurring scale
    view->Shoot(SHOOT_TAKE);
    EXPECT_EQ(QImage(view->GetFoldername(CAMMODE_PICT) + "/pict00001.jpg").size(), picture.size());
}

// A folder that cannot be written gives the movies' message. A recording whose camera stops
// delivering 2 s after it opened ends with the camera's message, shown outside the refresh tick,
// so the picture dims under the lost-camera notice behind it. One that never gets a frame has a
// message of its own and takes no number.
TEST_F(ViewTest, MovieMessagesAndTheRecordingFloorUntilTheCameraStops) {
    ::setenv("VISTRELCV_CAMERAS", "testsrc:160x120@30,stop=2", 1);
    g_UserDefault.WriteInt(QStringLiteral("Perform"), 100);
    auto view = MakeView();
    ASSERT_TRUE(WaitForPicture(*view));
    view->ShowRecCtrlDlg();
    view->SetCamMode(CAMMODE_MOV);
    QStringList texts;
    bool dimmed = false; // the test picture's white block at the top-left
    dialogtest::ModalAnswerer<CVistrelMessageBox> user([&](CVistrelMessageBox* box) {
        texts << box->Text();
        if (texts.size() == 2)
            dimmed = QTest::qWaitFor(
                [&] { return view->grab().toImage().pixelColor(4, 4).lightness() < 160; }, 5000);
        box->done(IDOK);
    });
    view->SetFoldername(testenv::Home() + "/missing/folder", CAMMODE_MOV);
    view->ToggleShoot();
    EXPECT_FALSE(view->IsRecording());
    view->SetFoldername(QString(), CAMMODE_MOV); // back to the default
    view->ToggleShoot();
    ASSERT_TRUE(view->IsRecording());
    QTest::qWait(100); // the posted "recording began" reaches the view and the panel
    EXPECT_EQ(view->IntervalQuiet(), 550);           // the recording floor
    EXPECT_EQ(view->RecCtrlDlg()->RecIconId(), 135); // the stop image

    EXPECT_TRUE(QTest::qWaitFor([&] { return texts.size() == 2; }, 15000)); // the view's ticks
    EXPECT_TRUE(dimmed);
    EXPECT_EQ(view->IntervalQuiet(), 100);
    EXPECT_EQ(view->RecCtrlDlg()->RecIconId(), 136); // the panel is idle again

    ::setenv("VISTRELCV_CAMERAS", "testsrc,stop=0", 1);
    view = MakeView();
    view->ToggleShoot();
    EXPECT_TRUE(QTest::qWaitFor([&] { return texts.size() == 3; }, 15000));
    EXPECT_EQ(texts, (QStringList{LoadTableString(32793), LoadTableString(32801),
                                  LoadTableString(32804)}));
    // The refused starts took no number, and the movie ended by the camera is kept.
    EXPECT_EQ(QDir(view->GetFoldername(CAMMODE_MOV)).entryList(QDir::Files),
              QStringList{"mov00001.mpg"});
    EXPECT_EQ(g_UserDefault.GetInt(QStringLiteral("MovNum"), -1), 2);
}

// An MP4 recording asked to take the microphone where there is no sound server records on, and
// the view says it is without sound.
TEST_F(ViewTest, RecordingWithoutTheMicrophoneGoesOnAndSaysSo) {
    ::setenv("PULSE_SERVER", "unix:/nonexistent", 1); // explicitly no sound server
    g_UserDefault.WriteString(QStringLiteral("MovFiletype"), "mp4");
    g_UserDefault.WriteInt(QStringLiteral("MovAudio"), 1);
    auto view = MakeView();
    ASSERT_TRUE(WaitForPicture(*view));
    view->SetCamMode(CAMMODE_MOV);
    view->ToggleShoot();
    EXPECT_TRUE(TickUntil(*view, 10000, [&] { return view->ShowsNoSoundNotice(); }));
    EXPECT_TRUE(view->IsRecording());
    view->ToggleShoot();
    EXPECT_FALSE(view->IsRecording());
    ::unsetenv("PULSE_SERVER");
}

// With no program to open folders with (xdg-utils not installed), the user is told which folder
// did not open.
TEST_F(ViewTest, AFolderThatDoesNotOpenIsNamed) {
    auto view = MakeView();
    const QByteArray path = qgetenv("PATH");
    ::setenv("PATH", QFile::encodeName(testenv::Home()).constData(), 1); // no programs there
    dialogtest::BoxAnswerer boxes;
    EXPECT_FALSE(view->OpenOutputFolder());
    ::setenv("PATH", path.constData(), 1);
    const QString folder = view->GetFoldername(CAMMODE_PICT);
    EXPECT_EQ(boxes.texts,
              QStringList{LoadTableString(IDS_CANNOT_OPEN_FOLDER).replace("%s", folder)});
}

TEST_F(ViewTest, ViewMayGoWhileThePanelsSettingsDialogRuns) {
    auto view = MakeView();
    view->ShowRecCtrlDlg();
    QPointer<CRecCtrlDlg> panel = view->RecCtrlDlg();
    dialogtest::ModalAnswerer<QDialog> user([&view](QDialog* dialog) {
        view->Destroy(); // as a termination signal does while the dialog is open
        dialog->reject();
    });
    panel->OnSettings(); // returns into a panel that must still be alive
    EXPECT_EQ(user.seen, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(panel.isNull());
    EXPECT_EQ(g_UserDefault.GetInt(QStringLiteral("RecCtrlDlg"), -1), 1); // stays shown
}

} // namespace
