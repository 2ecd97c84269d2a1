// The preferences dialog: values read on opening, what OK stores and applies, that Cancel stores
// nothing, and the restore-size button.
#include "dialogs/PrefDlg.h"

#include "app/MainFrame.h"
#include "app/VistrelCVApp.h"
#include "settings/AppProfile.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include "DialogTestUtils.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>

#include <optional>

namespace {

constexpr int kAbsent = -99999;

struct Controls {
    QSlider* alpha;
    QSlider* perform;
    QCheckBox* mirror;
    QCheckBox* selCam;
    QPushButton* orgSize;
    QPushButton* ok;
    QPushButton* cancel;
};

Controls ControlsOf(const CPrefDlg& dialog) {
    return {dialog.findChild<QSlider*>(QStringLiteral("sliderAlpha_1003")),
            dialog.findChild<QSlider*>(QStringLiteral("sliderPerform_1004")),
            dialog.findChild<QCheckBox*>(QStringLiteral("checkMirror_1005")),
            dialog.findChild<QCheckBox*>(QStringLiteral("checkSelCam_1007")),
            dialog.findChild<QPushButton*>(QStringLiteral("btnOrgSize_1010")),
            dialog.findChild<QPushButton*>(QStringLiteral("btnOK_1")),
            dialog.findChild<QPushButton*>(QStringLiteral("btnCancel_2"))};
}

int Stored(const SettingKey& key) {
    return g_UserDefault.GetInt(key.key, kAbsent);
}

int StoredSelCam() {
    return GetProfileInt(QString::fromLatin1(kSharedSection),
                         QString::fromLatin1(kSelCamAtLaunch.key), kAbsent);
}

class PrefDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        testenv::ClearSettings();
        g_UserDefault.SetSection(QString::fromLatin1(kSectionBase));
        g_UserDefault.SetIndex(1);
    }
    void TearDown() override { g_UserDefault.SetIndex(0); }

    // Opens the dialog, lets `act` work it, and presses OK (or Cancel).
    static int Run(const std::function<void(const Controls&)>& act, bool ok = true) {
        CPrefDlg dialog;
        const Controls controls = ControlsOf(dialog);
        return dialogtest::ExecWith(dialog, [&] {
            act(controls);
            QTest::mouseClick(ok ? controls.ok : controls.cancel, Qt::LeftButton);
        });
    }
};

} // namespace

TEST(PrefValues, MirrorThePerformanceScaleAndClampTheOpacity) {
    const std::pair<int, int> perform[] = {{330, 715}, {2000, 0}, {-5, 1045}, {0, 1045},
                                           {1, 1044},  {1045, 0}, {1046, 0},  {715, 330}};
    for (const auto& [value, position] : perform)
        EXPECT_EQ(InvertPerform(value), position) << value;
    for (int position = 0; position <= kPerformMax; ++position)
        ASSERT_EQ(InvertPerform(InvertPerform(position)), position);

    const std::pair<int, int> alpha[] = {{10, 32},   {31, 32},   {32, 32}, {100, 100},
                                         {255, 255}, {300, 255}, {-1, 32}};
    for (const auto& [stored, position] : alpha)
        EXPECT_EQ(AlphaPosition(stored), position) << stored;
}

TEST_F(PrefDlgTest, FirstRunShowsTheDefaultsAndOkStoresThem) {
    CPrefDlg probe;
    const Controls shown = ControlsOf(probe);
    EXPECT_EQ(shown.alpha->minimum(), 32);
    EXPECT_EQ(shown.alpha->maximum(), 255);
    EXPECT_EQ(shown.alpha->value(), 255);
    EXPECT_EQ(shown.perform->minimum(), 0);
    EXPECT_EQ(shown.perform->maximum(), 1045);
    EXPECT_EQ(shown.perform->value(), 715);
    EXPECT_FALSE(shown.mirror->isChecked());
    EXPECT_FALSE(shown.selCam->isChecked());

    EXPECT_EQ(Run([](const Controls&) {}), IDOK);
    EXPECT_EQ(Stored(kAlphaValue), 255);
    EXPECT_EQ(Stored(kPerform), 330);
    EXPECT_EQ(Stored(kMirrorImage), 0);
    EXPECT_EQ(StoredSelCam(), 0);
}

TEST_F(PrefDlgTest, OutOfRangeValuesShowAtTheNearerEndAndAreStoredInRange) {
    struct Case {
        int alpha;
        int perform;
        int alphaPosition;
        int performPosition;
        int alphaStored;
        int performStored;
    };
    const Case cases[] = {
        {10, 2000, 32, 0, 32, 1045},
        {300, -5, 255, 1045, 255, 0},
        {128, 100, 128, 945, 128, 100},
    };
    for (const Case& c : cases) {
        g_UserDefault.WriteInt(kAlphaValue.key, c.alpha);
        g_UserDefault.WriteInt(kPerform.key, c.perform);
        Run([&](const Controls& controls) {
            EXPECT_EQ(controls.alpha->value(), c.alphaPosition) << c.alpha;
            EXPECT_EQ(controls.perform->value(), c.performPosition) << c.perform;
        });
        EXPECT_EQ(Stored(kAlphaValue), c.alphaStored) << c.alpha;
        EXPECT_EQ(Stored(kPerform), c.performStored) << c.perform;
    }
}

TEST_F(PrefDlgTest, OkStoresTheChoicesAndAppliesTheOpacity) {
    Run([](const Controls& controls) {
        controls.alpha->setValue(100);
        controls.perform->setValue(1045);
        controls.mirror->setChecked(true);
        controls.selCam->setChecked(true);
    });
    EXPECT_EQ(Stored(kAlphaValue), 100);
    EXPECT_EQ(Stored(kPerform), 0);
    EXPECT_EQ(Stored(kMirrorImage), 1);
    EXPECT_EQ(theApp.GetAlpha(), 100);
    // The camera chooser is one choice for every camera, in the shared section.
    EXPECT_EQ(StoredSelCam(), 1);
    EXPECT_EQ(Stored(kSelCamAtLaunch), kAbsent);

    CPrefDlg again;
    EXPECT_TRUE(ControlsOf(again).mirror->isChecked());
    EXPECT_TRUE(ControlsOf(again).selCam->isChecked());
}

TEST_F(PrefDlgTest, CancelStoresNothing) {
    for (const bool escape : {false, true}) {
        CPrefDlg dialog;
        const Controls controls = ControlsOf(dialog);
        const int result = dialogtest::ExecWith(dialog, [&] {
            controls.alpha->setValue(40);
            controls.perform->setValue(3);
            controls.mirror->setChecked(true);
            controls.selCam->setChecked(true);
            if (escape)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                QTest::mouseClick(controls.cancel, Qt::LeftButton);
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(Stored(kAlphaValue), kAbsent);
        EXPECT_EQ(Stored(kPerform), kAbsent);
        EXPECT_EQ(Stored(kMirrorImage), kAbsent);
        EXPECT_EQ(StoredSelCam(), kAbsent);
    }
}

TEST_F(PrefDlgTest, RestoreSizeIsDisabledWithoutAMainWindow) {
    ASSERT_EQ(theApp.Frame(), nullptr);
    CPrefDlg dialog;
    EXPECT_FALSE(ControlsOf(dialog).orgSize->isEnabled());
}

TEST_F(PrefDlgTest, RestoreSizeMovesTheMainWindowAtOnceAndCancelKeepsIt) {
    theApp.SetFrameSize(QSize(320, 240));
    CMainFrame frame;
    frame.setGeometry(300, 250, 500, 400);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));

    CPrefDlg dialog;
    const Controls controls = ControlsOf(dialog);
    ASSERT_TRUE(controls.orgSize->isEnabled());
    std::optional<QRect> whileOpen;
    dialogtest::ExecWith(dialog, [&] {
        QTest::mouseClick(controls.orgSize, Qt::LeftButton);
        whileOpen = frame.geometry();
        QTest::mouseClick(controls.cancel, Qt::LeftButton);
    });
    EXPECT_EQ(whileOpen, QRect(101, 101, 320, 240));
    EXPECT_EQ(frame.geometry(), QRect(101, 101, 320, 240));
    theApp.SetFrameSize(QSize(640, 480));
}
