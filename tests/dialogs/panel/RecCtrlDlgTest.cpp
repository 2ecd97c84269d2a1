// The capture panel on the offscreen platform: its state display, mode switch, keys, visibility,
// placement beside the main window and the settings button, against a fake capture target.
#include "dialogs/RecCtrlDlg.h"
#include "dialogs/DialogTestUtils.h"
#include "dialogs/OptionDlg.h"
#include "dialogs/RecButtonState.h"
#include "dialogs/panel/PanelTestSupport.h"
#include "output_files/MediaKind.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <memory>

using namespace dialogtest;

namespace {

class RecCtrlDlgTest : public testing::Test {
protected:
    void SetUp() override { ResetCameraSettings(); }
    CRecCtrlDlg& Panel() {
        if (!panel)
            panel = std::make_unique<CRecCtrlDlg>(&owner, &target);
        return *panel;
    }
    QPushButton* Rec() { return Child<QPushButton>(Panel(), "btnRec_1010"); }
    QRadioButton* Mov() { return Child<QRadioButton>(Panel(), "btnMov_1014"); }
    QRadioButton* Pict() { return Child<QRadioButton>(Panel(), "btnPict_1015"); }
    bool RecMarkShown() { return !Child<QLabel>(Panel(), "staticRecMark_1016")->isHidden(); }
    static int Stored(const SettingKey& key) { return g_UserDefault.GetInt(key.key, -1); }

    QWidget owner;
    FakeCaptureTarget target;
    std::unique_ptr<CRecCtrlDlg> panel;
};

TEST_F(RecCtrlDlgTest, ShowsEachCaptureState) {
    // Run in this order, each row also shows what the previous row leaves unchanged.
    const struct {
        int mode, activity, icon;
        bool recEnabled, modeEnabled, recMark;
    } rows[] = {
        {CAMMODE_MOV, 1, kIconStop, true, false, true},    // recording began
        {CAMMODE_PICT, 0, kIconShutter, true, true, true}, // the REC mark is left alone
        {CAMMODE_MOV, 0, kIconRecord, true, true, false},  // recording ended
        {7, 1, kIconShutterBusy, false, false, false},     // a still is being saved
        {CAMMODE_MOV, 0, kIconRecord, false, true, false}, // REC's enabling is left alone
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "mode " << r.mode << " activity " << r.activity);
        Panel().SetCaptureState(r.mode, r.activity);
        EXPECT_EQ(Panel().RecIconId(), r.icon);
        EXPECT_EQ(Rec()->isEnabled(), r.recEnabled);
        EXPECT_EQ(Mov()->isEnabled(), r.modeEnabled);
        EXPECT_EQ(Pict()->isEnabled(), r.modeEnabled);
        EXPECT_EQ(RecMarkShown(), r.recMark);
    }
}

TEST_F(RecCtrlDlgTest, OpensOnTheViewsRecordingAndStoresEveryModeClick) {
    target.mode = CAMMODE_MOV;
    target.recording = true;
    EXPECT_EQ(Panel().RecIconId(), kIconStop);
    EXPECT_TRUE(RecMarkShown());
    Pict()->click(); // disabled while recording
    EXPECT_TRUE(target.modes.empty());
    target.recording = false;
    Panel().SetCaptureState(CAMMODE_MOV, 0);
    Pict()->click();
    Pict()->click(); // again: the idle still display is set again and the mode stored again
    Mov()->click();
    EXPECT_EQ(target.modes, (std::vector<int>{CAMMODE_PICT, CAMMODE_PICT, CAMMODE_MOV}));
    EXPECT_EQ(Panel().RecIconId(), kIconRecord);
}

TEST_F(RecCtrlDlgTest, RecAndSpaceReleaseWorkTheShutter) {
    Panel().ShowPanel(true);
    EXPECT_EQ(Panel().focusWidget(), Rec());
    Rec()->click();
    target.recording = true;
    QTest::keyRelease(&Panel(), Qt::Key_Space);
    target.recording = false;
    // A whole press on the focused REC button shoots once, not once for the button as well.
    QTest::keyClick(Rec(), Qt::Key_Space);
    QTest::keyClick(Child<QPushButton>(Panel(), "btnClose_1"), Qt::Key_Space);
    EXPECT_TRUE(Panel().isVisible()); // Space on the close button did not close the panel
    // Held down, the key repeats; only its final release counts.
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ", true);
    QApplication::sendEvent(Rec(), &repeat);
    EXPECT_EQ(target.shots, (std::vector<int>{SHOOT_TAKE, SHOOT_STOP, SHOOT_TAKE, SHOOT_TAKE}));
}

TEST_F(RecCtrlDlgTest, EnterWorksTheFocusedButton) {
    target.folder[0] = testenv::NewFolder("panel-settings");
    Panel().ShowPanel(true);
    QString shownFolder;
    ModalAnswerer<COptionDlg> user([&](COptionDlg* dialog) {
        shownFolder = Child<QLineEdit>(*dialog, "editFolder_1018")->text();
        dialog->done(IDCANCEL);
    });
    QTest::keyClick(Child<QPushButton>(Panel(), "btnSettings_1013"), Qt::Key_Return);
    EXPECT_EQ(user.seen, 1);
    EXPECT_EQ(shownFolder, target.folder[0]); // the save settings of the target
    EXPECT_EQ(Stored(kRecCtrlDlg), 1);
    QTest::keyClick(Child<QPushButton>(Panel(), "btnClose_1"), Qt::Key_Return);
    EXPECT_FALSE(Panel().isVisible()); // closing only hides, and is remembered
    EXPECT_EQ(Stored(kRecCtrlDlg), 0);
    EXPECT_TRUE(target.shots.empty());       // REC ran for neither
    Panel().SetCaptureState(CAMMODE_MOV, 1); // hidden, it still follows the capture state
    EXPECT_TRUE(RecMarkShown());
}

} // namespace
