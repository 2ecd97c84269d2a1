// The save-settings dialog on the offscreen platform, against a fake capture target: its checks
// and messages, the kind switch, the serial reset and the folder chooser. Message boxes and the
// chooser are answered as a user would.
#include "dialogs/OptionDlg.h"
#include "dialogs/DialogTestUtils.h"
#include "dialogs/panel/PanelTestSupport.h"
#include "output_files/MediaKind.h"
#include "output_files/PathChecks.h"
#include "platform/StringTable.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

#include <memory>

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
        folder = testenv::NewFolder("option-dlg");
        Stored();
        dialog.SetView(&target);
    }
    // What the target holds for stills before the dialog changes anything.
    void Stored() {
        target.folder[0] = folder;
        target.name[0] = "shot";
        target.serial[0] = 42;
    }
    QLineEdit* FolderField() { return Child<QLineEdit>(dialog, "editFolder_1018"); }
    QLineEdit* NameField() { return Child<QLineEdit>(dialog, "editFilename_1020"); }
    QString Serial() { return Child<QLabel>(dialog, "staticSerial_1029")->text(); }
    QString Filetype() { return Child<QComboBox>(dialog, "comboFiletype_1021")->currentText(); }
    QString StoredName() const { return target.name[0]; }
    QString StoredFolder() const { return target.folder[0]; }

    QString folder;
    FakeCaptureTarget target;
    COptionDlg dialog;
};

TEST_F(OptionDlgTest, OpensOnTheKindOfTheCaptureMode) {
    // The folder shown is checked by the panel's settings button, the serial by the reset.
    EXPECT_EQ(dialog.Kind(), CAMMODE_PICT);
    EXPECT_EQ(NameField()->text(), "shot");
    EXPECT_EQ(dialog.ModeIconId(), 147);
    EXPECT_EQ(Filetype(), "JPEG(*.jpg)");
    target.mode = CAMMODE_MOV;
    COptionDlg movies;
    movies.SetView(&target);
    EXPECT_EQ(movies.Kind(), CAMMODE_MOV);
}

TEST_F(OptionDlgTest, ChecksTheBaseName) {
    // The rules themselves have their own table; here, that a bad name stops the save. A file
    // name has at most 255 bytes: 82 x "あ" + "00001.jpg" is 255 bytes, 83 x "あ" is 258.
    const std::pair<QString, bool> cases[] = {
        {"%Y%m%d_", true}, {"a:b", false}, {QString(82, u'あ'), true}, {QString(83, u'あ'), false}};
    for (const auto& [name, accepted] : cases) {
        SCOPED_TRACE(name.toStdString());
        Stored();
        target.folder[0] = "<none>";
        BoxAnswerer boxes;
        FolderField()->setText(folder);
        NameField()->setText(name);
        EXPECT_EQ(dialog.SaveSettings(), accepted);
        EXPECT_EQ(boxes.texts, accepted ? QStringList() : Messages({kBadFilename}));
        EXPECT_EQ(StoredName(), accepted ? name : "shot"); // nothing stored when bad
        EXPECT_EQ(StoredFolder(), accepted ? folder : "<none>");
        EXPECT_EQ(NameField()->text(), name); // the user's text stays for correction
    }
}

TEST_F(OptionDlgTest, RejectsAFolderThatIsMissingOrEndsInAFullStopOrSpace) {
    for (const QString& bad : QStringList{folder + '.', folder + "/missing"}) {
        SCOPED_TRACE(bad.toStdString());
        BoxAnswerer boxes;
        FolderField()->setText(bad);
        NameField()->setText("kept");
        EXPECT_FALSE(dialog.SaveSettings());
        EXPECT_EQ(boxes.texts, Messages({kNoFolder}));
        EXPECT_EQ(StoredName(), "kept"); // stored before the check
        EXPECT_EQ(StoredFolder(), folder);
    }
}

TEST_F(OptionDlgTest, OkClosesOnlyWhenStoredAndCancelStoresNothing) {
    dialog.show();
    EXPECT_EQ(dialog.focusWidget(), FolderField());
    BoxAnswerer boxes;
    NameField()->setText("a.b");
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(boxes.texts, Messages({kBadFilename}));
    NameField()->setText("changed");
    dialog.reject();
    EXPECT_EQ(dialog.result(), IDCANCEL);
    EXPECT_EQ(StoredName(), "shot");

    const QString other = testenv::NewFolder("option-dlg-ok");
    dialog.show();
    FolderField()->setText(other);
    dialog.accept();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), IDOK);
    EXPECT_EQ(StoredFolder(), other);
    EXPECT_EQ(boxes.texts.size(), 1); // Cancel and a good OK ask nothing
}

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
        BoxAnswerer boxes({IDCANCEL});
        enterOn("btnResetSerial_1022");
        EXPECT_EQ(boxes.texts, Messages({kResetSerial}));
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
    EXPECT_EQ(StoredName(), "shot");
    enterOn("btnCancel_2");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), IDCANCEL);
    EXPECT_EQ(StoredName(), "shot");
    enterOn("editFilename_1020"); // no button has the focus: the default button, OK
    EXPECT_EQ(dialog.result(), IDOK);
    EXPECT_EQ(StoredName(), "typed");
}

TEST_F(OptionDlgTest, SerialResetAsksThenRestoresTheFields) {
    FolderField()->setText("/typed/but/not/stored");
    {
        BoxAnswerer boxes({IDCANCEL});
        dialog.OnResetSerial();
        EXPECT_EQ(boxes.texts, Messages({kResetSerial}));
        EXPECT_EQ(Serial(), "00042");
        EXPECT_EQ(FolderField()->text(), "/typed/but/not/stored");
    }
    BoxAnswerer boxes({IDOK});
    dialog.OnResetSerial();
    EXPECT_EQ(Serial(), "00001");
    EXPECT_EQ(FolderField()->text(), folder);
}

TEST_F(OptionDlgTest, KindSwitchOffersToSaveChanges) {
    {
        BoxAnswerer boxes; // only the letter case changed: nothing asked, the change dropped
        NameField()->setText("SHOT");
        dialog.OnModeSwitch();
        EXPECT_TRUE(boxes.texts.isEmpty());
        EXPECT_EQ(dialog.Kind(), CAMMODE_MOV);
        EXPECT_EQ(dialog.ModeIconId(), 146);
        EXPECT_EQ(Filetype(), "MPEG-1(*.mpg)");
        dialog.OnModeSwitch();
        EXPECT_EQ(NameField()->text(), "shot");
    }
    {
        BoxAnswerer boxes({IDCANCEL}); // a real change, answered no: not stored
        NameField()->setText("other");
        dialog.OnModeSwitch();
        EXPECT_EQ(boxes.texts, Messages({kSaveChanges}));
        EXPECT_EQ(StoredName(), "shot");
        dialog.OnModeSwitch();
    }
    BoxAnswerer boxes({IDOK}); // answered yes: stored before the other kind is shown
    NameField()->setText("other");
    dialog.OnModeSwitch();
    EXPECT_EQ(StoredName(), "other");
    EXPECT_EQ(NameField()->text(), "mov");
}

TEST_F(OptionDlgTest, InvalidTextAndKindSwitchWithYesShowsTheOtherKind) {
    BoxAnswerer boxes({IDOK, IDOK});
    NameField()->setText("bad|name");
    dialog.OnModeSwitch();
    EXPECT_EQ(boxes.texts, Messages({kSaveChanges, kBadFilename}));
    EXPECT_EQ(dialog.Kind(), CAMMODE_MOV);
    EXPECT_EQ(NameField()->text(), "mov");
    EXPECT_EQ(StoredName(), "shot");
}

TEST_F(OptionDlgTest, BrowsePreselectsTheStoredFolder) {
    QString choice = testenv::NewFolder("option-dlg-chosen"), title, startFolder;
    ModalAnswerer<QFileDialog> user([&](QFileDialog* chooser) {
        title = chooser->windowTitle();
        startFolder = chooser->directory().absolutePath();
        if (choice.isEmpty())
            return chooser->reject();
        chooser->setDirectory(choice);
        static_cast<QDialog*>(chooser)->accept(); // what the chooser's own button does
    });
    FolderField()->setText("/typed");
    EXPECT_TRUE(dialog.BrowseFolder());
    EXPECT_EQ(title, "保存先フォルダの選択");
    EXPECT_EQ(startFolder, folder); // the stored folder, not the typed text
    EXPECT_EQ(FolderField()->text(), choice);
    EXPECT_EQ(StoredFolder(), folder); // only OK stores it
    const QString chosen = std::exchange(choice, QString());
    EXPECT_FALSE(dialog.BrowseFolder()); // cancelled
    EXPECT_EQ(FolderField()->text(), chosen);
    EXPECT_EQ(user.seen, 2);
}

} // namespace
