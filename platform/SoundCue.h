// Short sound cues ("rec.wav", "stop.wav", "rel.wav") played by file name to their end. The file
// is looked up beside the executable, then in the user's and the installed data folders (those of
// $XDG_DATA_DIRS, then that of the prefix the program was installed into); a file found nowhere
// plays the desktop sound theme's shutter (or bell) sound instead. Without a sound server the
// call returns at once: a cue never fails, and it holds the caller no longer than its own length
// and a second, however the sound server behaves (a cue still playing then is cancelled).
#pragma once

#include <QString>
#include <QStringList>

// Plays `fileName` and returns when it has finished, could not be played, or was cancelled.
void PlaySoundCue(const QString& fileName);

// The folders searched for a cue, in order.
QStringList SoundCueFolders();
// The first existing file named `fileName` in `folders`; empty text when there is none.
QString FindSoundCue(const QString& fileName, const QStringList& folders);
