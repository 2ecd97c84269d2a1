// The camera chooser: its list, the value OK and Enter leave, and Cancel.
#include "dialogs/SelCamDlg.h"

#include "DialogTestUtils.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace dialogtest;

namespace {

QComboBox* ComboOf(const QWidget& dialog) {
    return Child<QComboBox>(dialog, "comboCamera_1002");
}

TEST(CameraChoices, ListsAutoThenNumbersOneToThreeWithKnownNames) {
    const QList<CameraInfo> cameras{{"/dev/video0", "  HD   Webcam "},
                                    {"testsrc", QString()},
                                    {"/dev/video4", "USB Camera"},
                                    {"/dev/video6", "Fourth"}};
    const std::pair<QString, int> expected[] = {
        {"Auto", -1}, {"1: HD Webcam", 0}, {"2", 1}, {"3: USB Camera", 2}};
    const QList<CameraChoice> choices = CameraChoices("Auto", cameras);
    ASSERT_EQ(choices.size(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(std::pair(choices[i].text, choices[i].value), expected[i]) << i;
    const QList<CameraChoice> bare = CameraChoices("自動", {});
    ASSERT_EQ(bare.size(), 4);
    EXPECT_EQ(std::pair(bare[3].text, bare[3].value), std::pair(QString("3"), 2));
}

TEST(SelCamDlg, OpensOnAutoAndLeavesTheChosenValueOrCancel) {
    enum Action { Ok, Enter, Escape };
    const struct {
        int item;
        Action action;
        int result, selected;
    } cases[] = {
        {0, Ok, IDOK, -1},         {1, Ok, IDOK, 0},   {3, Ok, IDOK, 2}, {2, Enter, IDOK, 1},
        {3, Escape, IDCANCEL, -1}, {-1, Ok, IDOK, -1}, // no selection reads as "Auto"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        CSelCamDlg dialog(QList<CameraInfo>{{"testsrc", "Test"}});
        ASSERT_EQ(ComboOf(dialog)->count(), 4);
        EXPECT_EQ(ComboOf(dialog)->currentIndex(), 0);
        EXPECT_EQ(ComboOf(dialog)->itemText(0), "自動");
        EXPECT_EQ(ComboOf(dialog)->itemText(1), "1: Test");
        const int result = ExecWith(dialog, [&] {
            ComboOf(dialog)->setCurrentIndex(c.item);
            if (c.action == Ok)
                Click(Child<QPushButton>(dialog, "btnOK_1"));
            else
                QTest::keyClick(&dialog, c.action == Enter ? Qt::Key_Return : Qt::Key_Escape);
        });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(dialog.Selected(), c.selected);
    }
}

} // namespace
