// The camera chooser: its list, the value OK leaves, and Cancel.
#include "dialogs/SelCamDlg.h"

#include "DialogTestUtils.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QComboBox* ComboOf(const QWidget& dialog) {
    return dialog.findChild<QComboBox*>(QStringLiteral("comboCamera_1002"));
}

QPushButton* OkOf(const QWidget& dialog) {
    return dialog.findChild<QPushButton*>(QStringLiteral("btnOK_1"));
}

} // namespace

TEST(CameraChoices, ListsAutoThenNumbersOneToThreeWithKnownNames) {
    const QList<CameraInfo> cameras{
        {QStringLiteral("/dev/video0"), QStringLiteral("  HD   Webcam ")},
        {QStringLiteral("testsrc"), QString()},
        {QStringLiteral("/dev/video4"), QStringLiteral("USB Camera")},
        {QStringLiteral("/dev/video6"), QStringLiteral("Fourth")},
    };
    struct Expected {
        const char* text;
        int value;
    };
    const Expected expected[] = {{"Auto", -1}, {"1: HD Webcam", 0}, {"2", 1}, {"3: USB Camera", 2}};
    const QList<CameraChoice> choices = CameraChoices(QStringLiteral("Auto"), cameras);
    ASSERT_EQ(choices.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(choices[i].text, QString::fromUtf8(expected[i].text)) << i;
        EXPECT_EQ(choices[i].value, expected[i].value) << i;
    }
    const QList<CameraChoice> bare = CameraChoices(QStringLiteral("自動"), {});
    ASSERT_EQ(bare.size(), 4);
    EXPECT_EQ(bare[3].text, QStringLiteral("3"));
    EXPECT_EQ(bare[3].value, 2);
}

TEST(SelCamDlg, OpensWithAutoSelected) {
    CSelCamDlg dialog(QList<CameraInfo>{{QStringLiteral("testsrc"), QStringLiteral("Test")}});
    QComboBox* combo = ComboOf(dialog);
    ASSERT_EQ(combo->count(), 4);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(combo->itemText(0), QStringLiteral("自動"));
    EXPECT_EQ(combo->itemText(1), QStringLiteral("1: Test"));
    EXPECT_EQ(dialog.Selected(), -1);
}

TEST(SelCamDlg, OkGivesTheSelectedValueAndCancelGivesAbort) {
    struct Case {
        int item;
        bool cancel;
        int result;
        int selected;
    };
    const Case cases[] = {
        {0, false, IDOK, -1},    {1, false, IDOK, 0},   {3, false, IDOK, 2},
        {3, true, IDCANCEL, -1}, {-1, false, IDOK, -1}, // no selection reads as "Auto"
    };
    for (const Case& c : cases) {
        CSelCamDlg dialog(QList<CameraInfo>{});
        const int result = dialogtest::ExecWith(dialog, [&] {
            ComboOf(dialog)->setCurrentIndex(c.item);
            if (c.cancel)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                QTest::mouseClick(OkOf(dialog), Qt::LeftButton);
        });
        EXPECT_EQ(result, c.result) << c.item;
        EXPECT_EQ(dialog.Selected(), c.selected) << c.item;
    }
}

TEST(SelCamDlg, EnterConfirmsTheSelection) {
    CSelCamDlg dialog(QList<CameraInfo>{});
    const int result = dialogtest::ExecWith(dialog, [&] {
        ComboOf(dialog)->setCurrentIndex(2);
        QTest::keyClick(&dialog, Qt::Key_Return);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.Selected(), 1);
}

TEST(SelCamDlg, ChooseReportsTheIndexOrTheCancel) {
    qputenv("VISTRELCV_CAMERAS", "testsrc;testsrc");
    const auto operate = [](int item, bool cancel) {
        QTimer::singleShot(0, [item, cancel] {
            auto* dialog = qobject_cast<CSelCamDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            ComboOf(*dialog)->setCurrentIndex(item);
            if (cancel)
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                QTest::mouseClick(OkOf(*dialog), Qt::LeftButton);
        });
    };
    operate(2, false);
    EXPECT_EQ(CSelCamDlg::Choose(), std::optional<int>(1));
    operate(0, false);
    EXPECT_EQ(CSelCamDlg::Choose(), std::optional<int>(-1));
    operate(1, true);
    EXPECT_EQ(CSelCamDlg::Choose(), std::nullopt);
    qunsetenv("VISTRELCV_CAMERAS");
}

TEST(SelCamDlg, OpenListIsWideEnoughForLongNames) {
    CSelCamDlg dialog(QList<CameraInfo>{
        {QStringLiteral("/dev/video0"), QStringLiteral("A camera with a rather long name")}});
    dialog.show();
    QComboBox* combo = ComboOf(dialog);
    combo->showPopup();
    QAbstractItemView* list = combo->view();
    EXPECT_GE(list->width(), list->sizeHintForColumn(0));
    EXPECT_GT(list->width(), combo->width());
    combo->hidePopup();
}
