// flock() on the folder, so no extra file is left behind.
#include "settings/ProfileFileGuard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file's modification time in milliseconds, the precision QSettings compares, or -1.
int64_t ModifiedMs(const QByteArray& path) {
    struct stat info {};
    if (::stat(path.constData(), &info) != 0)
        return -1;
    return int64_t(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
}

} // namespace

CProfileFileGuard::CProfileFileGuard(const QString& filePath, Access access)
    : m_filePath(filePath), m_access(access) {
    const QString folder = QFileInfo(filePath).path();
    const QByteArray nativeFolder = QFile::encodeName(folder);
    const auto openFolder = [&] {
        return ::open(nativeFolder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    };
    m_fd = openFolder();
    if (m_fd < 0 && errno == ENOENT && QDir().mkpath(folder)) // the first access of all
        m_fd = openFolder();
    if (m_fd < 0)
        return;
    const int operation = access == Access::Write ? LOCK_EX : LOCK_SH;
    while (::flock(m_fd, operation) != 0 && errno == EINTR) {
    }
    if (access == Access::Write)
        m_previousMs = ModifiedMs(QFile::encodeName(filePath));
}

CProfileFileGuard::~CProfileFileGuard() {
    if (m_access == Access::Write)
        KeepVersionsApart();
    if (m_fd >= 0)
        ::close(m_fd); // closing the descriptor drops the lock
}

void CProfileFileGuard::KeepVersionsApart() const {
    const QByteArray path = QFile::encodeName(m_filePath);
    const int64_t writtenMs = ModifiedMs(path);
    if (m_previousMs < 0 || writtenMs < 0 || writtenMs > m_previousMs)
        return;
    const int64_t laterMs = m_previousMs + 1;
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {time_t(laterMs / 1000), long(laterMs % 1000) * 1000000}};
    ::utimensat(AT_FDCWD, path.constData(), times, 0);
}
