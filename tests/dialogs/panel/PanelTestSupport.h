// Helpers for the capture panel and save-settings tests: a capture target that keeps its file
// settings in memory and records what it was asked, and fresh settings for camera 0.
#pragma once

#include "dialogs/CaptureTarget.h"
#include "output_files/FiletypeMgr.h"
#include "output_files/MediaKind.h"
#include "support/TestEnvironment.h"

#include <cstdlib>
#include <vector>

class FakeCaptureTarget : public CCaptureTarget {
public:
    FakeCaptureTarget() { FillFiletypeTables(); }

    void Shoot(int action) override { shots.push_back(action); }
    bool IsRecording() const override { return recording; }
    int GetCamMode() const override { return mode; }
    void SetCamMode(int newMode) override { modes.push_back(mode = newMode); }
    void ResetSerialNumber(int kind) override { serial[Slot(kind)] = 1; }
    QString GetFilename(int kind) const override { return name[Slot(kind)]; }
    void SetFilename(QString text, int kind) override { name[Slot(kind)] = text; }
    QString GetFoldername(int kind) const override { return folder[Slot(kind)]; }
    void SetFoldername(QString text, int kind) override { folder[Slot(kind)] = text; }
    CFiletypeMgr* GetFiletypeMgr(int kind) const override {
        return IsMovieKind(kind) ? &g_MovFiletypeMgr : &g_PictFiletypeMgr;
    }
    QString GetSerialNumberText(int kind) const override {
        return QStringLiteral("%1").arg(serial[Slot(kind)], 5, 10, QLatin1Char('0'));
    }

    static int Slot(int kind) { return IsMovieKind(kind) ? 1 : 0; }

    std::vector<int> shots;
    std::vector<int> modes; // every mode stored, in order
    bool recording = false;
    int mode = CAMMODE_PICT;
    QString name[2] = {QStringLiteral("pict"), QStringLiteral("mov")};
    QString folder[2];
    int serial[2] = {1, 1};
};

// Settings of camera 0 start empty. Call before building a panel.
inline void ResetCameraSettings() {
    ::setenv("VISTRELCV_CAMERAS", "testsrc", 1);
    testenv::FreshSettings();
}
