// An exclusive flock() on "<name>.lock" in the user's runtime folder. The lock belongs to the open
// file description, so the kernel drops it when the process dies.
#include "settings/InstanceLock.h"

#include <QDir>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

CInstanceLock::~CInstanceLock() {
    Release();
}

QString CInstanceLock::LockFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder;
}

bool CInstanceLock::TryAcquire(const QString& name) {
    Release();
    const QString folder = LockFolder();
    QDir().mkpath(folder);
    const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + name + ".lock");
    // The descriptor stays open whether or not the lock was taken, like a mutex handle.
    m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (m_fd < 0)
        return false;
    m_bHeld = ::flock(m_fd, LOCK_EX | LOCK_NB) == 0;
    return m_bHeld;
}

void CInstanceLock::Release() {
    if (m_fd >= 0)
        ::close(m_fd); // closing the descriptor drops the lock
    m_fd = -1;
    m_bHeld = false;
}
