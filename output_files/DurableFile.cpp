// POSIX: fdatasync before rename, so a full disk or a failing device shows as a failed write.
#include "output_files/DurableFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

bool WriteFileDurably(const QString& path, const char* data, qint64 size) {
    // Six random characters; a name derived from `path` could exceed the file system's limit.
    QTemporaryFile file(QFileInfo(path).path() + QLatin1String("/.vcv-XXXXXX"));
    if (!file.open())
        return false;
    // The temporary file is private to its owner; the result gets what a new file would get, or
    // what the file it replaces had.
    const QFileDevice::Permissions kept = QFile::permissions(path);
    file.setPermissions(kept ? kept
                             : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                   QFileDevice::ReadGroup | QFileDevice::ReadOther);
    if (file.write(data, size) != size || !file.flush() || ::fdatasync(file.handle()) != 0)
        return false;
    if (std::rename(QFile::encodeName(file.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0)
        return false;
    file.setAutoRemove(false);
    return true;
}
