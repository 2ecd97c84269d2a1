// The application object: start-up, the main window it creates, and what the whole program
// shares (camera index, window opacity, camera picture size, the preferences and about boxes).
#pragma once

#include "app/FrameHost.h"
#include "camera/CameraSource.h"

#include <QList>
#include <QPointer>
#include <QSize>
#include <QString>

#include <memory>

class CMainFrame;
class CCommandLineInfoEx;
class CCameraReader;

class CVistrelCVApp : public CFrameHost {
public:
    CVistrelCVApp() = default;
    virtual ~CVistrelCVApp() = default;

    // Start-up steps 1 to 12; false ends the program (at most one message was shown).
    virtual bool InitInstance(const QStringList& arguments);

    // Re-reads the opacity, has the view reload its settings and the frame apply the opacity.
    virtual void ApplySettings();
    unsigned char GetAlpha() const override { return m_nAlpha; }
    // Takes the low 8 bits; 32 or less gives 32.
    virtual void SetAlpha(int value);
    QSize GetFrameSize() const override { return m_sizeFrame; }
    virtual bool SelectCamera(const CCommandLineInfoEx& commandLine);

    // Menu commands. The preferences are applied when the dialog is confirmed.
    void OnPreferences() override;
    void OnAbout() override;

    int Camera() const { return m_nCamera; }
    // The main window start-up created; null before and once it is gone.
    CMainFrame* Frame() const;
    // Tests set the picture size the way a successful probe does; a camera that changed its
    // mode sets it too.
    void SetFrameSize(QSize size) override { m_sizeFrame = size; }

private:
    bool FindCamera();
    bool ProbeCamera();
    // How a probe ended: the camera opened (its lock is held), did not, or another instance
    // serves that number (its lock is taken).
    enum class Probe { Opened, Failed, Taken };
    // `cameras`: the camera list, by camera number.
    Probe ProbeIndex(int index, const QList<CameraInfo>& cameras);

    // The probed camera, handed to the view instead of being opened again, and its identity.
    std::shared_ptr<CCameraReader> m_pProbed;
    QString m_strCameraId;
    bool m_bNumberTaken = false; // another instance serves the camera number chosen
    void ShowCameraNotFound() const;

    int m_nCamera = 0;
    unsigned char m_nAlpha = 0;
    QPointer<CMainFrame> m_pFrame; // owned by itself: it deletes itself when closed
    QSize m_sizeFrame{640, 480};
};

extern CVistrelCVApp theApp;

// The low-8-bit rule of the opacity setting, with its floor of 32.
unsigned char AlphaFromSetting(int value);
