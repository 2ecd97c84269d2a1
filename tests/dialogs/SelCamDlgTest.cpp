// The camera chooser: its list, and the value Enter and Escape leave.
#include "dialogs/SelCamDlg.h"

#include "DialogTestUtils.h"

#include <QComboBox>
#include <gtest/gtest.h>

using namespace dialogtest;

namespace {

TEST(CameraChoices, ListsAutoThenNumbersOneToThreeWithKnownNames) {
    const QList<CameraChoice> choices = CameraChoices(
        "Auto",
        {{"/dev/video0", "  HD   Webcam "}, {"testsrc", QString()}, {"a", "b"}, {"c", "d"}});
    QStringList texts;
    for (const CameraChoice& choice : choices)
        texts << choice.text + ' ' + QString::number(choice.value);
    EXPECT_EQ(texts, (QStringList{"Auto -1", "1: HD Webcam 0", "2 1", "3: b 2"}));
}

// Enter presses OK, the default button.
TEST(SelCamDlg, OpensOnAutoAndLeavesTheChosenValueOrCancel) {
    const struct {
        int item;
        Qt::Key key;
        int result, selected;
    } cases[] = {
        {3, Qt::Key_Return, IDOK, 2},
        {3, Qt::Key_Escape, IDCANCEL, -1},
        {-1, Qt::Key_Return, IDOK, -1}, // no selection reads as "Auto"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        CSelCamDlg dialog(QList<CameraInfo>{{"testsrc", "Test"}});
        auto* combo = Child<QComboBox>(dialog, "comboCamera_1002");
        EXPECT_EQ(combo->currentIndex(), 0);
        dialog.show();
        combo->setCurrentIndex(c.item);
        QTest::keyClick(&dialog, c.key);
        EXPECT_EQ(dialog.result(), c.result);
        EXPECT_EQ(dialog.Selected(), c.selected);
    }
}

} // namespace
