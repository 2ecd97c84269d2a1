// The preferences dialog: what OK stores and where, that Cancel stores nothing, and the
// restore-size button, which acts at once.
#include "dialogs/PrefDlg.h"

#include "settings/AppProfile.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include "DialogTestUtils.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <gtest/gtest.h>

using namespace dialogtest;

namespace {

constexpr int kAbsent = -99999;

int Stored(const SettingKey& key) {
    return key.shared ? GetProfileInt(kSharedSection, key.key, kAbsent)
                      : g_UserDefault.GetInt(key.key, kAbsent);
}

// Moves every control off its default and closes the dialog with `button`; with a main window,
// first restores that to the picture's size, which takes effect at once.
int ChooseAndClose(const char* button, QWidget* mainWindow = nullptr) {
    CPrefDlg dialog(mainWindow, QSize(320, 240));
    Child<QSlider>(dialog, "sliderAlpha_1003")->setValue(100);
    Child<QSlider>(dialog, "sliderPerform_1004")->setValue(1045);
    Child<QCheckBox>(dialog, "checkMirror_1005")->setChecked(true);
    Child<QCheckBox>(dialog, "checkSelCam_1007")->setChecked(true);
    if (mainWindow) {
        Child<QPushButton>(dialog, "btnOrgSize_1010")->click();
        EXPECT_EQ(mainWindow->geometry(), QRect(101, 101, 320, 240));
    }
    Child<QPushButton>(dialog, button)->click();
    return dialog.result();
}

TEST(PrefValues, MirrorThePerformanceScaleAndClampTheOpacity) {
    const std::pair<int, int> perform[] = {{330, 715}, {2000, 0}, {-5, 1045}, {1, 1044}};
    for (const auto& [value, position] : perform)
        EXPECT_EQ(InvertPerform(value), position) << value;
    const std::pair<int, int> alpha[] = {{10, 32}, {100, 100}, {300, 255}};
    for (const auto& [stored, position] : alpha)
        EXPECT_EQ(AlphaPosition(stored), position) << stored;
}

TEST(PrefDlg, OkStoresTheChoicesCancelStoresNothingButKeepsTheRestoredSize) {
    testenv::FreshSettings(1);
    QWidget frame;
    frame.setGeometry(300, 250, 500, 400);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    EXPECT_EQ(ChooseAndClose("btnCancel_2", &frame), IDCANCEL);
    EXPECT_EQ(frame.geometry(), QRect(101, 101, 320, 240));
    for (const SettingKey& key : {kAlphaValue, kPerform, kMirrorImage, kSelCamAtLaunch})
        EXPECT_EQ(Stored(key), kAbsent) << key.key;

    EXPECT_EQ(ChooseAndClose("btnOK_1"), IDOK);
    EXPECT_EQ(Stored(kAlphaValue), 100);
    EXPECT_EQ(Stored(kPerform), 0);
    EXPECT_EQ(Stored(kMirrorImage), 1);
    // The camera chooser is one choice for every camera, in the shared section.
    EXPECT_EQ(Stored(kSelCamAtLaunch), 1);
    EXPECT_EQ(g_UserDefault.GetInt(kSelCamAtLaunch.key, kAbsent), kAbsent);
    const CPrefDlg reopened; // shows what is stored
    EXPECT_EQ(Child<QSlider>(reopened, "sliderPerform_1004")->value(), 1045);
    EXPECT_TRUE(Child<QCheckBox>(reopened, "checkSelCam_1007")->isChecked());
}

} // namespace
