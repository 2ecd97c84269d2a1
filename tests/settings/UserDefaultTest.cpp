// The settings store: value types, a damaged file or one that is no file, concurrent writers.
#include "settings/UserDefault.h"
#include "settings/AppProfile.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class UserDefaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        testenv::ClearSettings();
        store.SetSection("UserDefault");
        store.SetIndex(0);
    }
    CUserDefault store;
};

// (The concurrent writers below show that each camera has its own section.)
TEST_F(UserDefaultTest, ValuesKeepTheirType) {
    // A 32-bit word written from outside reads back signed, like a registry DWORD.
    QSettings(ProfileFilePath(), QSettings::IniFormat)
        .setValue("UserDefault0/Perform", "4294967295");
    EXPECT_EQ(store.GetInt("Perform", 330), -1);
    store.WriteString("Perform", "fast");
    EXPECT_EQ(store.GetInt("Perform", 330), 330);
    store.WriteString("PictFilename", "写真 %Y, 100%%");
    EXPECT_EQ(store.GetString("PictFilename", QString()), "写真 %Y, 100%%");
}

TEST_F(UserDefaultTest, GarbageFileReadsAsDefaultsAndNextWriteRepairsIt) {
    QByteArray garbage("[UserDefault0]\nMovNum=5\n[UserDefault0\n=\n");
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 7919) % 256));
    QDir().mkpath(QFileInfo(ProfileFilePath()).path());
    ASSERT_TRUE(testenv::WriteFile(ProfileFilePath(), garbage));

    EXPECT_EQ(store.GetInt("PictNum", 1), 1);
    EXPECT_EQ(store.GetString("PictFilename", "pict"), "pict");
    EXPECT_TRUE(store.WriteInt("PictNum", 9));
    EXPECT_EQ(store.GetInt("PictNum", 1), 9);
    EXPECT_EQ(store.GetInt("MovNum", 1), 5); // the readable value survives
}

// A named pipe would hang the first read; a link would be replaced by a file, or followed into
// the pipe it points to.
TEST_F(UserDefaultTest, AProfileThatIsNoRegularFileIsNeitherReadNorWritten) {
    const QByteArray path = QFile::encodeName(ProfileFilePath());
    QDir().mkpath(QFileInfo(ProfileFilePath()).path());
    const QByteArray target = QFile::encodeName(testenv::Home() + "/target");
    ASSERT_EQ(::mkfifo(target.constData(), 0666), 0);
    for (const mode_t type : {S_IFIFO, S_IFLNK}) {
        SCOPED_TRACE(type);
        ASSERT_EQ(type == S_IFIFO ? ::mkfifo(path.constData(), 0666)
                                  : ::symlink(target.constData(), path.constData()),
                  0);
        EXPECT_EQ(store.GetInt("PictNum", 7), 7);
        EXPECT_EQ(GetProfileString("UserDefault", "PictFilename", "d"), "d");
        EXPECT_FALSE(store.WriteInt("PictNum", 8));
        struct stat info {};
        ASSERT_EQ(::lstat(path.constData(), &info), 0); // still what it was
        EXPECT_EQ(info.st_mode & S_IFMT, type);
        ASSERT_EQ(::remove(path.constData()), 0);
    }
    EXPECT_TRUE(store.WriteInt("PictNum", 8)); // a regular file again: back to normal
    EXPECT_EQ(store.GetInt("PictNum", 7), 8);
    ::remove(target.constData());
}

// Starts a settings helper on cameras 0 and 1 at once; each must keep every value it wrote.
void RunTwoHelpersAtOnce(const char* mode, int count) {
    QProcess helpers[2];
    for (int camera : {0, 1}) {
        helpers[camera].setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helpers[camera].start(SETTINGS_HELPER,
                              {mode, QString::number(camera), QString::number(count)});
    }
    for (auto& helper : helpers) {
        ASSERT_TRUE(helper.waitForFinished(240000));
        EXPECT_EQ(helper.exitCode(), 0) << mode << " helper lost a value it had written";
    }
}

TEST_F(UserDefaultTest, ConcurrentWritersOfDifferentCamerasLoseNothing) {
    constexpr int kCount = 1000;
    RunTwoHelpersAtOnce("write", kCount);
    int missing = 0;
    for (int camera : {0, 1})
        for (int i = 0; i < kCount; ++i)
            missing += GetProfileInt(QString("UserDefault%1").arg(camera),
                                     QString("Value%1").arg(i), -1) != i;
    EXPECT_EQ(missing, 0);
}

// Every version of the file has the same size here, so only the modification time tells one
// version from the next, even when two are written within the same clock tick.
TEST_F(UserDefaultTest, ConcurrentSameSizeRewritesKeepEachCamerasLatestValue) {
    RunTwoHelpersAtOnce("digit", 1500);
    EXPECT_EQ(GetProfileInt("UserDefault0", "Digit", -1), 9);
    EXPECT_EQ(GetProfileInt("UserDefault1", "Digit", -1), 9);
}

} // namespace
