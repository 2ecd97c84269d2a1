// The checks of typed base names and folders, and the default folders.
#include "output_files/PathChecks.h"
#include "output_files/MediaKind.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

TEST(PathChecksTest, FilenameAndFolderRules) {
    const QString valid[] = {"pict", "", "my pict", "%Y%m%d_", "写真", QString(101, 'a')};
    const QString invalid[] = {QString(102, 'a'),
                               "pict.jpg",
                               ".hidden",
                               "a\\b",
                               "a<b",
                               "a>b",
                               "a:b",
                               "a\"b",
                               "a/b",
                               "a|b",
                               "a?b",
                               "a*b"};
    for (const QString& name : valid)
        EXPECT_TRUE(IsValidFilename(name)) << name.toStdString();
    for (const QString& name : invalid)
        EXPECT_FALSE(IsValidFilename(name)) << name.toStdString();

    const QString dir = testenv::NewFolder("out");
    ASSERT_TRUE(testenv::WriteFile(dir + "/file.txt", "x"));
    EXPECT_TRUE(IsValidFoldername(dir));
    EXPECT_TRUE(IsValidFoldername(dir + '/'));
    for (const QString& folder :
         QStringList{dir + '.', dir + ' ', dir + "/file.txt", dir + "/missing", QString()})
        EXPECT_FALSE(IsValidFoldername(folder)) << folder.toStdString();
}

TEST(PathChecksTest, DefaultFoldersFollowTheDesktop) {
    EXPECT_EQ(GetDefaultPictFolder(), testenv::Home() + "/Pictures");
    EXPECT_EQ(GetDefaultFolder(CAMMODE_MOV), testenv::Home() + "/Videos");
    EXPECT_EQ(GetDefaultFolder(7), GetDefaultPictFolder());

    // A folder named by the desktop's user-dirs file is followed.
    const QString dirs = testenv::Home() + "/.config/user-dirs.dirs";
    ASSERT_TRUE(testenv::WriteFile(dirs, "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"));
    const QString custom = testenv::Home() + "/Bilder";
    EXPECT_EQ(GetDefaultPictFolder(), custom);
    QFile::remove(dirs);
}

} // namespace
