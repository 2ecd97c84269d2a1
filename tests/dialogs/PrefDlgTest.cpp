// The preferences dialog: values read on opening, what OK stores, that Cancel stores nothing, and
// the restore-size button.
#include "dialogs/PrefDlg.h"

#include "settings/AppProfile.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include "DialogTestUtils.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <gtest/gtest.h>

#include <tuple>

using namespace dialogtest;

namespace {

constexpr int kAbsent = -99999;

struct Controls {
    explicit Controls(const CPrefDlg& d)
        : alpha(Child<QSlider>(d, "sliderAlpha_1003")),
          perform(Child<QSlider>(d, "sliderPerform_1004")),
          mirror(Child<QCheckBox>(d, "checkMirror_1005")),
          selCam(Child<QCheckBox>(d, "checkSelCam_1007")),
          orgSize(Child<QPushButton>(d, "btnOrgSize_1010")), ok(Child<QPushButton>(d, "btnOK_1")),
          cancel(Child<QPushButton>(d, "btnCancel_2")) {}
    QSlider *alpha, *perform;
    QCheckBox *mirror, *selCam;
    QPushButton *orgSize, *ok, *cancel;
};

int Stored(const SettingKey& key) {
    return key.shared ? GetProfileInt(kSharedSection, key.key, kAbsent)
                      : g_UserDefault.GetInt(key.key, kAbsent);
}

class PrefDlgTest : public ::testing::Test {
protected:
    void SetUp() override { testenv::FreshSettings(1); }

    // Opens the dialog, lets `act` work it, and presses OK (or Cancel).
    static int Run(const std::function<void(const Controls&)>& act, bool ok = true,
                   QWidget* mainWindow = nullptr) {
        CPrefDlg dialog(mainWindow, QSize(320, 240));
        const Controls controls(dialog);
        return ExecWith(dialog, [&] {
            act(controls);
            Click(ok ? controls.ok : controls.cancel);
        });
    }
};

TEST(PrefValues, MirrorThePerformanceScaleAndClampTheOpacity) {
    const std::pair<int, int> perform[] = {{330, 715}, {2000, 0}, {-5, 1045}, {1, 1044}};
    for (const auto& [value, position] : perform)
        EXPECT_EQ(InvertPerform(value), position) << value;
    const std::pair<int, int> alpha[] = {{10, 32}, {100, 100}, {300, 255}};
    for (const auto& [stored, position] : alpha)
        EXPECT_EQ(AlphaPosition(stored), position) << stored;
}

TEST_F(PrefDlgTest, ShowsTheDefaultsOkStoresTheChoicesAndCancelStoresNothing) {
    const auto choose = [](const Controls& controls) {
        const auto range = [](const QSlider* s) {
            return std::tuple(s->minimum(), s->value(), s->maximum());
        };
        EXPECT_EQ(range(controls.alpha), std::tuple(32, 255, 255));
        EXPECT_EQ(range(controls.perform), std::tuple(0, 715, 1045));
        EXPECT_FALSE(controls.mirror->isChecked() || controls.selCam->isChecked());
        controls.alpha->setValue(100);
        controls.perform->setValue(1045);
        controls.mirror->setChecked(true);
        controls.selCam->setChecked(true);
    };
    EXPECT_EQ(Run(choose, false), IDCANCEL);
    for (const SettingKey& key : {kAlphaValue, kPerform, kMirrorImage, kSelCamAtLaunch})
        EXPECT_EQ(Stored(key), kAbsent) << key.key;

    EXPECT_EQ(Run(choose), IDOK);
    EXPECT_EQ(Stored(kAlphaValue), 100);
    EXPECT_EQ(Stored(kPerform), 0);
    EXPECT_EQ(Stored(kMirrorImage), 1);
    // The camera chooser is one choice for every camera, in the shared section.
    EXPECT_EQ(Stored(kSelCamAtLaunch), 1);
    EXPECT_EQ(g_UserDefault.GetInt(kSelCamAtLaunch.key, kAbsent), kAbsent);
    Run([](const Controls& shown) {
        EXPECT_TRUE(shown.mirror->isChecked() && shown.selCam->isChecked());
    });
}

TEST_F(PrefDlgTest, RestoreSizeMovesTheMainWindowAtOnceAndCancelKeepsIt) {
    EXPECT_FALSE(Controls(CPrefDlg()).orgSize->isEnabled()); // no main window to restore
    QWidget frame;
    frame.setGeometry(300, 250, 500, 400);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));

    const QRect restored(101, 101, 320, 240);
    Run(
        [&](const Controls& controls) {
            Click(controls.orgSize);
            EXPECT_EQ(frame.geometry(), restored); // while the dialog is still open
        },
        false, &frame);
    EXPECT_EQ(frame.geometry(), restored);
}

} // namespace
