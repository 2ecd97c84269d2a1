// The per-camera instance lock across real processes, and a write that survives SIGKILL.
#include "settings/InstanceLock.h"
#include "settings/AppProfile.h"
#include "support/TestEnvironment.h"

#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

// Starts a helper that takes camera `index`'s lock; returns what it printed.
QString StartLockHolder(QProcess& helper, int index) {
    helper.start(QStringLiteral(SETTINGS_HELPER), {"lock", QString::number(index)});
    return helper.waitForReadyRead(10000) ? QString::fromUtf8(helper.readLine()).trimmed()
                                          : "no answer";
}

TEST(InstanceLockTest, OneProcessPerCameraIndexUntilKilled) {
    testenv::ClearSettings();
    QProcess holder, second, otherCamera;
    ASSERT_EQ(StartLockHolder(holder, 0), "locked");
    EXPECT_EQ(StartLockHolder(second, 0), "refused");
    EXPECT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_EQ(StartLockHolder(otherCamera, 1), "locked");

    CInstanceLock lock;
    EXPECT_FALSE(lock.TryAcquire("VistrelCV0"));
    holder.kill(); // SIGKILL: no chance to clean up or to save anything late
    holder.waitForFinished(10000);
    EXPECT_TRUE(lock.TryAcquire("VistrelCV0"));
    EXPECT_EQ(GetProfileInt("UserDefault0", "PictNum", 1), 42); // written before it died
    otherCamera.kill();
    otherCamera.waitForFinished(10000);
}

TEST(InstanceLockTest, PrivateFileAndReleaseWithinOneProcess) {
    CInstanceLock first, second;
    ASSERT_TRUE(first.TryAcquire("VistrelCV6"));
    const QFileInfo file(CInstanceLock::LockFolder() + "/VistrelCV6.lock");
    ASSERT_TRUE(file.exists());
    EXPECT_FALSE(file.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                       QFile::ReadOther | QFile::WriteOther | QFile::ExeOther));
    EXPECT_FALSE(second.TryAcquire("VistrelCV6"));
    first.Release();
    EXPECT_TRUE(second.TryAcquire("VistrelCV6"));
    EXPECT_TRUE(second.TryAcquire("VistrelCV7")); // taking another name drops the first lock
    EXPECT_TRUE(first.TryAcquire("VistrelCV6"));
}

} // namespace
