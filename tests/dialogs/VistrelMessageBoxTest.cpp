// The message box: both modes, their buttons and results, texts and the fixed message area.
#include "dialogs/VistrelMessageBox.h"

#include "DialogTestUtils.h"
#include "platform/StringTable.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace dialogtest;

namespace {

QPushButton* Ok(const QWidget& box) {
    return Child<QPushButton>(box, "btnOK_1");
}
QPushButton* Cancel(const QWidget& box) {
    return Child<QPushButton>(box, "btnCancel_2");
}
QLabel* TextOf(const QWidget& box) {
    return Child<QLabel>(box, "staticText_1027");
}

TEST(VistrelMessageBox, InformationHasOkOnTheRightQuestionHasNoLeftOfYes) {
    CVistrelMessageBox info("?", MB_OK);
    CVistrelMessageBox question(32785, "Settings are changed. Do you save them?", MB_YESNO);
    info.show();
    question.show();
    EXPECT_FALSE(Cancel(info)->isVisible());
    EXPECT_GT(Ok(info)->x(), info.width() / 2);
    EXPECT_EQ(Cancel(question)->text(), "いいえ");
    EXPECT_LT(Cancel(question)->x(), Ok(question)->x());
}

TEST(VistrelMessageBox, ReturnsWhichButtonClosedIt) {
    CVistrelMessageBox info("?"), question("?", MB_YESNO), again("?", MB_YESNO);
    EXPECT_EQ(ExecWith(info, [&] { QTest::keyClick(&info, Qt::Key_Escape); }), IDCANCEL);
    EXPECT_EQ(ExecWith(question, [&] { Click(Cancel(question)); }), IDCANCEL);
    EXPECT_EQ(ExecWith(again, [&] { QTest::keyClick(&again, Qt::Key_Return); }), IDOK);
}

TEST(VistrelMessageBox, ShowsTheFallbackOnlyWhenTheTableHasNoTextAndMarkupAsPlainText) {
    EXPECT_EQ(TextOf(CVistrelMessageBox(1, "Cannot save."))->text(), "Cannot save.");
    EXPECT_EQ(TextOf(CVistrelMessageBox(32784, "Not Exist specified folder."))->text(),
              "指定されたフォルダが存在しません。");
    EXPECT_EQ(TextOf(CVistrelMessageBox("<b>/tmp/a&b</b>"))->textFormat(), Qt::PlainText);
}

TEST(VistrelMessageBox, GrowsToShowTheWholeMessage) {
    CVistrelMessageBox shortBox("短い");
    EXPECT_EQ(shortBox.size(), DluToPixels(QSize(135, 85), kGothic9)); // the template's size
    EXPECT_EQ(TextOf(shortBox)->geometry(), DluToPixels(QRect(33, 24, 96, 25), kGothic9));
    const QRect okPlace = Ok(shortBox)->geometry();

    const QString texts[] = {
        FormatNumber(LoadTableString(32774), 2001), // the longest: two sentences and a number
        LoadTableString(32793),
        QString("とても長いメッセージです。").repeated(20),
    };
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        CVistrelMessageBox box(text);
        box.show();
        const QLabel* label = TextOf(box);
        EXPECT_LE(label->heightForWidth(label->width()), label->height()); // nothing clipped
        EXPECT_TRUE(box.rect().contains(label->geometry()));
        EXPECT_LE(box.width(), DluToPixels(QSize(300, 0), kGothic9).width()); // stays readable
        EXPECT_EQ(box.minimumSize(), box.maximumSize());
        // OK keeps its distance from the bottom-right corner, below the text.
        EXPECT_EQ(box.width() - Ok(box)->geometry().right(), shortBox.width() - okPlace.right());
        EXPECT_EQ(box.height() - Ok(box)->geometry().bottom(),
                  shortBox.height() - okPlace.bottom());
        EXPECT_GT(Ok(box)->geometry().top(), label->geometry().bottom());
    }
}

} // namespace
