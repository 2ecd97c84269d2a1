// The main window: a frameless, rounded, translucent picture that holds the live view. It is
// moved by dragging the picture, resized from 32-pixel zones at its right and bottom edges (the
// corner keeps the picture's proportions; the cursor shows the zones), remembers its place and
// size per camera (brought back onto the screens there are now), and turns Enter and Space into
// the shutter.
#pragma once

#include "app/FrameHost.h"
#include "app/FramePlacement.h"

#include <QWidget>

#include <memory>

class CCameraReader;
class CVistrelCVView;

class CMainFrame : public QWidget {
    Q_OBJECT
public:
    // `host` is the program the window belongs to; it must outlive the window.
    explicit CMainFrame(CFrameHost& host);
    ~CMainFrame() override;

    // Creation: opacity, the view and its camera `camera` (the reader start-up opened it with, if
    // any), the rounded shape.
    void Create(int camera, std::shared_ptr<CCameraReader> opened = {});
    virtual void ApplyAlpha();
    virtual void SetWindowAlpha(unsigned char alpha);
    virtual void SavePlacement();
    // The menu's minimise command. However the window is minimised, its placement is saved as
    // it turns minimised, before it shrinks.
    void Minimize();
    // Carries out a pop-up menu command (ContextMenu.h).
    void OnCommand(int commandId);
    // Keeps the window above others (or not) and remembers it for this camera.
    void SetStayOnTop(bool on);
    bool IsStayOnTop() const { return windowFlags().testFlag(Qt::WindowStaysOnTopHint); }
    CVistrelCVView* View() const { return m_pView; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    bool StartSystemGesture(FrameZone zone);

    CFrameHost& m_host;
    CVistrelCVView* m_pView = nullptr;
    // The shutter key whose press this window received; only its release shoots, so a key
    // pressed in a dialog (Enter on OK) does not take a picture when released here.
    int m_nShutterKeyDown = 0;
    // A press on the picture or a sizing zone, until the mouse is released.
    struct Drag {
        bool active = false;
        bool manual = false; // moved or resized by this code, not by the window system
        FrameZone zone = FrameZone::Caption;
        QPoint pressGlobal;
        QRect startGeometry;
    } m_drag;
};
