// The two shutter branches the live view calls: take a still, start a recording. Each picks the
// next free file of its kind, proves it can be created, advances the serial number and hands the
// path to the controller. A result of 0 means it worked; otherwise it is the string id of the
// message to show (32792 for stills, 32793 for movies, 32802 for a still before the camera's
// first picture), and neither a file nor a changed serial number is left behind.
#pragma once

#include <QString>

#include <functional>

class CCVController;
class CImgFileMgr;

inline constexpr int IDS_CANNOT_SAVE_STILL = 32792;
inline constexpr int IDS_CANNOT_SAVE_MOVIE = 32793;
// The notice over the dimmed picture while the camera is lost.
inline constexpr int IDS_CAMERA_LOST = 32800;
// A recording ended because its camera was lost.
inline constexpr int IDS_RECORDING_CAMERA_LOST = 32801;
inline constexpr int IDS_NO_PICTURE_YET = 32802;
// A recording ended before the camera gave it a frame.
inline constexpr int IDS_RECORDING_NO_PICTURE = 32804;

// Creates an empty file at `path` only if nothing exists there; true when it did.
bool TestCreateFile(const QString& path);

// What a movie start took: its file and the serial numbers before and after, so that a recording
// that gives up before any byte of it reached the disk can be taken back.
struct MovieClaim {
    QString path;
    int serialBefore = 0;
    int serialAfter = 0;
};

// Makes the file at a path, failing when anything is there already.
using FileCreator = std::function<bool(const QString& path)>;

// The next free numbered file of `files`, made by `create` (by default an empty file); the stored
// serial number then names the file after it. Existing files are stepped over, never touched;
// when the stored number is taken, one listing of the folder finds the next free one, and the
// serial number is stored once. Empty text when the folder refuses the file or every number is
// taken.
QString ClaimNextFile(CImgFileMgr& files, int kind, const FileCreator& create = TestCreateFile);

// With `fullSize` the still is the camera's own frame at its size, else the picture shown.
int ShootStill(CImgFileMgr& stills, CCVController& controller, bool fullSize = false);
// `claim`, when given, receives what a successful start took.
int StartMovie(CImgFileMgr& movies, CCVController& controller, MovieClaim* claim = nullptr);
// For a recording that gave up: when its file holds no byte, the file goes and the serial number
// returns to where the start found it (unless it was changed since). True when it did.
bool TakeBackEmptyMovie(CImgFileMgr& movies, const MovieClaim& claim);
