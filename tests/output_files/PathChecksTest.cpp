#include "output_files/PathChecks.h"
#include "output_files/MediaKind.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

TEST(PathChecksTest, FilenameRules) {
    struct Case {
        QString name;
        bool valid;
    };
    const Case cases[] = {
        {QStringLiteral("pict"), true},          {QString(), true},
        {QStringLiteral("my pict"), true},       {QStringLiteral("%Y%m%d_"), true},
        {QStringLiteral("写真"), true},          {QString(101, QLatin1Char('a')), true},
        {QString(102, QLatin1Char('a')), false}, {QStringLiteral("pict.jpg"), false},
        {QStringLiteral(".hidden"), false},      {QStringLiteral("a\\b"), false},
        {QStringLiteral("a<b"), false},          {QStringLiteral("a>b"), false},
        {QStringLiteral("a:b"), false},          {QStringLiteral("a\"b"), false},
        {QStringLiteral("a/b"), false},          {QStringLiteral("a|b"), false},
        {QStringLiteral("a?b"), false},          {QStringLiteral("a*b"), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsValidFilename(c.name), c.valid) << c.name.toStdString();
}

TEST(PathChecksTest, FolderRules) {
    const QString dir = testenv::NewFolder(QStringLiteral("out"));
    QFile file(dir + QLatin1String("/file.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    EXPECT_TRUE(IsValidFoldername(dir));
    EXPECT_TRUE(IsValidFoldername(dir + QLatin1Char('/')));
    EXPECT_FALSE(IsValidFoldername(dir + QLatin1Char('.')));
    EXPECT_FALSE(IsValidFoldername(dir + QLatin1Char(' ')));
    EXPECT_FALSE(IsValidFoldername(dir + QLatin1String("/file.txt")));
    EXPECT_FALSE(IsValidFoldername(dir + QLatin1String("/missing")));
    EXPECT_FALSE(IsValidFoldername(QString()));
}

TEST(PathChecksTest, DefaultFoldersFollowTheDesktopAndAreCreatedOnlyWhenDefault) {
    EXPECT_EQ(GetDefaultPictFolder(), testenv::Home() + QLatin1String("/Pictures"));
    EXPECT_EQ(GetDefaultMovFolder(), testenv::Home() + QLatin1String("/Videos"));
    EXPECT_EQ(GetDefaultFolder(CAMMODE_MOV), GetDefaultMovFolder());
    EXPECT_EQ(GetDefaultFolder(7), GetDefaultPictFolder());

    // A folder named by the desktop's user-dirs file is followed.
    const QString custom = testenv::Home() + QLatin1String("/Bilder");
    QFile dirs(testenv::Home() + QLatin1String("/.config/user-dirs.dirs"));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    dirs.close();
    EXPECT_EQ(GetDefaultPictFolder(), custom);

    QDir(custom).removeRecursively();
    CreateDefaultFolderIfMissing(custom, CAMMODE_PICT);
    EXPECT_TRUE(QFileInfo(custom).isDir());

    const QString chosen = testenv::Home() + QLatin1String("/chosen-by-user");
    CreateDefaultFolderIfMissing(chosen, CAMMODE_PICT);
    EXPECT_FALSE(QFileInfo::exists(chosen));
    QFile::remove(dirs.fileName());
}

} // namespace
