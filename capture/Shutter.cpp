// The still and movie branches of the shutter: find the next free file of the kind, create it,
// advance the serial number past it and hand the path to the controller.
#include "capture/Shutter.h"

#include "capture/CVController.h"
#include "output_files/DurableFile.h"
#include "output_files/ImgFileMgr.h"
#include "output_files/MediaKind.h"
#include "output_files/PathChecks.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>

namespace {

bool Occupied(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink(); // a dangling link is taken too
}

// The serial numbers that files named `name`, five digits and one of `suffixes` take in `folder`:
// one read of the folder, comparing names as bytes, without a look at each entry (so a dangling
// link counts too).
std::vector<bool> TakenSerialNumbers(const QString& folder, const QString& name,
                                     const QStringList& suffixes) {
    std::vector<bool> taken(kMaxSerialNumber + 1, false);
    const std::string prefix = QFile::encodeName(name).toStdString();
    std::vector<std::string> endings;
    for (const QString& suffix : suffixes)
        endings.push_back(QFile::encodeName(suffix).toStdString());
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return taken;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view file(entry->d_name);
        const bool named = std::any_of(endings.begin(), endings.end(), [&](const std::string& e) {
            return file.size() == prefix.size() + 5 + e.size() && file.ends_with(e);
        });
        if (!named || !file.starts_with(prefix))
            continue;
        int number = 0;
        for (const char c : file.substr(prefix.size(), 5))
            number = number >= 0 && std::isdigit(static_cast<unsigned char>(c))
                         ? number * 10 + (c - '0')
                         : -1;
        if (number >= 0 && number <= kMaxSerialNumber)
            taken[size_t(number)] = true;
    }
    ::closedir(dir);
    return taken;
}

// Whether a file of another type of the kind holds the number of `path` (its extension is the
// last of the path).
bool SiblingTaken(const CImgFileMgr& files, const QString& path) {
    const QString stem = path.left(path.size() - files.GetExtension().size());
    for (const QString& extension : files.GetExtensions()) {
        if (extension != files.GetExtension() && Occupied(stem + extension))
            return true;
    }
    return false;
}

} // namespace

// A fresh account may not have its Pictures or Videos folder yet: the default folder of the kind
// is made here, a folder the user chose never is.
QString ClaimNextFile(CImgFileMgr& files, int kind, const FileCreator& create) {
    CreateDefaultFolderIfMissing(files.GetFoldername(), kind);
    const QString expandedName = files.GetExpandedFilename(); // one name for the whole search
    std::vector<bool> taken; // filled at the first number found taken
    int serial = files.SerialNumber();
    for (int tried = 0; tried < kMaxSerialNumber; ++tried, serial = NextSerialNumber(serial)) {
        if (!taken.empty() && serial >= 0 && serial <= kMaxSerialNumber && taken[size_t(serial)])
            continue;
        const QString path = files.MakeFilePathFor(serial, expandedName);
        if (path.isEmpty())
            break;
        // The number counts across the kind's types: mov00007.mpg and mov00007.mp4 never both.
        const bool sibling = SiblingTaken(files, path);
        if (!sibling && create(path)) {
            files.SetSerialNumber(NextSerialNumber(serial));
            return path;
        }
        if (!sibling && !Occupied(path))
            break; // missing folder, no permission, a name the file system refuses
        if (taken.empty()) {
            QStringList suffixes;
            for (const QString& extension : files.GetExtensions())
                suffixes << QLatin1Char('.') + extension;
            taken = TakenSerialNumbers(QFileInfo(path).path(), expandedName, suffixes);
        }
    }
    return {};
}

bool TestCreateFile(const QString& path) {
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    file.close();
    return true;
}

// The picture is written beside its name first and takes the next free number only once it is
// whole on disk, so a still cut short (a crash, a power cut) leaves no empty numbered file.
int ShootStill(CImgFileMgr& stills, CCVController& controller, bool fullSize) {
    if (controller.DisplayImage().isNull())
        return IDS_NO_PICTURE_YET; // no file made, the number stays: there is nothing to save
    const auto store = [&stills](const QByteArray& picture) {
        CreateDefaultFolderIfMissing(stills.GetFoldername(), CAMMODE_PICT);
        CStagedFile staged(stills.GetFoldername(), picture.constData(), picture.size());
        const auto publish = [&staged](const QString& path) { return staged.PublishAs(path); };
        return staged.IsReady() && !ClaimNextFile(stills, CAMMODE_PICT, publish).isEmpty();
    };
    return controller.SaveStill(stills.GetExtension(), store, fullSize) ? 0 : IDS_CANNOT_SAVE_STILL;
}

int StartMovie(CImgFileMgr& movies, CCVController& controller, MovieClaim* claim) {
    if (controller.IsRecording())
        return 0; // the running recording goes on; nothing new is created
    const int serial = movies.SerialNumber();
    const QString path = ClaimNextFile(movies, CAMMODE_MOV);
    if (path.isEmpty())
        return IDS_CANNOT_SAVE_MOVIE;
    // The camera's own sound setting; an MPEG-1 movie ignores it.
    std::optional<QString> microphone;
    if (g_UserDefault.GetInt(kMovAudio.key, kMovAudio.intDefault) == 1)
        microphone = g_UserDefault.GetString(kMovAudioSource.key, kMovAudioSource.textDefault);
    controller.SetMicrophone(microphone);
    controller.RecordMovie(true, path, movies.GetFiletypeIndex());
    if (!controller.IsRecording()) {
        QFile::remove(path); // the worker could not start: nothing will fill the file
        movies.SetSerialNumber(serial);
        return IDS_CANNOT_SAVE_MOVIE;
    }
    if (claim)
        *claim = {path, serial, movies.SerialNumber()};
    return 0;
}

bool TakeBackEmptyMovie(CImgFileMgr& movies, const MovieClaim& claim) {
    const QFileInfo info(claim.path);
    if (claim.path.isEmpty() || (info.exists() && (!info.isFile() || info.size() > 0)))
        return false;
    QFile::remove(claim.path);
    if (movies.SerialNumber() == claim.serialAfter)
        movies.SetSerialNumber(claim.serialBefore);
    return true;
}
