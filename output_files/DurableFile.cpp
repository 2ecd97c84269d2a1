// POSIX: fdatasync before the file gets its name, and a sync of the folder after, so a full disk
// or a failing device shows as a failed write and a saved file keeps its name after a power cut.
#include "output_files/DurableFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The process's file-creation mask, read without changing it (umask() would, for a moment, for
// every thread); the common 022 where the system does not tell.
mode_t CreationMask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            bool ok = false;
            const uint mask = line.startsWith("Umask:") ? line.mid(6).trimmed().toUInt(&ok, 8) : 0;
            if (ok)
                return mode_t(mask);
        }
    }
    return 022;
}

bool SyncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace

CStagedFile::CStagedFile(const QString& folder, const char* data, qint64 size)
    // Six random characters; a name derived from the final one could exceed the file system's
    // limit.
    : m_file(std::make_unique<QTemporaryFile>(folder + QLatin1String("/.vcv-XXXXXX"))) {
    if (!m_file->open())
        return;
    // Written while private to its owner (as QTemporaryFile makes it), then given what a new
    // file would get, where the file system keeps permissions at all.
    m_ready =
        m_file->write(data, size) == size && m_file->flush() && ::fdatasync(m_file->handle()) == 0;
    if (m_ready)
        ::fchmod(m_file->handle(), 0666 & ~CreationMask());
}

CStagedFile::~CStagedFile() = default;

bool CStagedFile::PublishAs(const QString& path) {
    if (!m_ready)
        return false;
    const QByteArray from = QFile::encodeName(m_file->fileName());
    const QByteArray to = QFile::encodeName(path);
    // Moved to its name only if nothing is there; a file system that cannot rename that way
    // takes a second name by a link, which fails the same way, and the first one goes.
    bool named =
        ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0;
    if (!named && (errno == EINVAL || errno == ENOSYS)) {
        named = ::link(from.constData(), to.constData()) == 0;
        if (named)
            ::unlink(from.constData());
    }
    if (!named)
        return false;
    m_file->setAutoRemove(false);
    m_ready = false;
    // The name is there; a folder that cannot be synced does not undo it.
    SyncFolder(QFileInfo(path).path());
    return true;
}
