// The camera chooser: its list, and the value OK, Enter and Escape leave.
#include "dialogs/SelCamDlg.h"

#include "DialogTestUtils.h"

#include <QComboBox>
#include <QPushButton>
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

TEST(SelCamDlg, OpensOnAutoAndLeavesTheChosenValueOrCancel) {
    enum Action { Ok, Enter, Escape };
    const struct {
        int item;
        Action action;
        int result, selected;
    } cases[] = {
        {3, Ok, IDOK, 2},
        {2, Enter, IDOK, 1},
        {3, Escape, IDCANCEL, -1},
        {-1, Ok, IDOK, -1}, // no selection reads as "Auto"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        CSelCamDlg dialog(QList<CameraInfo>{{"testsrc", "Test"}});
        auto* combo = Child<QComboBox>(dialog, "comboCamera_1002");
        EXPECT_EQ(combo->currentIndex(), 0);
        const int result = ExecWith(dialog, [&] {
            combo->setCurrentIndex(c.item);
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
