#include "settings/InstanceLock.h"
#include "settings/UserDefault.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

// Starts a helper that takes camera `index`'s lock; returns what it printed.
QString StartLockHolder(QProcess& helper, int index) {
    helper.start(QStringLiteral(SETTINGS_HELPER), {"lock", QString::number(index)});
    if (!helper.waitForReadyRead(10000))
        return QStringLiteral("no answer");
    return QString::fromUtf8(helper.readLine()).trimmed();
}

void Kill(QProcess& helper) {
    helper.kill(); // SIGKILL: no chance to clean up
    helper.waitForFinished(10000);
}

TEST(InstanceLockTest, OneProcessPerCameraIndex) {
    QProcess holder;
    ASSERT_EQ(StartLockHolder(holder, 0), QStringLiteral("locked"));

    QProcess second;
    EXPECT_EQ(StartLockHolder(second, 0), QStringLiteral("refused"));
    second.waitForFinished(10000);
    EXPECT_EQ(second.exitCode(), 1);

    QProcess otherCamera;
    EXPECT_EQ(StartLockHolder(otherCamera, 1), QStringLiteral("locked"));

    CUserDefault store;
    store.SetSection(QStringLiteral("UserDefault"));
    store.SetIndex(0);
    EXPECT_FALSE(store.LockInstance());
    store.SetIndex(2);
    EXPECT_TRUE(store.LockInstance());

    Kill(holder);
    Kill(otherCamera);
}

TEST(InstanceLockTest, KilledHolderFreesTheLock) {
    QProcess holder;
    ASSERT_EQ(StartLockHolder(holder, 3), QStringLiteral("locked"));
    CInstanceLock lock;
    EXPECT_FALSE(lock.TryAcquire(QStringLiteral("VistrelCV3")));
    Kill(holder);
    EXPECT_TRUE(lock.TryAcquire(QStringLiteral("VistrelCV3")));
}

TEST(InstanceLockTest, LockFileIsPrivateToTheUser) {
    CInstanceLock lock;
    ASSERT_TRUE(lock.TryAcquire(QStringLiteral("VistrelCV5")));
    const QString path = CInstanceLock::LockFolder() + QLatin1String("/VistrelCV5.lock");
    ASSERT_TRUE(QFile::exists(path));
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    EXPECT_FALSE(QFile::permissions(path) & others);
}

TEST(InstanceLockTest, ReleaseAndRetakeWithinOneProcess) {
    CInstanceLock first, second;
    ASSERT_TRUE(first.TryAcquire(QStringLiteral("VistrelCV6")));
    EXPECT_FALSE(second.TryAcquire(QStringLiteral("VistrelCV6")));
    first.Release();
    EXPECT_TRUE(second.TryAcquire(QStringLiteral("VistrelCV6")));
    // Taking another name drops the first lock.
    EXPECT_TRUE(second.TryAcquire(QStringLiteral("VistrelCV7")));
    EXPECT_TRUE(first.TryAcquire(QStringLiteral("VistrelCV6")));
}

} // namespace
