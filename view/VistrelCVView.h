// The live view: shows the camera picture, runs the adaptive refresh loop, owns the capture
// controller, the refresh timer and the two output path managers, and routes the shutter and the
// per-kind file settings for the capture panel and the save-settings dialog.
#pragma once

#include "capture/Shutter.h"

#include <QWidget>

#include <memory>

class CCVController;
class CViewTimer;
class CImgFileMgr;
class CFiletypeMgr;
class CRecCtrlDlg;
class CPendingInput;

inline constexpr int SHOOT_TAKE = 1;
inline constexpr int SHOOT_STOP = 2;

class CVistrelCVView : public QWidget {
    Q_OBJECT
public:
    explicit CVistrelCVView(QWidget* parent = nullptr);
    ~CVistrelCVView() override;

    // Window creation: opens the camera (inside the connecting notice), loads the settings,
    // starts the timer and brings the capture panel back if it was showing.
    void Create();
    // Window destruction: the timer, then the controller (which finishes a recording), then the
    // capture panel, whose stored visibility stays as it was.
    void Destroy();

    virtual void LoadSettings();
    virtual void LoadPerformance();
    virtual void Shoot(int action);
    virtual bool IsRecording() const;
    virtual int GetCamMode() const { return m_nCamMode; }
    virtual void SetCamMode(int mode);
    virtual void ResetSerialNumber(int kind);
    virtual QString GetFilename(int kind) const;
    virtual void SetFilename(QString name, int kind);
    virtual QString GetFoldername(int kind) const;
    virtual void SetFoldername(QString folder, int kind);
    virtual CFiletypeMgr* GetFiletypeMgr(int kind) const;
    virtual QString GetSerialNumberText(int kind) const;
    virtual void ToggleShoot();
    virtual bool IsRecCtrlDlgVisible() const;
    void ShowRecCtrlDlg();

    CCVController* Controller() const { return m_pController.get(); }
    CRecCtrlDlg* RecCtrlDlg() const { return m_pRecCtrlDlg.get(); }
    int IntervalQuiet() const { return m_nIntervalQuiet; }
    int IntervalActive() const { return m_nIntervalActive; }
    int IntervalBusy() const { return m_nIntervalBusy; }
    unsigned CurrentInterval() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    CImgFileMgr* FileMgr(int kind) const;
    void OnTick();
    void CheckRecordingWorker();
    void ShowCannotSave(int stringId);
    bool IsMainWindowMinimized() const;

    std::unique_ptr<CCVController> m_pController;
    std::unique_ptr<CViewTimer> m_pTimer;
    std::unique_ptr<CPendingInput> m_pPending;
    int m_nIntervalQuiet = 330;
    int m_nIntervalActive = 550;
    int m_nIntervalBusy = 770;
    std::unique_ptr<CRecCtrlDlg> m_pRecCtrlDlg;
    std::unique_ptr<CImgFileMgr> m_pPictFileMgr;
    std::unique_ptr<CImgFileMgr> m_pMovFileMgr;
    int m_nCamMode = 0;
    MovieClaim m_movieClaim; // the running recording's file, taken back if it stays empty
};
