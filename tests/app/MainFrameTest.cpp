// The main window on the offscreen platform: where it opens, what it stores, the shutter keys,
// and the sizing rule of its bottom-right corner.
#include "app/MainFrame.h"
#include "app/VistrelCVApp.h"
#include "capture/CVController.h"
#include "output_files/PathChecks.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"
#include "view/ContextMenu.h"
#include "view/VistrelCVView.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTimerEvent>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Takes the place of the desktop's file manager.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> m_urls;
public Q_SLOTS:
    void Open(const QUrl& url) { m_urls << url; }
};

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("VISTRELCV_CAMERAS", "testsrc:160x120@30", 1);
        testenv::FreshSettings();
        theApp.SetFrameSize(QSize(320, 240));
        theApp.SetAlpha(255);
    }
    void TearDown() override { ::unsetenv("VISTRELCV_CAMERAS"); }
    static int Stored(const char* key) { return g_UserDefault.GetInt(QLatin1String(key), -1); }
    static void Store(const char* key, int value) {
        g_UserDefault.WriteInt(QLatin1String(key), value);
    }
    static void Mouse(QWidget& w, QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(w.mapFromGlobal(global)), QPointF(global), Qt::LeftButton,
                          buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(&w, &event);
    }
};

TEST_F(MainFrameTest, AStoredSizeLargerThanTheScreensIsCutToThem) {
    // Quitting used to store what the window system had made of it, and every later start
    // asked for the same impossible window.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    Store("WndWidth", 2147483647);
    Store("WndHeight", 2147483647);
    CMainFrame frame;
    EXPECT_EQ(frame.frameGeometry(), screen);
    frame.close();
    EXPECT_EQ(Stored("WndWidth"), screen.width());
}

TEST_F(MainFrameTest, PlacementIsStoredOnMinimiseAndEndKeepsTheShownPanel) {
    CMainFrame frame;
    frame.Create(0);
    frame.show();
    frame.setGeometry(200, 150, 400, 300);
    frame.OnCommand(ID_MINIMIZE); // saved before the window shrinks
    EXPECT_EQ(Stored("WndWidth"), 400);
    frame.showNormal();
    frame.setGeometry(205, 155, 380, 280);
    frame.setWindowState(Qt::WindowMinimized); // as the window manager or the taskbar does
    EXPECT_EQ(Stored("WndX"), 205);
    EXPECT_EQ(Stored("WndHeight"), 280);
    frame.showNormal();
    frame.setGeometry(210, 160, 360, 270);
    frame.OnCommand(ID_SHOW_REC_CTRL);
    // A termination signal closes the main window and then quits, and quitting closes every
    // window still open; the panel must not take that for the user hiding it.
    frame.close();
    QApplication::closeAllWindows();
    EXPECT_EQ(Stored("WndY"), 160);
    EXPECT_EQ(Stored("WndWidth"), 360);
    EXPECT_EQ(Stored("RecCtrlDlg"), 1);
}

TEST_F(MainFrameTest, OnlyTheFinalReleaseOfAKeyPressedHereTakesAStill) {
    const QString pictures = testenv::NewFolder(QStringLiteral("shots"));
    g_UserDefault.WriteString(QStringLiteral("PictFoldername"), pictures);
    CMainFrame frame;
    frame.Create(0);
    frame.show();
    QElapsedTimer clock;
    clock.start();
    while (frame.View()->Controller()->DisplayImage().isNull() && clock.elapsed() < 5000) {
        QCoreApplication::processEvents();
        QTimerEvent tick(1);
        QCoreApplication::sendEvent(frame.View(), &tick);
    }
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

TEST_F(MainFrameTest, DragMovesCornerKeepsProportionsAndCursorsShowTheZones) {
    CMainFrame frame;
    frame.Create(0);
    frame.show();
    const QRect start = frame.frameGeometry(); // 320 x 240 at (101, 101)
    const auto drag = [&](QPoint at, QPoint by) {
        Mouse(frame, QEvent::MouseButtonPress, start.topLeft() + at, Qt::LeftButton);
        Mouse(frame, QEvent::MouseMove, start.topLeft() + at + by, Qt::LeftButton);
        Mouse(frame, QEvent::MouseButtonRelease, start.topLeft() + at + by, Qt::NoButton);
    };
    drag({100, 100}, {30, 20}); // the picture moves the window
    EXPECT_EQ(frame.frameGeometry(), start.translated(30, 20));
    // Inside the corner zone, 80 pixels right: 400 wide, so 300 high.
    drag({345, 255}, {80, 7});
    EXPECT_EQ(frame.size(), QSize(400, 300));

    // Hovering shows what a press does: resize arrows over the zones, the arrow elsewhere.
    const QPoint origin = frame.frameGeometry().topLeft();
    const std::pair<QPoint, Qt::CursorShape> hovers[] = {
        {{390, 100}, Qt::SizeHorCursor},
        {{100, 290}, Qt::SizeVerCursor},
        {{390, 290}, Qt::SizeFDiagCursor},
        {{100, 100}, Qt::ArrowCursor},
    };
    for (const auto& [at, shape] : hovers) {
        Mouse(*frame.View(), QEvent::MouseMove, origin + at, Qt::NoButton); // on to the frame
        EXPECT_EQ(frame.View()->cursor().shape(), shape) << at.x() << "," << at.y();
    }
    drag({425, 315}, {-390, 0}); // never smaller than 128 x 96
    EXPECT_EQ(frame.size(), QSize(128, 96));
}

} // namespace

TEST_F(MainFrameTest, MenuOpensTheSaveFolderAndKeepsTheWindowOnTop) {
    Store("CamMode", 1); // movie mode: the movie folder
    QDir(GetDefaultMovFolder()).removeRecursively();
    UrlCatcher fileManager;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &fileManager, "Open");
    {
        CMainFrame frame;
        frame.Create(0);
        frame.show();
        // The default folder is made first, as the shutter would make it.
        frame.OnCommand(ID_OPEN_FOLDER);
        EXPECT_EQ(fileManager.m_urls, QList<QUrl>{QUrl::fromLocalFile(GetDefaultMovFolder())});
        EXPECT_TRUE(QFileInfo(GetDefaultMovFolder()).isDir());

        frame.OnCommand(ID_STAY_ON_TOP);
        EXPECT_TRUE(frame.IsStayOnTop());
        EXPECT_TRUE(frame.isVisible()); // changing the flag hides a window; it comes back
        frame.close();
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    CMainFrame next; // the next start of this camera
    EXPECT_TRUE(next.IsStayOnTop());
}

#include "MainFrameTest.moc"
