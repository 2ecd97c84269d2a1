// The save-settings dialog on the offscreen platform, against a real live view and the real
// settings file: its checks and messages, the kind switch, the serial reset and the folder
// chooser. Message boxes and the chooser are answered as a user would.
#include "dialogs/OptionDlg.h"
#include "dialogs/panel/PanelTestSupport.h"
#include "output_files/MediaKind.h"
#include "output_files/PathChecks.h"
#include "platform/StringTable.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int kIdsNoFolder = 32784;
constexpr int kIdsSaveChanges = 32785;
constexpr int kIdsResetSerial = 32787;
constexpr int kIdsBadFilename = 32794;

class OptionDlgTest : public testing::Test {
protected:
    void SetUp() override {
        ResetCameraSettings();
        folder = testenv::NewFolder(QStringLiteral("option-dlg"));
        g_UserDefault.WriteString(QLatin1String(kPictFoldername.key), folder);
        g_UserDefault.WriteString(QLatin1String(kPictFilename.key), QStringLiteral("shot"));
        g_UserDefault.WriteInt(QLatin1String(kPictNum.key), 42);
        view = std::make_unique<ProbeView>();
    }

    COptionDlg& Dialog() {
        if (!dialog) {
            dialog = std::make_unique<COptionDlg>();
            dialog->SetView(view.get());
        }
        return *dialog;
    }
    QLineEdit* FolderField() { return Dialog().findChild<QLineEdit*>("editFolder_1018"); }
    QLineEdit* NameField() { return Dialog().findChild<QLineEdit*>("editFilename_1020"); }
    QString Serial() { return Dialog().findChild<QLabel*>("staticSerial_1029")->text(); }
    QString Filetype() {
        return Dialog().findChild<QComboBox*>("comboFiletype_1021")->currentText();
    }
    QString Stored(const char* key) {
        return g_UserDefault.GetString(QLatin1String(key), QStringLiteral("<none>"));
    }

    QString folder;
    std::unique_ptr<ProbeView> view;
    std::unique_ptr<COptionDlg> dialog;
};

TEST_F(OptionDlgTest, OpensOnTheKindOfTheCaptureMode) {
    EXPECT_EQ(Dialog().Kind(), CAMMODE_PICT);
    EXPECT_EQ(Dialog().ModeIconId(), 147);
    EXPECT_EQ(FolderField()->text(), folder);
    EXPECT_EQ(NameField()->text(), QStringLiteral("shot"));
    EXPECT_EQ(Serial(), QStringLiteral("00042"));
    EXPECT_EQ(Filetype(), QStringLiteral("JPEG(*.jpg)"));

    view->SetCamMode(CAMMODE_MOV);
    COptionDlg movies;
    movies.SetView(view.get());
    EXPECT_EQ(movies.Kind(), CAMMODE_MOV);
    EXPECT_EQ(movies.ModeIconId(), 146);
    EXPECT_EQ(movies.findChild<QComboBox*>("comboFiletype_1021")->currentText(),
              QStringLiteral("MPEG-1(*.mpg)"));
    EXPECT_EQ(movies.findChild<QLineEdit*>("editFilename_1020")->text(), QStringLiteral("mov"));
}

TEST_F(OptionDlgTest, ChecksTheBaseName) {
    struct Case {
        QString name;
        bool accepted;
    };
    const Case cases[] = {
        {QString(101, QLatin1Char('a')), true}, {QString(102, QLatin1Char('a')), false},
        {QStringLiteral("photo.jpg"), false},   {QStringLiteral("a:b"), false},
        {QStringLiteral("%Y%m%d_"), true}, // time fields pass unexpanded
        {QStringLiteral("with space"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        ResetCameraSettings();
        BoxAnswerer boxes;
        NameField()->setText(c.name);
        EXPECT_EQ(Dialog().SaveSettings(), c.accepted);
        if (c.accepted) {
            EXPECT_TRUE(boxes.texts.isEmpty());
            EXPECT_EQ(Stored(kPictFilename.key), c.name);
            EXPECT_EQ(Stored(kPictFoldername.key), folder);
        } else {
            EXPECT_EQ(boxes.texts, QStringList{LoadTableString(kIdsBadFilename)});
            EXPECT_EQ(Stored(kPictFilename.key), QStringLiteral("<none>")); // nothing stored
            EXPECT_EQ(Stored(kPictFoldername.key), QStringLiteral("<none>"));
            EXPECT_EQ(NameField()->text(), c.name); // the user's text stays for correction
        }
    }
}

TEST_F(OptionDlgTest, EmptyFieldsStoreTheDefaults) {
    FolderField()->clear();
    NameField()->clear();
    EXPECT_TRUE(Dialog().SaveSettings());
    EXPECT_EQ(Stored(kPictFilename.key), QStringLiteral("pict"));
    EXPECT_EQ(Stored(kPictFoldername.key), GetDefaultPictFolder());
    EXPECT_EQ(view->GetFilename(CAMMODE_PICT), QStringLiteral("pict"));
}

TEST_F(OptionDlgTest, RejectsAFolderThatIsMissingOrEndsInAFullStopOrSpace) {
    const QStringList rejected{folder + QLatin1Char('.'), folder + QLatin1Char(' '),
                               folder + QLatin1String("/missing")};
    for (const QString& bad : rejected) {
        SCOPED_TRACE(bad.toStdString());
        BoxAnswerer boxes;
        FolderField()->setText(bad);
        NameField()->setText(QStringLiteral("kept"));
        EXPECT_FALSE(Dialog().SaveSettings());
        EXPECT_EQ(boxes.texts, QStringList{LoadTableString(kIdsNoFolder)});
        EXPECT_EQ(Stored(kPictFilename.key), QStringLiteral("kept")); // stored before the check
        EXPECT_EQ(Stored(kPictFoldername.key), folder);
    }
}

TEST_F(OptionDlgTest, OkClosesOnlyWhenStored) {
    Dialog().show();
    EXPECT_EQ(Dialog().focusWidget(), FolderField());
    BoxAnswerer boxes;
    NameField()->setText(QStringLiteral("a.b"));
    Dialog().accept();
    EXPECT_TRUE(Dialog().isVisible());
    const QString other = testenv::NewFolder(QStringLiteral("option-dlg-ok"));
    NameField()->setText(QStringLiteral("b"));
    FolderField()->setText(other);
    Dialog().accept();
    EXPECT_FALSE(Dialog().isVisible());
    EXPECT_EQ(Dialog().result(), IDOK);
    EXPECT_EQ(Stored(kPictFoldername.key), other);
    EXPECT_EQ(boxes.texts.size(), 1);
}

TEST_F(OptionDlgTest, CancelStoresNothingAndAsksNothing) {
    Dialog().show();
    BoxAnswerer boxes;
    NameField()->setText(QStringLiteral("changed"));
    Dialog().reject();
    EXPECT_EQ(Dialog().result(), IDCANCEL);
    EXPECT_EQ(Stored(kPictFilename.key), QStringLiteral("shot"));
    EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(OptionDlgTest, SerialResetAsksThenRestoresTheFields) {
    FolderField()->setText(QStringLiteral("/typed/but/not/stored"));
    {
        BoxAnswerer boxes({IDCANCEL});
        Dialog().OnResetSerial();
        EXPECT_EQ(boxes.texts, QStringList{LoadTableString(kIdsResetSerial)});
        EXPECT_EQ(Serial(), QStringLiteral("00042"));
        EXPECT_EQ(FolderField()->text(), QStringLiteral("/typed/but/not/stored"));
    }
    BoxAnswerer boxes({IDOK});
    Dialog().OnResetSerial();
    EXPECT_EQ(Serial(), QStringLiteral("00001"));
    EXPECT_EQ(g_UserDefault.GetInt(QLatin1String(kPictNum.key), -1), 1);
    EXPECT_EQ(FolderField()->text(), folder);
}

TEST_F(OptionDlgTest, KindSwitchOffersToSaveChanges) {
    // Only the letter case changed: nothing is asked, and the change is dropped.
    {
        BoxAnswerer boxes;
        NameField()->setText(QStringLiteral("SHOT"));
        Dialog().OnModeSwitch();
        EXPECT_TRUE(boxes.texts.isEmpty());
        EXPECT_EQ(Dialog().Kind(), CAMMODE_MOV);
        EXPECT_EQ(Dialog().ModeIconId(), 146);
        EXPECT_EQ(Filetype(), QStringLiteral("MPEG-1(*.mpg)"));
        Dialog().OnModeSwitch();
        EXPECT_EQ(NameField()->text(), QStringLiteral("shot"));
    }
    // A real change, answered no: not stored.
    {
        BoxAnswerer boxes({IDCANCEL});
        NameField()->setText(QStringLiteral("other"));
        Dialog().OnModeSwitch();
        EXPECT_EQ(boxes.texts, QStringList{LoadTableString(kIdsSaveChanges)});
        EXPECT_EQ(Stored(kPictFilename.key), QStringLiteral("shot"));
        Dialog().OnModeSwitch();
    }
    // Answered yes: stored before the other kind is shown.
    {
        BoxAnswerer boxes({IDOK});
        NameField()->setText(QStringLiteral("other"));
        Dialog().OnModeSwitch();
        EXPECT_EQ(Stored(kPictFilename.key), QStringLiteral("other"));
        EXPECT_EQ(NameField()->text(), QStringLiteral("mov"));
    }
}

TEST_F(OptionDlgTest, InvalidTextAndKindSwitchWithYesShowsTheOtherKind) {
    BoxAnswerer boxes({IDOK, IDOK});
    NameField()->setText(QStringLiteral("bad|name"));
    Dialog().OnModeSwitch();
    EXPECT_EQ(boxes.texts,
              (QStringList{LoadTableString(kIdsSaveChanges), LoadTableString(kIdsBadFilename)}));
    EXPECT_EQ(Dialog().Kind(), CAMMODE_MOV);
    EXPECT_EQ(NameField()->text(), QStringLiteral("mov"));
    EXPECT_EQ(Stored(kPictFilename.key), QStringLiteral("shot"));
}

TEST_F(OptionDlgTest, BrowsePreselectsTheStoredFolder) {
    const QString chosen = testenv::NewFolder(QStringLiteral("option-dlg-chosen"));
    FolderField()->setText(QStringLiteral("/typed"));
    {
        FolderChooserAnswerer chooser(chosen);
        EXPECT_TRUE(Dialog().BrowseFolder());
        EXPECT_TRUE(chooser.seen);
        EXPECT_EQ(chooser.title, QStringLiteral("保存先フォルダの選択"));
        EXPECT_EQ(chooser.startFolder, folder); // the stored folder, not the typed text
    }
    EXPECT_EQ(FolderField()->text(), chosen);
    EXPECT_EQ(Stored(kPictFoldername.key), folder); // only OK stores it

    FolderChooserAnswerer cancel{QString()};
    EXPECT_FALSE(Dialog().BrowseFolder());
    EXPECT_EQ(FolderField()->text(), chosen);
}

TEST_F(OptionDlgTest, WithoutAViewKeepsTheTemplate) {
    COptionDlg bare;
    bare.SetView(nullptr);
    EXPECT_TRUE(bare.findChild<QLineEdit*>("editFolder_1018")->text().isEmpty());
    EXPECT_FALSE(bare.SaveSettings());
    EXPECT_FALSE(bare.IsModified());
}

} // namespace
