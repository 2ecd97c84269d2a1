// The per-camera instance lock across real processes, its private file, and a write that
// survives SIGKILL.
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
    EXPECT_EQ(StartLockHolder(otherCamera, 1), "locked");
    // Only its owner may open the lock file (another user could hold it and lock us out).
    const QFileInfo file(CInstanceLock::LockFolder() + "/VistrelCV0.lock");
    ASSERT_TRUE(file.exists());
    EXPECT_FALSE(file.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                       QFile::ReadOther | QFile::WriteOther | QFile::ExeOther));

    CInstanceLock lock;
    EXPECT_FALSE(lock.TryAcquire("VistrelCV0"));
    holder.kill(); // SIGKILL: no chance to clean up or to save anything late
    holder.waitForFinished(10000);
    EXPECT_TRUE(lock.TryAcquire("VistrelCV0"));
    EXPECT_EQ(GetProfileInt("UserDefault0", "PictNum", 1), 42); // written before it died
    EXPECT_TRUE(lock.TryAcquire("VistrelCV7")); // taking another name drops the first lock
    EXPECT_TRUE(CInstanceLock().TryAcquire("VistrelCV0"));
    // The other camera's holder is killed as its QProcess goes.
}

} // namespace
