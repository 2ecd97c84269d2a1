// The message box: which button closed it, and that the whole message shows as it was given.
#include "dialogs/VistrelMessageBox.h"

#include "DialogTestUtils.h"
#include "platform/StringTable.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace dialogtest;

namespace {

TEST(VistrelMessageBox, ReturnsWhichButtonClosedIt) {
    CVistrelMessageBox info("?"), question("?", MB_YESNO), again("?", MB_YESNO);
    for (CVistrelMessageBox* box : {&info, &question, &again})
        box->show();
    EXPECT_TRUE(Child<QPushButton>(info, "btnCancel_2")->isHidden()); // OK alone
    QTest::keyClick(&info, Qt::Key_Escape);
    EXPECT_EQ(info.result(), IDCANCEL);
    Child<QPushButton>(question, "btnCancel_2")->click();
    EXPECT_EQ(question.result(), IDCANCEL);
    QTest::keyClick(&again, Qt::Key_Return);
    EXPECT_EQ(again.result(), IDOK);
}

// The template's text area holds two short lines; most messages need more, and none may be cut.
TEST(VistrelMessageBox, ShowsTheWholeMessageAsGiven) {
    const CVistrelMessageBox shortBox("短い");
    const QRect okPlace = Child<QPushButton>(shortBox, "btnOK_1")->geometry();
    const QString texts[] = {
        FormatNumber(LoadTableString(32774), 2001), // the longest: two sentences and a number
        QString("とても長いメッセージです。").repeated(20),
    };
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        CVistrelMessageBox box(text);
        box.show();
        const QLabel* label = Child<QLabel>(box, "staticText_1027");
        const QRect ok = Child<QPushButton>(box, "btnOK_1")->geometry();
        EXPECT_LE(label->heightForWidth(label->width()), label->height()); // nothing clipped
        EXPECT_TRUE(box.rect().contains(label->geometry()));
        EXPECT_LE(box.width(), DluToPixels(QSize(300, 0), kGothic9).width()); // stays readable
        // OK keeps its distance from the bottom-right corner, below the text.
        EXPECT_EQ(box.rect().bottomRight() - ok.bottomRight(),
                  shortBox.rect().bottomRight() - okPlace.bottomRight());
        EXPECT_GT(ok.top(), label->geometry().bottom());
    }
    // A folder name may hold markup characters; they show as typed.
    const CVistrelMessageBox markup("<b>/tmp/a&b</b>");
    EXPECT_EQ(Child<QLabel>(markup, "staticText_1027")->textFormat(), Qt::PlainText);
}

} // namespace
