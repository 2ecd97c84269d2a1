// The save-settings dialog on the offscreen platform, against a fake capture target: that its
// checks stop a save and say why, Enter on each control, and the kind switch. Message boxes and
// the folder chooser are answered as a user would.
#include "dialogs/OptionDlg.h"
#include "dialogs/DialogTestUtils.h"
#include "dialogs/panel/PanelTestSupport.h"
#include "output_files/MediaKind.h"
#include "platform/StringTable.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

using namespace dialogtest;

namespace {

constexpr int kNoFolder = 32784;
constexpr int kSaveChanges = 32785;
constexpr int kResetSerial = 32787;
constexpr int kBadFilename = 32794;

// The texts of the message boxes `ids`, as a user sees them.
QStringList Messages(std::initializer_list<int> ids) {
    QStringList texts;
    for (int id : ids)
        texts << LoadTableString(id);
    return texts;
}

class OptionDlgTest : public testing::Test {
protected:
    void SetUp() override {
        ResetCameraSettings();
        target.folder[0] = folder;
        target.name[0] = "shot";
        target.serial[0] = 42;
        dialog.SetView(&target);
    }
    QLineEdit* NameField() { return Child<QLineEdit>(dialog, "editFilename_1020"); }

    const QString folder = testenv::NewFolder("option-dlg");
    FakeCaptureTarget target;
    COptionDlg dialog;
};

TEST_F(OptionDlgTest, BadNameOrFolderStopsTheSave) {
    // The rules themselves have their own table; here, that a bad entry stops the save and says
    // why. A file name has at most 255 bytes: 82 x "あ" + "00001.jpg" is 255, 83 x "あ" is 258.
    const struct {
        QString folder, name;
        int message; // 0: accepted
    } cases[] = {
        {folder, QString(82, u'あ'), 0},
        {folder, QString(83, u'あ'), kBadFilename},
        {folder + "/missing", "kept", kNoFolder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        target.name[0] = "shot";
        target.folder[0] = "<none>";
        BoxAnswerer boxes;
        Child<QLineEdit>(dialog, "editFolder_1018")->setText(c.folder);
        NameField()->setText(c.name);
        EXPECT_EQ(dialog.SaveSettings(), c.message == 0);
        EXPECT_EQ(boxes.texts, c.message ? Messages({c.message}) : QStringList());
        // A bad name stores nothing; the folder is checked after the name is stored.
        EXPECT_EQ(target.name[0], c.message == kBadFilename ? "shot" : c.name);
        EXPECT_EQ(target.folder[0], c.message ? "<none>" : folder);
        EXPECT_EQ(NameField()->text(), c.name); // the user's text stays for correction
    }
}

// Enter works the focused button as a click would; only from a field does it mean OK.
TEST_F(OptionDlgTest, EnterWorksTheFocusedButtonAndOkOnlyFromAField) {
    const auto enterOn = [&](const char* name) {
        dialog.show();
        QApplication::setActiveWindow(&dialog); // so the focus moves as for a user
        NameField()->setText("typed");
        QWidget* control = Child<QWidget>(dialog, name);
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Return);
    };
    {
        BoxAnswerer boxes({IDOK});
        enterOn("btnResetSerial_1022");
        EXPECT_EQ(boxes.texts, Messages({kResetSerial}));
        EXPECT_EQ(Child<QLabel>(dialog, "staticSerial_1029")->text(), "00001");
    }
    {
        BoxAnswerer boxes({IDCANCEL}); // the changed name is not saved
        enterOn("btnMode_1028");
        EXPECT_EQ(boxes.texts, Messages({kSaveChanges}));
        EXPECT_EQ(dialog.Kind(), CAMMODE_MOV);
        dialog.OnModeSwitch();
    }
    {
        ModalAnswerer<QFileDialog> user([](QFileDialog* chooser) { chooser->reject(); });
        enterOn("btnBrowse_1019");
        EXPECT_EQ(user.seen, 1);
    }
    EXPECT_TRUE(dialog.isVisible()); // none of them ran OK
    EXPECT_EQ(target.name[0], "shot");
    enterOn("btnCancel_2");
    EXPECT_EQ(dialog.result(), IDCANCEL);
    EXPECT_EQ(target.name[0], "shot");
    enterOn("editFilename_1020"); // no button has the focus: the default button, OK
    EXPECT_EQ(dialog.result(), IDOK);
    EXPECT_EQ(target.name[0], "typed");
}

TEST_F(OptionDlgTest, KindSwitchOffersToSaveChanges) {
    {
        BoxAnswerer boxes({IDOK, IDOK}); // yes, but the name is bad: not stored, yet switched
        NameField()->setText("bad|name");
        dialog.OnModeSwitch();
        EXPECT_EQ(boxes.texts, Messages({kSaveChanges, kBadFilename}));
        EXPECT_EQ(NameField()->text(), "mov");
        EXPECT_EQ(target.name[0], "shot");
        dialog.OnModeSwitch();
    }
    BoxAnswerer boxes({IDOK}); // answered yes: stored before the other kind is shown
    NameField()->setText("other");
    dialog.OnModeSwitch();
    EXPECT_EQ(target.name[0], "other");
    EXPECT_EQ(dialog.Kind(), CAMMODE_MOV);
}

} // namespace
