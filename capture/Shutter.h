// The two shutter branches the live view calls: take a still, start a recording. Each picks the
// next free file of its kind, proves it can be created, advances the serial number and hands the
// path to the controller. A result of 0 means it worked; otherwise it is the string id of the
// message to show (32792 for stills, 32793 for movies, 32802 for a still before the camera's
// first picture).
#pragma once

#include <QString>

class CCVController;
class CImgFileMgr;

inline constexpr int IDS_CANNOT_SAVE_STILL = 32792;
inline constexpr int IDS_CANNOT_SAVE_MOVIE = 32793;
// The notice over the dimmed picture while the camera is lost.
inline constexpr int IDS_CAMERA_LOST = 32800;
// A recording ended because its camera was lost.
inline constexpr int IDS_RECORDING_CAMERA_LOST = 32801;
inline constexpr int IDS_NO_PICTURE_YET = 32802;

// Creates an empty file at `path` only if nothing exists there; true when it did.
bool TestCreateFile(const QString& path);

int ShootStill(CImgFileMgr& stills, CCVController& controller);
int StartMovie(CImgFileMgr& movies, CCVController& controller);
