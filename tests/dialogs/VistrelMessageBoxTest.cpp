// The message box: which button closed it, its text, and that the whole message shows.
#include "dialogs/VistrelMessageBox.h"

#include "DialogTestUtils.h"
#include "platform/StringTable.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace dialogtest;

namespace {

QLabel* TextOf(const QWidget& box) {
    return Child<QLabel>(box, "staticText_1027");
}

TEST(VistrelMessageBox, ReturnsWhichButtonClosedIt) {
    CVistrelMessageBox info("?"), question("?", MB_YESNO), again("?", MB_YESNO);
    EXPECT_TRUE(Child<QPushButton>(info, "btnCancel_2")->isHidden()); // OK alone
    EXPECT_EQ(ExecWith(info, [&] { QTest::keyClick(&info, Qt::Key_Escape); }), IDCANCEL);
    EXPECT_EQ(ExecWith(question, [&] { Click(Child<QPushButton>(question, "btnCancel_2")); }),
              IDCANCEL);
    EXPECT_EQ(ExecWith(again, [&] { QTest::keyClick(&again, Qt::Key_Return); }), IDOK);
}

TEST(VistrelMessageBox, ShowsTheFallbackOnlyWhenTheTableHasNoTextAndMarkupAsPlainText) {
    EXPECT_EQ(TextOf(CVistrelMessageBox(1, "Cannot save."))->text(), "Cannot save.");
    EXPECT_EQ(TextOf(CVistrelMessageBox(32784, "Not Exist specified folder."))->text(),
              "指定されたフォルダが存在しません。");
    // A folder name may hold markup characters; they are shown as typed.
    EXPECT_EQ(TextOf(CVistrelMessageBox("<b>/tmp/a&b</b>"))->textFormat(), Qt::PlainText);
}

// The template's text area holds two short lines; most messages need more, and none may be cut.
TEST(VistrelMessageBox, GrowsToShowTheWholeMessage) {
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
        const QLabel* label = TextOf(box);
        const QRect ok = Child<QPushButton>(box, "btnOK_1")->geometry();
        EXPECT_LE(label->heightForWidth(label->width()), label->height()); // nothing clipped
        EXPECT_TRUE(box.rect().contains(label->geometry()));
        EXPECT_LE(box.width(), DluToPixels(QSize(300, 0), kGothic9).width()); // stays readable
        // OK keeps its distance from the bottom-right corner, below the text.
        EXPECT_EQ(box.rect().bottomRight() - ok.bottomRight(),
                  shortBox.rect().bottomRight() - okPlace.bottomRight());
        EXPECT_GT(ok.top(), label->geometry().bottom());
    }
}

} // namespace
