// The capture panel and its save-settings dialog on the offscreen platform, against a capture
// target that keeps its file settings in memory and records what it was asked: the panel's state
// display, mode switch and keys; the dialog's checks, Enter on each control and the kind switch.
// Message boxes are answered as a user would.
#include "dialogs/CaptureTarget.h"
#include "dialogs/DialogTestUtils.h"
#include "dialogs/OptionDlg.h"
#include "dialogs/RecButtonState.h"
#include "dialogs/RecCtrlDlg.h"
#include "output_files/FiletypeMgr.h"
#include "output_files/MediaKind.h"
#include "platform/StringTable.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace dialogtest;

namespace {

class FakeCaptureTarget : public CCaptureTarget {
public:
    FakeCaptureTarget() { FillFiletypeTables(); }

    void Shoot(int action) override { shots.push_back(action); }
    bool IsRecording() const override { return recording; }
    int GetCamMode() const override { return mode; }
    void SetCamMode(int newMode) override { modes.push_back(mode = newMode); }
    void ResetSerialNumber(int kind) override { serial[Slot(kind)] = 1; }
    QString GetFilename(int kind) const override { return name[Slot(kind)]; }
    void SetFilename(QString text, int kind) override { name[Slot(kind)] = text; }
    QString GetFoldername(int kind) const override { return folder[Slot(kind)]; }
    void SetFoldername(QString text, int kind) override { folder[Slot(kind)] = text; }
    CFiletypeMgr* GetFiletypeMgr(int kind) const override {
        return IsMovieKind(kind) ? &g_MovFiletypeMgr : &g_PictFiletypeMgr;
    }
    int GetFiletypeIndex(int kind) const override { return filetype[Slot(kind)]; }
    void SetFiletypeIndex(int index, int kind) override { filetype[Slot(kind)] = index; }
    bool GetStillFullSize() const override { return fullSize; }
    void SetStillFullSize(bool on) override { fullSize = on; }
    bool GetMovieAudio() const override { return audio; }
    void SetMovieAudio(bool on) override { audio = on; }
    QString GetMovieAudioSource() const override { return microphone; }
    void SetMovieAudioSource(const QString& name) override { microphone = name; }
    QList<MicrophoneInfo> Microphones() const override {
        return {{"mic.usb", "USB Camera Microphone"}, {"mic.jack", "Headset"}};
    }
    QString GetSerialNumberText(int kind) const override {
        return QStringLiteral("%1").arg(serial[Slot(kind)], 5, 10, QLatin1Char('0'));
    }

    static int Slot(int kind) { return IsMovieKind(kind) ? 1 : 0; }

    std::vector<int> shots;
    std::vector<int> modes; // every mode stored, in order
    bool recording = false;
    int mode = CAMMODE_PICT;
    QString name[2] = {QStringLiteral("pict"), QStringLiteral("mov")};
    QString folder[2];
    int serial[2] = {1, 1};
    std::array<int, 2> filetype = {0, 0};
    bool fullSize = false;
    bool audio = false;
    QString microphone = "mic.unplugged";
};

// Settings of camera 0 start empty.
void ResetCameraSettings() {
    ::setenv("VISTRELCV_CAMERAS", "testsrc", 1);
    testenv::FreshSettings();
}

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

TEST_F(RecCtrlDlgTest, OpensOnTheViewsRecordingAndStoresTheModeClicked) {
    target.mode = CAMMODE_MOV;
    target.recording = true;
    EXPECT_EQ(Panel().RecIconId(), kIconStop);
    EXPECT_TRUE(RecMarkShown());
    Pict()->click(); // disabled while recording
    EXPECT_TRUE(target.modes.empty());
    target.recording = false;
    Panel().SetCaptureState(CAMMODE_MOV, 0);
    Pict()->click();
    EXPECT_EQ(target.modes, std::vector<int>{CAMMODE_PICT});
    EXPECT_EQ(Panel().RecIconId(), kIconShutter);
}

// Space belongs to REC wherever the focus is; Enter works the focused button. A still disables
// REC while it is saved, and Qt hands the focus on to the close button: REC takes it back, so
// the next Enter takes the next still instead of hiding the panel.
TEST_F(RecCtrlDlgTest, SpaceReleaseWorksTheShutterAndEnterTheFocusedButton) {
    Panel().ShowPanel(true);
    QApplication::setActiveWindow(&Panel());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Panel()));
    for (int still = 0; still < 2; ++still) {
        QTest::keyClick(Panel().focusWidget(), Qt::Key_Return);
        Panel().SetCaptureState(CAMMODE_PICT, 1); // the still's events, as the view hands them on
        Panel().SetCaptureState(CAMMODE_PICT, 0);
    }
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
    EXPECT_EQ(target.shots, (std::vector<int>{SHOOT_TAKE, SHOOT_TAKE, SHOOT_TAKE, SHOOT_STOP,
                                              SHOOT_TAKE, SHOOT_TAKE}));

    target.shots.clear();
    ModalAnswerer<COptionDlg> user([](COptionDlg* dialog) { dialog->done(IDCANCEL); });
    QTest::keyClick(Child<QPushButton>(Panel(), "btnSettings_1013"), Qt::Key_Return);
    EXPECT_EQ(user.seen, 1);
    QTest::keyClick(Child<QPushButton>(Panel(), "btnClose_1"), Qt::Key_Return);
    EXPECT_FALSE(Panel().isVisible()); // closing only hides, and is remembered
    EXPECT_EQ(g_UserDefault.GetInt(kRecCtrlDlg.key, -1), 0);
    EXPECT_TRUE(target.shots.empty()); // REC ran for neither
}

constexpr int kNoFolder = 32784;
constexpr int kSaveChanges = 32785;
constexpr int kResetSerial = 32787;
constexpr int kBadFilename = 32794;

// The texts of the message boxes `ids`, as a user sees them.
QStringList Messages(std::initializer_list<int> ids) {
    QStringList texts;
    for (int id : ids)
        texts << LoadTableString(id);
    return texts;
}

class OptionDlgTest : public testing::Test {
protected:
    void SetUp() override {
        ResetCameraSettings();
        target.folder[0] = folder;
        target.name[0] = "shot";
        target.serial[0] = 42;
        dialog.SetView(&target);
    }
    QLineEdit* NameField() { return Child<QLineEdit>(dialog, "editFilename_1020"); }
    QLineEdit* FolderField() { return Child<QLineEdit>(dialog, "editFolder_1018"); }

    const QString folder = testenv::NewFolder("option-dlg");
    FakeCaptureTarget target;
    COptionDlg dialog;
};

// Enter works the focused button as a click would; only from a field does it mean OK, which
// refuses a bad entry, says why and stores nothing of it (the rules have their own table).
TEST_F(OptionDlgTest, EnterWorksTheFocusedButtonAndOkOnlyFromAField) {
    const auto enterOn = [&](const char* name, const QString& typed = "typed") {
        dialog.show();
        QApplication::setActiveWindow(&dialog); // so the focus moves as for a user
        NameField()->setText(typed);
        QWidget* control = Child<QWidget>(dialog, name);
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Return);
    };
    {
        BoxAnswerer boxes({IDOK});
        enterOn("btnResetSerial_1022");
        EXPECT_EQ(boxes.texts, Messages({kResetSerial}));
        EXPECT_EQ(Child<QLabel>(dialog, "staticSerial_1029")->text(), "00001");
    }
    {
        BoxAnswerer boxes({IDCANCEL}); // the changed name is not saved
        enterOn("btnMode_1028");
        EXPECT_EQ(boxes.texts, Messages({kSaveChanges}));
        EXPECT_EQ(dialog.Kind(), CAMMODE_MOV);
        dialog.OnModeSwitch();
    }
    EXPECT_TRUE(dialog.isVisible()); // none of them ran OK
    EXPECT_EQ(target.name[0], "shot");
    enterOn("btnCancel_2");
    EXPECT_EQ(dialog.result(), IDCANCEL);
    EXPECT_EQ(target.name[0], "shot");
    {
        BoxAnswerer boxes;
        // With "00001.jpg" the name is 258 bytes, more than a file name may have.
        enterOn("editFilename_1020", QString(83, u'あ'));
        EXPECT_EQ(target.name[0], "shot");
        FolderField()->setText(folder + "/missing");
        enterOn("editFilename_1020", "kept");
        EXPECT_EQ(target.name[0], "kept"); // the folder is checked after the name is stored
        EXPECT_EQ(target.folder[0], folder);
        EXPECT_EQ(boxes.texts, Messages({kBadFilename, kNoFolder}));
        EXPECT_TRUE(dialog.isVisible());
    }
    FolderField()->setText(folder);
    enterOn("editFilename_1020"); // no button has the focus: the default button, OK
    EXPECT_EQ(dialog.result(), IDOK);
    EXPECT_EQ(target.name[0], "typed");
}

// The file type is a choice of the kind's list, stored with the rest; so are the still's size,
// shown on the still side only, and the movie's sound, on the movie side only, which MPEG-1
// never carries: the list offers the default, the desktop's microphones and the stored one,
// unplugged now.
TEST_F(OptionDlgTest, KindSwitchAnsweredYesStoresBeforeShowingTheOtherKind) {
    BoxAnswerer boxes({IDOK});
    auto* types = Child<QComboBox>(dialog, "comboFiletype_1021");
    auto* fullSize = Child<QCheckBox>(dialog, "checkFullSize_1030");
    dialog.show();
    EXPECT_TRUE(fullSize->isVisible());
    fullSize->setChecked(true);
    types->setCurrentIndex(1);
    dialog.OnModeSwitch(); // a changed type or size alone asks too
    EXPECT_TRUE(target.fullSize);
    EXPECT_FALSE(fullSize->isVisible());
    NameField()->setText("other");
    types->setCurrentIndex(1);
    dialog.OnModeSwitch();
    EXPECT_EQ(boxes.texts, Messages({kSaveChanges, kSaveChanges}));
    EXPECT_EQ(target.name[1], "other");
    EXPECT_EQ(target.filetype, (std::array{1, 1}));
    EXPECT_EQ(NameField()->text(), "shot");
    EXPECT_EQ(types->currentText(), "PNG(*.png)");
    dialog.OnModeSwitch();
    EXPECT_EQ(types->currentText(), "MP4(*.mp4)");
    auto* audio = Child<QCheckBox>(dialog, "checkAudio_1031");
    auto* microphones = Child<QComboBox>(dialog, "comboMicrophone_1032");
    EXPECT_TRUE(audio->isVisible() && audio->isEnabled() && !microphones->isEnabled());
    audio->setChecked(true);
    ASSERT_EQ(microphones->count(), 4);
    EXPECT_EQ(microphones->itemText(0), "既定のマイク");
    EXPECT_EQ(microphones->currentData().toString(), "mic.unplugged");
    microphones->setCurrentIndex(1);
    EXPECT_TRUE(dialog.IsModified());
    types->setCurrentIndex(0);
    EXPECT_FALSE(audio->isEnabled() || microphones->isEnabled());
    dialog.accept();
    EXPECT_EQ(target.filetype[1], 0);
    EXPECT_TRUE(target.audio);
    EXPECT_EQ(target.microphone, "mic.usb");
}

} // namespace
