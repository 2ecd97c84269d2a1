#include "settings/UserDefault.h"
#include "settings/AppProfile.h"
#include "settings/SettingsKeys.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <gtest/gtest.h>

#include <climits>

namespace {

class UserDefaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        testenv::ClearSettings();
        store.SetSection(QStringLiteral("UserDefault"));
        store.SetIndex(0);
    }
    CUserDefault store;
};

TEST_F(UserDefaultTest, SectionAndLockAreNamedAfterTheCamera) {
    store.SetIndex(2);
    EXPECT_EQ(store.SectionName(), QStringLiteral("UserDefault2"));
    EXPECT_EQ(store.LockName(), QStringLiteral("VistrelCV2"));
    store.WriteInt(QStringLiteral("PictNum"), 4);
    EXPECT_EQ(GetProfileInt(QStringLiteral("UserDefault2"), QStringLiteral("PictNum"), 0), 4);
    EXPECT_TRUE(testenv::SettingsFileText().contains(QLatin1String("[UserDefault2]")));
    EXPECT_TRUE(ProfileFilePath().endsWith(QLatin1String(".config/Quenbor/VistrelCV.conf")));
}

TEST_F(UserDefaultTest, ValuesBelongToOneCamera) {
    EXPECT_EQ(store.GetInt(QStringLiteral("PictNum"), 1), 1);
    EXPECT_TRUE(store.WriteInt(QStringLiteral("PictNum"), 7));
    EXPECT_EQ(store.GetInt(QStringLiteral("PictNum"), 1), 7);
    CUserDefault other;
    other.SetSection(QStringLiteral("UserDefault"));
    other.SetIndex(1);
    EXPECT_EQ(other.GetInt(QStringLiteral("PictNum"), 1), 1);
}

TEST_F(UserDefaultTest, IntegersRoundTripAsSigned32Bit) {
    for (int value : {0, -1, -5, 65535, INT_MIN, INT_MAX}) {
        store.WriteInt(QStringLiteral("Perform"), value);
        EXPECT_EQ(store.GetInt(QStringLiteral("Perform"), 330), value);
    }
    // A 32-bit word written from outside reads back signed, like a registry DWORD.
    QSettings(ProfileFilePath(), QSettings::IniFormat)
        .setValue(QStringLiteral("UserDefault0/Perform"), QStringLiteral("4294967295"));
    EXPECT_EQ(store.GetInt(QStringLiteral("Perform"), 330), -1);
}

TEST_F(UserDefaultTest, MissingOrMistypedValuesYieldTheDefault) {
    EXPECT_EQ(store.GetString(QStringLiteral("PictFilename"), QStringLiteral("pict")),
              QStringLiteral("pict"));
    EXPECT_EQ(store.GetString(QStringLiteral("PictFilename"), QString()), QString());
    store.WriteString(QStringLiteral("Perform"), QStringLiteral("fast"));
    EXPECT_EQ(store.GetInt(QStringLiteral("Perform"), 330), 330);
    store.WriteString(QStringLiteral("PictFilename"), QStringLiteral("写真 %Y, 100%%"));
    EXPECT_EQ(store.GetString(QStringLiteral("PictFilename"), QString()),
              QStringLiteral("写真 %Y, 100%%"));
}

TEST_F(UserDefaultTest, SharedSectionHoldsOnlySelCamAtLaunch) {
    EXPECT_EQ(GetProfileInt(kSharedSection, kSelCamAtLaunch.key, kSelCamAtLaunch.intDefault), 0);
    WriteProfileInt(kSharedSection, kSelCamAtLaunch.key, 1);
    EXPECT_EQ(GetProfileInt(kSharedSection, kSelCamAtLaunch.key, 0), 1);
    EXPECT_EQ(store.GetInt(kSelCamAtLaunch.key, 0), 0); // not in the per-camera section
}

TEST_F(UserDefaultTest, GarbageFileReadsAsDefaultsAndNextWriteRepairsIt) {
    QDir().mkpath(QFileInfo(ProfileFilePath()).path());
    QFile file(ProfileFilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.append(char((i * 7919) % 256));
    file.write("[UserDefault0]\nMovNum=5\n[UserDefault0\n=\n" + garbage);
    file.close();

    EXPECT_EQ(store.GetInt(QStringLiteral("PictNum"), 1), 1);
    EXPECT_EQ(store.GetString(QStringLiteral("PictFilename"), QStringLiteral("pict")),
              QStringLiteral("pict"));
    EXPECT_TRUE(store.WriteInt(QStringLiteral("PictNum"), 9));
    EXPECT_EQ(store.GetInt(QStringLiteral("PictNum"), 1), 9);
    EXPECT_EQ(store.GetInt(QStringLiteral("MovNum"), 1), 5); // the readable value survives
    EXPECT_TRUE(store.WriteInt(QStringLiteral("MovNum"), 3));
    EXPECT_EQ(store.GetInt(QStringLiteral("PictNum"), 1), 9);
    EXPECT_EQ(store.GetInt(QStringLiteral("MovNum"), 1), 3);
}

TEST_F(UserDefaultTest, AWriteIsOnDiskBeforeTheWriterDies) {
    QProcess helper;
    helper.start(QStringLiteral(SETTINGS_HELPER), {"crash", "3", "42"});
    ASSERT_TRUE(helper.waitForFinished(10000));
    EXPECT_EQ(helper.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(GetProfileInt(QStringLiteral("UserDefault3"), QStringLiteral("PictNum"), 1), 42);
}

TEST_F(UserDefaultTest, ConcurrentWritersOfDifferentCamerasLoseNothing) {
    constexpr int kCount = 1000;
    QProcess first, second;
    first.start(QStringLiteral(SETTINGS_HELPER), {"write", "0", QString::number(kCount)});
    second.start(QStringLiteral(SETTINGS_HELPER), {"write", "1", QString::number(kCount)});
    ASSERT_TRUE(first.waitForFinished(240000));
    ASSERT_TRUE(second.waitForFinished(240000));
    ASSERT_EQ(first.exitCode(), 0);
    ASSERT_EQ(second.exitCode(), 0);
    int missing = 0;
    for (int camera : {0, 1}) {
        const QString section = QStringLiteral("UserDefault%1").arg(camera);
        for (int i = 0; i < kCount; ++i) {
            if (GetProfileInt(section, QStringLiteral("Value%1").arg(i), -1) != i)
                ++missing;
        }
    }
    EXPECT_EQ(missing, 0);
}

} // namespace
