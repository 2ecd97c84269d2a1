// What the capture panel and the save-settings dialog act on: the shutter, the capture mode and
// the per-kind file settings. The live view implements it; the dialogs know nothing else of it.
#pragma once

#include "platform/Microphone.h"

#include <QList>
#include <QString>

class CFiletypeMgr;

// Shutter actions.
inline constexpr int SHOOT_TAKE = 1; // a still, or the start of a recording, by the mode
inline constexpr int SHOOT_STOP = 2; // the end of a recording

class CCaptureTarget {
public:
    virtual ~CCaptureTarget() = default;

    virtual void Shoot(int action) = 0;
    virtual bool IsRecording() const = 0;
    virtual int GetCamMode() const = 0;
    virtual void SetCamMode(int mode) = 0;
    // The per-kind file settings; `kind` is CAMMODE_MOV for movies, anything else for stills.
    virtual void ResetSerialNumber(int kind) = 0;
    virtual QString GetFilename(int kind) const = 0;
    virtual void SetFilename(QString name, int kind) = 0;
    virtual QString GetFoldername(int kind) const = 0;
    virtual void SetFoldername(QString folder, int kind) = 0;
    virtual CFiletypeMgr* GetFiletypeMgr(int kind) const = 0;
    // The entry of the kind's file-type table that files of the kind get; stored at once.
    virtual int GetFiletypeIndex(int kind) const = 0;
    virtual void SetFiletypeIndex(int index, int kind) = 0;
    // Stills at the camera's own size instead of the picture shown; stored at once.
    virtual bool GetStillFullSize() const = 0;
    virtual void SetStillFullSize(bool fullSize) = 0;
    // Whether MP4 movies carry the microphone's sound, and which microphone ("" the desktop's
    // default); stored at once.
    virtual bool GetMovieAudio() const = 0;
    virtual void SetMovieAudio(bool on) = 0;
    virtual QString GetMovieAudioSource() const = 0;
    virtual void SetMovieAudioSource(const QString& name) = 0;
    // The microphones the desktop offers now.
    virtual QList<MicrophoneInfo> Microphones() const = 0;
    virtual QString GetSerialNumberText(int kind) const = 0;
};
