// The capture panel on the offscreen platform: its state display, mode switch, keys, visibility,
// placement beside the main window and the settings button, against a real live view whose
// shutter is a probe.
#include "dialogs/RecCtrlDlg.h"
#include "dialogs/OptionDlg.h"
#include "dialogs/PanelPlacement.h"
#include "dialogs/RecButtonState.h"
#include "dialogs/panel/PanelTestSupport.h"
#include "output_files/MediaKind.h"
#include "platform/StringTable.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"
#include "view/PanelFollowEvent.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

class RecCtrlDlgTest : public testing::Test {
protected:
    void SetUp() override {
        ResetCameraSettings();
        view = std::make_unique<ProbeView>();
        view->setGeometry(100, 100, 400, 300);
    }

    CRecCtrlDlg& Panel() {
        if (!panel)
            panel = std::make_unique<CRecCtrlDlg>(view.get());
        return *panel;
    }
    QPushButton* Button(const char* name) { return Panel().findChild<QPushButton*>(name); }
    QRadioButton* Radio(const char* name) { return Panel().findChild<QRadioButton*>(name); }
    QPushButton* Rec() { return Button("btnRec_1010"); }
    QRadioButton* Mov() { return Radio("btnMov_1014"); }
    QRadioButton* Pict() { return Radio("btnPict_1015"); }
    bool RecMarkShown() { return !Panel().findChild<QLabel*>("staticRecMark_1016")->isHidden(); }
    int StoredInt(const char* key) { return g_UserDefault.GetInt(QLatin1String(key), -1); }

    std::unique_ptr<ProbeView> view;
    std::unique_ptr<CRecCtrlDlg> panel;
};

TEST_F(RecCtrlDlgTest, ShowsEachCaptureState) {
    // Run in this order, each row also shows what the previous row leaves unchanged.
    struct Row {
        int mode, activity, icon;
        bool recEnabled, modeEnabled, recMark;
    };
    const Row rows[] = {
        {CAMMODE_MOV, 1, kIconStop, true, false, true},           // recording began
        {CAMMODE_PICT, 0, kIconShutter, true, true, true},        // the REC mark is left alone
        {CAMMODE_MOV, 0, kIconRecord, true, true, false},         // recording ended
        {CAMMODE_PICT, 1, kIconShutterBusy, false, false, false}, // a still is being saved
        {CAMMODE_MOV, 0, kIconRecord, false, true, false},        // REC's enabling is left alone
        {CAMMODE_PICT, 0, kIconShutter, true, true, false},       // the still is saved
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << r.mode << " activity " << r.activity);
        Panel().SetCaptureState(r.mode, r.activity);
        EXPECT_EQ(Panel().RecIconId(), r.icon);
        EXPECT_EQ(Rec()->isEnabled(), r.recEnabled);
        EXPECT_EQ(Mov()->isEnabled(), r.modeEnabled);
        EXPECT_EQ(Pict()->isEnabled(), r.modeEnabled);
        EXPECT_EQ(RecMarkShown(), r.recMark);
    }
}

TEST_F(RecCtrlDlgTest, OpensOnTheViewsModeAndActivity) {
    view->SetCamMode(CAMMODE_MOV);
    view->recording = true;
    EXPECT_TRUE(Mov()->isChecked());
    EXPECT_EQ(Panel().RecIconId(), kIconStop);
    EXPECT_TRUE(RecMarkShown());
    EXPECT_FALSE(Pict()->isEnabled());
    EXPECT_EQ(Panel().View(), view.get());
}

TEST_F(RecCtrlDlgTest, ModeSwitchStoresTheModeAlsoWhenClickedAgain) {
    EXPECT_TRUE(Pict()->isChecked());
    Panel().SetCaptureState(CAMMODE_PICT, 0);
    ResetCameraSettings();
    Pict()->click(); // already selected
    EXPECT_EQ(StoredInt(kCamMode.key), CAMMODE_PICT);
    EXPECT_EQ(Panel().RecIconId(), kIconShutter);

    Mov()->click();
    EXPECT_EQ(view->GetCamMode(), CAMMODE_MOV);
    EXPECT_EQ(StoredInt(kCamMode.key), CAMMODE_MOV);
    EXPECT_EQ(Panel().RecIconId(), kIconRecord);

    ResetCameraSettings();
    Mov()->click(); // again: the idle movie display is set again and the mode stored again
    EXPECT_EQ(StoredInt(kCamMode.key), CAMMODE_MOV);
    EXPECT_TRUE(Mov()->isChecked());

    Pict()->click();
    EXPECT_EQ(view->GetCamMode(), CAMMODE_PICT);
    EXPECT_EQ(Panel().RecIconId(), kIconShutter);
    EXPECT_TRUE(Rec()->isEnabled());
}

TEST_F(RecCtrlDlgTest, ModeButtonsCannotBeUsedWhileRecording) {
    view->SetCamMode(CAMMODE_MOV);
    view->recording = true;
    Panel().SetCaptureState(CAMMODE_MOV, 1);
    Pict()->click();
    EXPECT_TRUE(Mov()->isChecked());
    EXPECT_EQ(view->GetCamMode(), CAMMODE_MOV);
}

TEST_F(RecCtrlDlgTest, RecAndSpaceReleaseWorkTheShutter) {
    Panel().ShowPanel(true);
    EXPECT_EQ(Panel().focusWidget(), Rec());
    QTest::mouseClick(Rec(), Qt::LeftButton);
    view->recording = true;
    QTest::keyRelease(&Panel(), Qt::Key_Space);
    view->recording = false;
    // A whole press on the focused REC button shoots once, not once for the button as well.
    QTest::keyClick(Rec(), Qt::Key_Space);
    QTest::keyClick(Button("btnClose_1"), Qt::Key_Space);
    EXPECT_TRUE(Panel().isVisible()); // Space on the close button did not close the panel
    // Held down, the key repeats; only its final release counts.
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    QApplication::sendEvent(Rec(), &repeat);
    EXPECT_EQ(view->shots, (std::vector<int>{SHOOT_TAKE, SHOOT_STOP, SHOOT_TAKE, SHOOT_TAKE}));
}

TEST_F(RecCtrlDlgTest, WorksWithoutAView) {
    QWidget notAView;
    CRecCtrlDlg orphan(&notAView);
    EXPECT_EQ(orphan.View(), nullptr);
    QTest::keyRelease(&orphan, Qt::Key_Space);
    orphan.findChild<QPushButton*>("btnRec_1010")->click();
    orphan.findChild<QRadioButton*>("btnMov_1014")->click();
    EXPECT_EQ(orphan.RecIconId(), kIconRecord);
}

TEST_F(RecCtrlDlgTest, ClosingOnlyHidesAndVisibilityIsRemembered) {
    Panel().ShowPanel(true);
    EXPECT_TRUE(Panel().isVisible());
    EXPECT_EQ(StoredInt(kRecCtrlDlg.key), 1);
    Button("btnClose_1")->click();
    EXPECT_FALSE(Panel().isVisible());
    EXPECT_EQ(StoredInt(kRecCtrlDlg.key), 0);

    Panel().ShowPanel(true);
    QTest::keyClick(&Panel(), Qt::Key_Escape);
    EXPECT_FALSE(Panel().isVisible());
    EXPECT_EQ(StoredInt(kRecCtrlDlg.key), 0);

    Panel().ShowPanel(true);
    Panel().close();
    EXPECT_FALSE(Panel().isVisible());
    EXPECT_EQ(StoredInt(kRecCtrlDlg.key), 0);
    // Hidden, it still follows the capture state.
    Panel().SetCaptureState(CAMMODE_MOV, 1);
    EXPECT_TRUE(RecMarkShown());
}

TEST_F(RecCtrlDlgTest, TooltipsNameTheModes) {
    EXPECT_EQ(Pict()->toolTip(), QStringLiteral("静止画"));
    EXPECT_EQ(Mov()->toolTip(), QStringLiteral("動画"));
}

TEST_F(RecCtrlDlgTest, IsAToolWindowAboveTheMainWindow) {
    EXPECT_TRUE(Panel().isWindow());
    EXPECT_EQ(Panel().windowType(), Qt::Tool);
    EXPECT_TRUE(Panel().windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(Panel().parentWidget(), view.get());
}

TEST_F(RecCtrlDlgTest, FollowsTheMainWindow) {
    // Without a main frame the view's own window stands for the main window.
    view->show();
    const QRect screen = view->screen()->virtualGeometry();
    const auto expected = [&] {
        return PanelPosition({ToEdgeRect(Panel().frameGeometry()),
                              ToEdgeRect(view->frameGeometry()), screen.top(),
                              screen.top() + screen.height()});
    };
    Panel().ShowPanel(true);
    const QRect main = view->frameGeometry();
    EXPECT_EQ(Panel().y(), main.y() + main.height() - kPanelEdge - kPanelCaption);
    EXPECT_EQ(Panel().x() + Panel().width() / 2, main.x() + main.width() / 2);

    // Moved to the screen's bottom, the panel goes above the main window.
    view->move(40, screen.bottom() - 100);
    QEvent follow(static_cast<QEvent::Type>(WM_PANEL_FOLLOW));
    QApplication::sendEvent(&Panel(), &follow);
    ASSERT_TRUE(expected());
    EXPECT_EQ(Panel().pos(), *expected());
    EXPECT_EQ(Panel().y() + Panel().height(), view->y() + kPanelEdge);

    // Posted, as the view and the frame do it.
    view->move(-300, 50);
    QCoreApplication::postEvent(&Panel(), NewPanelFollowEvent());
    QCoreApplication::sendPostedEvents(&Panel());
    EXPECT_EQ(Panel().pos(), *expected());
    EXPECT_EQ(Panel().OnPanelFollow(), 0);
}

TEST_F(RecCtrlDlgTest, SettingsButtonOpensTheSaveSettingsOfTheView) {
    view->SetFoldername(testenv::NewFolder(QStringLiteral("panel-settings")), CAMMODE_PICT);
    QString shownFolder;
    ModalWatcher<COptionDlg> watcher(
        [&](COptionDlg* dialog) {
            shownFolder = dialog->findChild<QLineEdit*>("editFolder_1018")->text();
        },
        IDCANCEL);
    Button("btnSettings_1013")->click();
    EXPECT_TRUE(watcher.seen);
    EXPECT_EQ(shownFolder, view->GetFoldername(CAMMODE_PICT));
}

} // namespace
