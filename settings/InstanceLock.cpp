// POSIX: an exclusive flock() on "<name>.lock" in the user's runtime folder. The lock belongs to
// the open file description, so the kernel drops it when the process dies. Windows: a named
// mutex, which the system abandons (and so frees) when its owner ends.
#include "settings/InstanceLock.h"

#include <QDir>
#include <QStandardPaths>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

CInstanceLock::~CInstanceLock() {
    Release();
}

QString CInstanceLock::LockFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder;
}

#ifdef _WIN32

bool CInstanceLock::TryAcquire(const QString& name) {
    Release();
    m_hMutex = CreateMutexW(nullptr, FALSE, reinterpret_cast<LPCWSTR>(name.utf16()));
    m_bHeld = m_hMutex && WaitForSingleObject(m_hMutex, 0) == WAIT_OBJECT_0;
    return m_bHeld;
}

void CInstanceLock::Release() {
    if (m_hMutex) {
        if (m_bHeld)
            ReleaseMutex(m_hMutex);
        CloseHandle(m_hMutex);
    }
    m_hMutex = nullptr;
    m_bHeld = false;
}

#else

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

#endif
