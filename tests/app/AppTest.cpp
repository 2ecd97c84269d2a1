// Start-up rules of the application object: the opacity rule, camera selection from the command
// line and by the automatic search, and ApplySettings reaching the view and the frame.
#include "app/CommandLineInfoEx.h"
#include "app/MainFrame.h"
#include "app/VistrelCVApp.h"
#include "capture/CVController.h"
#include "platform/WindowShape.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"
#include "view/VistrelCVView.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(AppTest, OpacityKeepsTheLowEightBitsWithAFloorOf32) {
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

TEST(ApplySettingsTest, ReachesTheViewAndTheFrame) {
    ::setenv("VISTRELCV_CAMERAS", "testsrc:160x120@30", 1);
    testenv::FreshSettings();
    theApp.ApplySettings(); // before any window exists: only the opacity
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
    theApp.ApplySettings();
    ::unsetenv("VISTRELCV_CAMERAS");
}

} // namespace
