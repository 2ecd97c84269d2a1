// The still and movie branches of the shutter: find the next free file of the kind, create it,
// advance the serial number past it and hand the path to the controller.
#include "capture/Shutter.h"

#include "capture/CVController.h"
#include "output_files/ImgFileMgr.h"
#include "output_files/MediaKind.h"
#include "output_files/PathChecks.h"

#include <QFile>
#include <QFileInfo>

namespace {

bool Occupied(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink(); // a dangling link is taken too
}

// Creates the next free numbered file of `files` and returns its path; the stored serial number
// then names the file after it. Files that already exist are stepped over, never touched. Empty
// text when the folder refuses the file or every number is taken; the serial number is then
// where it was. A fresh account may not have its Pictures or Videos folder yet: the default
// folder of the kind is made here, a folder the user chose never is.
QString ClaimNextFile(CImgFileMgr& files, int kind) {
    CreateDefaultFolderIfMissing(files.GetFoldername(), kind);
    const int first = files.SerialNumber();
    for (int tried = 0; tried < kMaxSerialNumber; ++tried) {
        const QString path = files.MakeFilePath(false);
        if (path.isEmpty())
            break;
        if (TestCreateFile(path)) {
            files.SetSerialNumber(NextSerialNumber(files.SerialNumber()));
            return path;
        }
        if (!Occupied(path))
            break; // missing folder, no permission, a name the file system refuses
        files.SetSerialNumber(NextSerialNumber(files.SerialNumber()));
    }
    files.SetSerialNumber(first);
    return {};
}

} // namespace

bool TestCreateFile(const QString& path) {
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    file.close();
    return true;
}

int ShootStill(CImgFileMgr& stills, CCVController& controller) {
    if (controller.DisplayImage().isNull())
        return IDS_NO_PICTURE_YET; // no file made, the number stays: there is nothing to save
    const QString path = ClaimNextFile(stills, CAMMODE_PICT);
    if (path.isEmpty() || !controller.SaveStill(path))
        return IDS_CANNOT_SAVE_STILL;
    return 0;
}

int StartMovie(CImgFileMgr& movies, CCVController& controller) {
    if (controller.IsRecording())
        return 0; // the running recording goes on; nothing new is created
    const QString path = ClaimNextFile(movies, CAMMODE_MOV);
    if (path.isEmpty())
        return IDS_CANNOT_SAVE_MOVIE;
    controller.RecordMovie(true, path, 0);
    if (!controller.IsRecording()) {
        QFile::remove(path); // the worker could not start: nothing will fill the file
        return IDS_CANNOT_SAVE_MOVIE;
    }
    return 0;
}
