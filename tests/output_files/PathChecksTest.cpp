// The checks of typed base names and folders, and the default folders.
#include "output_files/PathChecks.h"
#include "output_files/MediaKind.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

TEST(PathChecksTest, NameAndFolderRules) {
    const QString dir = testenv::NewFolder("out");
    ASSERT_TRUE(testenv::WriteFile(dir + "/file.txt", "x"));
    const struct {
        bool (*check)(const QString&);
        QString text;
        bool valid;
    } cases[] = {
        {IsValidFilename, "", true},
        {IsValidFilename, "写真 %Y%m%d_", true},
        {IsValidFilename, QString(101, 'a'), true},
        {IsValidFilename, QString(102, 'a'), false},
        {IsValidFoldername, dir, true},
        {IsValidFoldername, dir + '/', true},
        {IsValidFoldername, dir + '.', false},
        {IsValidFoldername, dir + ' ', false},
        {IsValidFoldername, dir + "/file.txt", false},
        {IsValidFoldername, dir + "/missing", false},
        {IsValidFoldername, "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.check(c.text), c.valid) << c.text.toStdString();
    for (const QChar forbidden : QString("\\<>:\"/|?*."))
        EXPECT_FALSE(IsValidFilename(QString("a") + forbidden + "b")) << char(forbidden.unicode());
    // 255 bytes a name, counted in UTF-8 with the serial number and the extension.
    EXPECT_TRUE(FitsFileNameLimit(QString(82, u'あ'), "jpg"));
    EXPECT_FALSE(FitsFileNameLimit(QString(83, u'あ'), "jpg"));
}

TEST(PathChecksTest, DefaultFoldersFollowTheDesktop) {
    EXPECT_EQ(GetDefaultFolder(CAMMODE_MOV), testenv::Home() + "/Videos");
    EXPECT_EQ(GetDefaultFolder(7), testenv::Home() + "/Pictures");
    const QString dirs = testenv::Home() + "/.config/user-dirs.dirs";
    ASSERT_TRUE(testenv::WriteFile(dirs, "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"));
    EXPECT_EQ(GetDefaultPictFolder(), testenv::Home() + "/Bilder");
    QFile::remove(dirs);
}

} // namespace
