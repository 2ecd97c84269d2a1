// The message box: both modes, their buttons and results, texts and the fixed message area.
#include "dialogs/VistrelMessageBox.h"

#include "DialogTestUtils.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Parts {
    QPushButton* ok;
    QPushButton* cancel;
    QLabel* text;
    QLabel* icon;
};

Parts PartsOf(const CVistrelMessageBox& box) {
    return {box.findChild<QPushButton*>(QStringLiteral("btnOK_1")),
            box.findChild<QPushButton*>(QStringLiteral("btnCancel_2")),
            box.findChild<QLabel*>(QStringLiteral("staticText_1027")),
            box.findChild<QLabel*>(QStringLiteral("staticIcon_1030"))};
}

} // namespace

TEST(VistrelMessageBox, InformationModeHasOneOkButtonOnTheRight) {
    CVistrelMessageBox box(QStringLiteral("カメラが接続されていないか、使用中です。(1001)"), MB_OK);
    box.show();
    const Parts parts = PartsOf(box);
    EXPECT_TRUE(parts.ok->isVisible());
    EXPECT_EQ(parts.ok->text(), QStringLiteral("OK"));
    EXPECT_FALSE(parts.cancel->isVisible());
    EXPECT_GT(parts.ok->x(), box.width() / 2);
    EXPECT_FALSE(parts.icon->pixmap().isNull());
    EXPECT_EQ(parts.text->text(), QStringLiteral("カメラが接続されていないか、使用中です。(1001)"));
}

TEST(VistrelMessageBox, QuestionModeHasNoOnTheLeftAndYesOnTheRight) {
    CVistrelMessageBox box(32785, QStringLiteral("Settings are changed. Do you save them?"),
                           MB_YESNO);
    box.show();
    const Parts parts = PartsOf(box);
    EXPECT_EQ(parts.ok->text(), QStringLiteral("はい"));
    EXPECT_EQ(parts.cancel->text(), QStringLiteral("いいえ"));
    EXPECT_TRUE(parts.cancel->isVisible());
    EXPECT_LT(parts.cancel->x(), parts.ok->x());
    EXPECT_EQ(parts.text->text(), QStringLiteral("変更を保存しますか?"));
    EXPECT_FALSE(parts.icon->pixmap().isNull());
}

TEST(VistrelMessageBox, ReturnsWhichButtonClosedIt) {
    enum Action { ClickOk, ClickCancel, Escape, Enter };
    struct Case {
        int type;
        Action action;
        int expected;
    };
    const Case cases[] = {
        {MB_OK, ClickOk, IDOK},    {MB_OK, Escape, IDCANCEL},         {MB_OK, Enter, IDOK},
        {MB_YESNO, ClickOk, IDOK}, {MB_YESNO, ClickCancel, IDCANCEL}, {MB_YESNO, Escape, IDCANCEL},
        {MB_YESNO, Enter, IDOK},
    };
    for (const Case& c : cases) {
        CVistrelMessageBox box(QStringLiteral("?"), c.type);
        const Parts parts = PartsOf(box);
        const int result = dialogtest::ExecWith(box, [&] {
            switch (c.action) {
            case ClickOk:
                QTest::mouseClick(parts.ok, Qt::LeftButton);
                break;
            case ClickCancel:
                QTest::mouseClick(parts.cancel, Qt::LeftButton);
                break;
            case Escape:
                QTest::keyClick(&box, Qt::Key_Escape);
                break;
            case Enter:
                QTest::keyClick(&box, Qt::Key_Return);
                break;
            }
        });
        EXPECT_EQ(result, c.expected) << "type " << c.type << " action " << c.action;
    }
}

TEST(VistrelMessageBox, ShowsTheFallbackWhenTheTableHasNoText) {
    CVistrelMessageBox missing(1, QStringLiteral("Cannot save image file."));
    EXPECT_EQ(PartsOf(missing).text->text(), QStringLiteral("Cannot save image file."));
    CVistrelMessageBox present(32784, QStringLiteral("Not Exist specified folder."));
    EXPECT_EQ(PartsOf(present).text->text(), QStringLiteral("指定されたフォルダが存在しません。"));
}

TEST(VistrelMessageBox, ShowsMarkupAsPlainText) {
    CVistrelMessageBox box(QStringLiteral("<b>/tmp/a&b</b>"));
    EXPECT_EQ(PartsOf(box).text->textFormat(), Qt::PlainText);
}

TEST(VistrelMessageBox, KeepsItsSizeAndWrapsLongTextInsideTheMessageArea) {
    CVistrelMessageBox shortBox(QStringLiteral("短い"));
    const QString longText = QString(QStringLiteral("とても長いメッセージです。")).repeated(20);
    CVistrelMessageBox longBox(longText);
    longBox.show();
    shortBox.show();
    EXPECT_EQ(longBox.size(), DluToPixels(QSize(135, 85), kGothic9));
    EXPECT_EQ(longBox.size(), shortBox.size());
    EXPECT_EQ(longBox.minimumSize(), longBox.maximumSize());
    const QLabel* text = PartsOf(longBox).text;
    EXPECT_EQ(text->geometry(), DluToPixels(QRect(33, 24, 96, 25), kGothic9));
    EXPECT_TRUE(text->wordWrap());
    // The text needs more room than the area has: it is clipped, not grown into.
    EXPECT_GT(text->heightForWidth(text->width()), text->height());
}
