// The application object: start-up, and the hub between the main frame, the live view and the
// preferences dialog (camera index, window opacity, camera picture size).
#pragma once

#include <QList>
#include <QSize>
#include <QString>

class CMainFrame;
class CVistrelCVView;
class CCommandLineInfoEx;

class CVistrelCVApp {
public:
    CVistrelCVApp() = default;
    virtual ~CVistrelCVApp() = default;

    // Start-up steps 1 to 12; false ends the program (at most one message was shown).
    virtual bool InitInstance(const QStringList& arguments);

    virtual void RegisterFrame(CMainFrame* frame) { m_pFrame = frame; }
    virtual void RegisterView(CVistrelCVView* view) { m_pView = view; }
    // Re-reads the opacity, has the view reload its settings and the frame apply the opacity.
    virtual void ApplySettings();
    virtual unsigned char GetAlpha() const { return m_nAlpha; }
    // Takes the low 8 bits; 32 or less gives 32.
    virtual void SetAlpha(int value);
    virtual QSize GetFrameSize() const { return m_sizeFrame; }
    virtual bool SelectCamera(const CCommandLineInfoEx& commandLine);

    // Menu commands.
    void OnPreferences();
    void OnAbout();

    int Camera() const { return m_nCamera; }
    CMainFrame* Frame() const { return m_pFrame; }
    CVistrelCVView* View() const { return m_pView; }
    // Tests set the picture size the way a successful probe does.
    void SetFrameSize(QSize size) { m_sizeFrame = size; }

private:
    bool FindCamera();
    bool ProbeCamera();

    int m_nCamera = 0;
    unsigned char m_nAlpha = 0;
    CVistrelCVView* m_pView = nullptr;
    CMainFrame* m_pFrame = nullptr;
    QSize m_sizeFrame{640, 480};
};

extern CVistrelCVApp theApp;

// The low-8-bit rule of the opacity setting, with its floor of 32.
unsigned char AlphaFromSetting(int value);
