// The dialogs: what the preferences store and where, which button or key closed a message box
// and that its whole message shows, what the camera chooser leaves, and the connecting notice.
#include "dialogs/PrefDlg.h"
#include "dialogs/SelCamDlg.h"
#include "dialogs/SlpDlg.h"
#include "dialogs/VistrelMessageBox.h"
#include "settings/AppProfile.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include "DialogTestUtils.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <gtest/gtest.h>

using namespace dialogtest;

namespace {

constexpr int kAbsent = -99999;

int Stored(const SettingKey& key) {
    return key.shared ? GetProfileInt(kSharedSection, key.key, kAbsent)
                      : g_UserDefault.GetInt(key.key, kAbsent);
}

// Moves every control off its default and closes the dialog with `button`; with a main window,
// first restores that to the picture's size, which takes effect at once.
int ChooseAndClose(const char* button, QWidget* mainWindow = nullptr) {
    CPrefDlg dialog(mainWindow, QSize(320, 240));
    Child<QSlider>(dialog, "sliderAlpha_1003")->setValue(100);
    Child<QSlider>(dialog, "sliderPerform_1004")->setValue(1045);
    Child<QCheckBox>(dialog, "checkMirror_1005")->setChecked(true);
    Child<QCheckBox>(dialog, "checkSelCam_1007")->setChecked(true);
    if (mainWindow) {
        Child<QPushButton>(dialog, "btnOrgSize_1010")->click();
        EXPECT_EQ(mainWindow->geometry(), QRect(101, 101, 320, 240));
    }
    Child<QPushButton>(dialog, button)->click();
    return dialog.result();
}

TEST(PrefDlg, OkStoresTheChoicesCancelStoresNothingButKeepsTheRestoredSize) {
    testenv::FreshSettings(1);
    QWidget frame;
    frame.setGeometry(300, 250, 500, 400);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    EXPECT_EQ(ChooseAndClose("btnCancel_2", &frame), IDCANCEL);
    EXPECT_EQ(frame.geometry(), QRect(101, 101, 320, 240));
    for (const SettingKey& key : {kAlphaValue, kPerform, kMirrorImage, kSelCamAtLaunch})
        EXPECT_EQ(Stored(key), kAbsent) << key.key;

    EXPECT_EQ(ChooseAndClose("btnOK_1"), IDOK);
    EXPECT_EQ(Stored(kAlphaValue), 100);
    EXPECT_EQ(Stored(kPerform), 0);
    EXPECT_EQ(Stored(kMirrorImage), 1);
    // The camera chooser is one choice for every camera, in the shared section.
    EXPECT_EQ(Stored(kSelCamAtLaunch), 1);
    EXPECT_EQ(g_UserDefault.GetInt(kSelCamAtLaunch.key, kAbsent), kAbsent);
    const CPrefDlg reopened; // shows what is stored
    EXPECT_EQ(Child<QSlider>(reopened, "sliderPerform_1004")->value(), 1045);
    EXPECT_TRUE(Child<QCheckBox>(reopened, "checkSelCam_1007")->isChecked());
}

TEST(VistrelMessageBox, ReturnsWhichButtonClosedIt) {
    CVistrelMessageBox info("?"), question("?", MB_YESNO), again("?", MB_YESNO);
    for (CVistrelMessageBox* box : {&info, &question, &again})
        box->show();
    QTest::keyClick(&info, Qt::Key_Escape);
    EXPECT_EQ(info.result(), IDCANCEL);
    Child<QPushButton>(question, "btnCancel_2")->click();
    EXPECT_EQ(question.result(), IDCANCEL);
    QTest::keyClick(&again, Qt::Key_Return);
    EXPECT_EQ(again.result(), IDOK);
}

// The template's text area holds two short lines; most messages need more, and none may be cut.
TEST(VistrelMessageBox, ShowsTheWholeMessageAsGiven) {
    {
        CVistrelMessageBox box(QString("とても長いメッセージです。").repeated(20));
        box.show();
        const QLabel* label = Child<QLabel>(box, "staticText_1027");
        const QRect ok = Child<QPushButton>(box, "btnOK_1")->geometry();
        EXPECT_LE(label->heightForWidth(label->width()), label->height()); // nothing clipped
        EXPECT_TRUE(box.rect().contains(label->geometry()));
        EXPECT_LE(box.width(), DluToPixels(QSize(300, 0), kGothic9).width()); // stays readable
        EXPECT_TRUE(box.rect().contains(ok));
        EXPECT_GT(ok.top(), label->geometry().bottom()); // OK moved down with the text
    }
    // A folder name may hold markup characters; they show as typed.
    const CVistrelMessageBox markup("<b>/tmp/a&b</b>");
    EXPECT_EQ(Child<QLabel>(markup, "staticText_1027")->textFormat(), Qt::PlainText);
}

// Enter presses OK, the default button, which leaves the chosen camera's index.
TEST(SelCamDlg, OpensOnAutoAndEnterLeavesTheChosenCamera) {
    CSelCamDlg dialog(QList<CameraInfo>{{"testsrc", "Test", {}, {}}, {"testsrc", "Other", {}, {}}});
    auto* combo = Child<QComboBox>(dialog, "comboCamera_1002");
    EXPECT_EQ(combo->currentIndex(), 0);
    dialog.show();
    combo->setCurrentIndex(2);
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), IDOK);
    EXPECT_EQ(dialog.Selected(), 1);
}

// Counts paint events of the notice, which arrive while its constructor still runs.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        paints += event->type() == QEvent::Paint && watched->objectName() == "SlpDlg";
        return false;
    }
};

// The connecting notice must be on the screen when its constructor returns: the camera open that
// follows blocks. Enter or Escape take it away early.
TEST(SlpDlg, IsPaintedBeforeTheConstructorReturnsAndEnterOrEscapeTakeItAway) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        PaintCounter counter;
        qApp->installEventFilter(&counter);
        CSlpDlg notice;
        qApp->removeEventFilter(&counter);
        EXPECT_GT(counter.paints, 0);
        QTest::keyClick(&notice, key);
        EXPECT_FALSE(notice.isVisible()) << key;
    }
}

} // namespace
