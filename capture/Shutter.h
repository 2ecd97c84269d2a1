// The two shutter branches the live view calls: take a still, start a recording. Each picks the
// next free file of its kind, proves it can be created, advances the serial number and hands the
// path to the controller. A result of 0 means it worked; otherwise it is the string id of the
// message to show (32792 for stills, 32793 for movies).
#pragma once

#include <QString>

class CCVController;
class CImgFileMgr;

inline constexpr int IDS_CANNOT_SAVE_STILL = 32792;
inline constexpr int IDS_CANNOT_SAVE_MOVIE = 32793;

// Creates an empty file at `path` only if nothing exists there; true when it did.
bool TestCreateFile(const QString& path);

int ShootStill(CImgFileMgr& stills, CCVController& controller);
int StartMovie(CImgFileMgr& movies, CCVController& controller);
