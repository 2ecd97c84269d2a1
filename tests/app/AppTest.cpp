// The application object and its main window on the offscreen platform: the opacity rule, camera
// selection, ApplySettings reaching the view and the frame, what the window stores, the shutter
// keys, and its mouse gestures with the sizing rule of its bottom-right corner.
#include "app/CommandLineInfoEx.h"
#include "app/MainFrame.h"
#include "app/VistrelCVApp.h"
#include "camera/v4l2/V4l2Source.h"
#include "capture/CVController.h"
#include "dialogs/DialogTestUtils.h"
#include "platform/WindowShape.h"
#include "settings/InstanceLock.h"
#include "settings/UserDefault.h"
#include "support/FakeV4l2.h"
#include "support/TestEnvironment.h"
#include "view/ContextMenu.h"
#include "view/VistrelCVView.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QTimerEvent>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(AppRulesTest, OpacityKeepsTheLowEightBitsWithAFloorOf32) {
    struct Case {
        int setting;
        int alpha;
    };
    const Case cases[] = {{10, 32}, {33, 33}, {300, 44}, {256, 32}, {-1, 255}};
    for (const Case& c : cases) {
        theApp.SetAlpha(c.setting);
        EXPECT_EQ(theApp.GetAlpha(), c.alpha) << c.setting;
    }
}

TEST(SelectCameraTest, NumberOnTheCommandLineOrTheFirstOfFiveThatOpens) {
    const auto select = [](CVistrelCVApp& app, const QByteArray& cameras, QStringList arguments) {
        ::setenv("VISTRELCV_CAMERAS", cameras.constData(), 1);
        CCommandLineInfoEx info;
        info.Parse(arguments);
        return app.SelectCamera(info);
    };
    CVistrelCVApp second, missing, searched, none;
    EXPECT_TRUE(select(second, "testsrc;testsrc", {"2", "3"}));
    EXPECT_EQ(second.Camera(), 1);
    EXPECT_EQ(second.GetFrameSize(), QSize(320, 240)); // a probed frame gives the small default
    CVistrelCVApp wide, tall;
    EXPECT_TRUE(select(wide, "testsrc:1280x720@30", {"1"})); // the picture keeps its proportions
    EXPECT_EQ(wide.GetFrameSize(), QSize(320, 180));
    EXPECT_TRUE(select(tall, "testsrc:120x480@30", {"1"}));
    EXPECT_EQ(tall.GetFrameSize(), QSize(60, 240));
    EXPECT_FALSE(select(missing, "testsrc;testsrc", {"3"})); // no fall-back to the search
    EXPECT_EQ(missing.Camera(), 2);
    EXPECT_EQ(missing.GetFrameSize(), QSize(640, 480));

    const QByteArray bad = (testenv::Home() + "/no-such-video.mp4;").toUtf8();
    EXPECT_TRUE(select(searched, bad + bad + "testsrc", {}));
    EXPECT_EQ(searched.Camera(), 2);
    EXPECT_FALSE(select(none, bad.repeated(5) + "testsrc", {})); // only five cameras are tried
    EXPECT_EQ(none.Camera(), 0);
    ::unsetenv("VISTRELCV_CAMERAS");
}

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("VISTRELCV_CAMERAS", "testsrc:160x120@30", 1);
        testenv::FreshSettings();
        theApp.SetFrameSize(QSize(320, 240));
        theApp.SetAlpha(255);
    }
    void TearDown() override { ::unsetenv("VISTRELCV_CAMERAS"); }
    static int Stored(const char* key) { return g_UserDefault.GetInt(QLatin1String(key), -1); }
};

TEST_F(AppTest, PlacementIsStoredOnMinimiseAndEndKeepsThePanelAndStayOnTop) {
    CMainFrame frame(theApp);
    frame.Create(0);
    frame.show();
    frame.setGeometry(205, 155, 380, 280);
    // As the menu's Minimise, the window manager or the taskbar do: saved before it shrinks.
    frame.setWindowState(Qt::WindowMinimized);
    EXPECT_EQ(Stored("WndX"), 205);
    EXPECT_EQ(Stored("WndHeight"), 280);
    frame.showNormal();
    frame.setGeometry(210, 160, 360, 270);
    frame.OnCommand(ID_SHOW_REC_CTRL);
    frame.OnCommand(ID_STAY_ON_TOP);
    EXPECT_TRUE(frame.isVisible()); // changing the flag hides a window; it comes back
    // A termination signal closes the main window and then quits, and quitting closes every
    // window still open; the panel must not take that for the user hiding it.
    frame.close();
    QApplication::closeAllWindows();
    EXPECT_EQ(Stored("WndY"), 160);
    EXPECT_EQ(Stored("WndWidth"), 360);
    EXPECT_EQ(Stored("RecCtrlDlg"), 1);
    CMainFrame next(theApp); // the next start of this camera
    EXPECT_TRUE(next.IsStayOnTop());
}

TEST_F(AppTest, OnlyTheFinalReleaseOfAKeyPressedHereTakesAStill) {
    const QString pictures = testenv::NewFolder(QStringLiteral("shots"));
    g_UserDefault.WriteString(QStringLiteral("PictFoldername"), pictures);
    CMainFrame frame(theApp);
    frame.Create(0);
    frame.show();
    ASSERT_TRUE(QTest::qWaitFor([&frame] {
        QTimerEvent tick(1); // the view's refresh
        QCoreApplication::sendEvent(frame.View(), &tick);
        return !frame.View()->Controller()->DisplayImage().isNull();
    }));
    // A release whose press went to another window (Enter on a dialog's OK) takes nothing.
    QKeyEvent stray(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(&frame, &stray);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QString(), true);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    for (QKeyEvent* event : {&press, &repeat, &release}) // only the final release shoots
        QCoreApplication::sendEvent(&frame, event);
    EXPECT_EQ(QDir(pictures).entryList(QDir::Files), QStringList{"pict00001.jpg"});
}

TEST_F(AppTest, DragMovesAndTheCornerKeepsProportionsDownToTheMinimum) {
    CMainFrame frame(theApp);
    frame.Create(0);
    frame.show();
    const QRect start = frame.frameGeometry();      // 320 x 240 at (101, 101)
    dialogtest::Drag(&frame, {100, 100}, {30, 20}); // the picture moves the window
    EXPECT_EQ(frame.frameGeometry(), start.translated(30, 20));
    // Inside the corner zone, 80 pixels right: 400 wide, so 300 high.
    dialogtest::Drag(&frame, {315, 235}, {80, 7});
    EXPECT_EQ(frame.size(), QSize(400, 300));

    // Mouse moves over the picture reach the window, whose cursor shows what a press does.
    QMouseEvent hover(QEvent::MouseMove, QPointF(390, 290),
                      frame.View()->mapToGlobal(QPointF(390, 290)), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(frame.View(), &hover);
    EXPECT_EQ(frame.View()->cursor().shape(), Qt::SizeFDiagCursor);
    dialogtest::Drag(&frame, {395, 295}, {-390, 0}); // never smaller than 128 x 96
    EXPECT_EQ(frame.size(), QSize(128, 96));
}

TEST_F(AppTest, ApplySettingsReachesTheViewAndTheFrame) {
    ASSERT_TRUE(theApp.InitInstance({"1"}));
    CMainFrame* frame = theApp.Frame();
    ASSERT_TRUE(frame);
    g_UserDefault.WriteInt(QStringLiteral("AlphaValue"), 100);
    g_UserDefault.WriteInt(QStringLiteral("MirrorImage"), 1);
    g_UserDefault.WriteInt(QStringLiteral("Perform"), 200);
    theApp.ApplySettings();
    EXPECT_EQ(theApp.GetAlpha(), 100);
    EXPECT_EQ(WindowAlpha(frame), 100);
    EXPECT_TRUE(frame->View()->Controller()->Mirror());
    EXPECT_EQ(frame->View()->IntervalQuiet(), 200);
    frame->close(); // the window deletes itself
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(theApp.Frame(), nullptr); // nothing points at a window that is gone
    theApp.ApplySettings();             // with no window: only the opacity
}

// A 16:9 webcam on the V4L2 test device. While another program streams from it, it does not open
// and start-up gives its lock up at once. Then start-up opens it once, on the reader the view goes
// on with; the window takes the picture's proportions and the section the camera's identity. The
// resolution submenu lists the camera's sizes, and a choice is stored and applied at once, the
// window's corner then keeping the proportions of the new mode.
TEST_F(AppTest, RealCameraIsOpenedOnceAndItsResolutionChosenFromTheMenu) {
    ::unsetenv("VISTRELCV_CAMERAS");
    FakeV4l2 device;
    ASSERT_TRUE(device.Create(testenv::Home() + "/dev"));
    ASSERT_TRUE(device.AddCamera(0, "card=HD Cam\n", "usb-Maker_HD_Cam_7-video-index0"));
    auto streaming = CV4l2Source::Open(device.Node(0), std::nullopt);
    CCommandLineInfoEx first;
    first.Parse({"1"});
    EXPECT_TRUE(streaming && !CVistrelCVApp().SelectCamera(first));
    EXPECT_TRUE(CInstanceLock().TryAcquire("VistrelCV0"));
    streaming.reset();
    ASSERT_TRUE(theApp.InitInstance({"1"}));
    CMainFrame* frame = theApp.Frame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(theApp.GetFrameSize(), QSize(320, 180));
    EXPECT_EQ(frame->size(), QSize(320, 180));
    EXPECT_TRUE(g_UserDefault.GetString("CameraId", {}).contains("usb-Maker_HD_Cam_7"));

    CVistrelCVView* view = frame->View();
    QMenu menu;
    FillContextMenu(menu, *frame, view->SizeChoices());
    QMenu* sizes = menu.actions().at(3)->menu();
    ASSERT_TRUE(sizes);
    QStringList items;
    for (const QAction* item : sizes->actions())
        items << item->text() + (item->isChecked() ? "*" : "");
    EXPECT_EQ(items, (QStringList{"自動*", "1920 × 1080 (30 fps)", "1280 × 720 (30 fps)",
                                  "640 × 480 (30 fps)"}));
    const QAction* controls = menu.actions().at(4); // below the sizes: the camera's controls
    EXPECT_EQ(controls->data().toInt(), ID_CAMERA_CONTROLS);
    EXPECT_TRUE(controls->isEnabled());
    std::optional<QSize> chosen;
    ASSERT_TRUE(
        CaptureSizeCommand(sizes->actions().at(3)->data().toInt(), view->SizeChoices(), chosen));
    view->ChooseCaptureSize(chosen);
    EXPECT_EQ(g_UserDefault.GetString("CaptureSize", {}), "640x480");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return view->Controller()->ShownFrameSize() == QSize(640, 480); }, 5000));
    EXPECT_EQ(theApp.GetFrameSize(), QSize(320, 240)); // the corner follows the new proportions
    frame->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    qunsetenv("FAKEV4L2_ROOT");
    qunsetenv("VISTRELCV_DEVICE_ROOT");
}

} // namespace
