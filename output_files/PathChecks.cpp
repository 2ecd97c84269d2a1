#include "output_files/PathChecks.h"

#include "output_files/MediaKind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

constexpr int kMaxFilenameChars = 101;
constexpr qsizetype kMaxFileNameBytes = 255;

QString DefaultFolder(QStandardPaths::StandardLocation location) {
    QString folder = QStandardPaths::writableLocation(location);
    if (folder.isEmpty())
        folder = QDir::currentPath();
    return folder;
}

} // namespace

QString GetDefaultPictFolder() {
    return DefaultFolder(QStandardPaths::PicturesLocation);
}

QString GetDefaultMovFolder() {
    return DefaultFolder(QStandardPaths::MoviesLocation);
}

QString GetDefaultFolder(int kind) {
    return IsMovieKind(kind) ? GetDefaultMovFolder() : GetDefaultPictFolder();
}

bool IsValidFoldername(const QString& folder) {
    if (folder.endsWith(QLatin1Char(' ')) || folder.endsWith(QLatin1Char('.')))
        return false;
    return !folder.isEmpty() && QFileInfo(folder).isDir();
}

bool IsValidFilename(const QString& name) {
    if (name.size() > kMaxFilenameChars)
        return false;
    static const QString forbidden = QStringLiteral("\\<>:\"/|?*.");
    for (const QChar c : name) {
        if (forbidden.contains(c))
            return false;
    }
    return true;
}

bool FitsFileNameLimit(const QString& expandedName, const QString& extension) {
    const QString longest = expandedName + QLatin1String("00000.") + extension;
    return QFile::encodeName(longest).size() <= kMaxFileNameBytes;
}

void CreateDefaultFolderIfMissing(const QString& folder, int kind) {
    if (folder.isEmpty() || folder != GetDefaultFolder(kind) || QFileInfo::exists(folder))
        return;
    QDir().mkpath(folder);
}
