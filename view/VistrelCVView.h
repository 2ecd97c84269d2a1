// The live view: shows the camera picture, runs the adaptive refresh loop, owns the capture
// controller, the refresh timer and the two output path managers, and routes the shutter and the
// per-kind file settings for the capture panel and the save-settings dialog.
#pragma once

#include "capture/Shutter.h"
#include "dialogs/CaptureTarget.h"
#include "view/ContextMenu.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class CCVController;
class CCameraReader;
class CViewTimer;
class CImgFileMgr;
class CFiletypeMgr;
class CRecCtrlDlg;
class CCameraControlsDlg;
class CPendingInput;

// "The save folder could not be opened", with the folder in place of "%s".
inline constexpr int IDS_CANNOT_OPEN_FOLDER = 32806;

class CVistrelCVView : public QWidget, public CCaptureTarget {
    Q_OBJECT
public:
    explicit CVistrelCVView(QWidget* parent = nullptr);
    ~CVistrelCVView() override;

    // Window creation: goes on with the camera start-up opened (`opened`), else opens camera
    // `camera` (found by its stored identity, in its stored size); loads the settings, starts the
    // timer and brings the capture panel back if it was showing.
    void Create(int camera, std::shared_ptr<CCameraReader> opened = {});
    // Window destruction: the timer, then the controller (which finishes a recording), then the
    // capture panel, whose stored visibility stays as it was.
    void Destroy();

    virtual void LoadSettings();
    virtual void LoadPerformance();
    void Shoot(int action) override;
    bool IsRecording() const override;
    int GetCamMode() const override { return m_nCamMode; }
    void SetCamMode(int mode) override;
    void ResetSerialNumber(int kind) override;
    QString GetFilename(int kind) const override;
    void SetFilename(QString name, int kind) override;
    QString GetFoldername(int kind) const override;
    void SetFoldername(QString folder, int kind) override;
    CFiletypeMgr* GetFiletypeMgr(int kind) const override;
    int GetFiletypeIndex(int kind) const override;
    void SetFiletypeIndex(int index, int kind) override;
    bool GetStillFullSize() const override;
    void SetStillFullSize(bool fullSize) override;
    bool GetMovieAudio() const override;
    void SetMovieAudio(bool on) override;
    QString GetMovieAudioSource() const override;
    void SetMovieAudioSource(const QString& name) override;
    QList<MicrophoneInfo> Microphones() const override;
    QString GetSerialNumberText(int kind) const override;
    virtual void ToggleShoot();
    virtual bool IsRecCtrlDlgVisible() const;
    void ShowRecCtrlDlg();
    // Opens the folder the shutter saves into in the current mode in the desktop's file manager;
    // the default folder is made first, as the shutter would. When nothing could open it, says so
    // in a message that names the folder (IDS_CANNOT_OPEN_FOLDER) and gives false.
    bool OpenOutputFolder();
    // The resolution submenu's state, and a choice from it: stored for this camera and applied
    // at once by opening the camera again.
    CaptureSizeChoices SizeChoices() const;
    void ChooseCaptureSize(std::optional<QSize> size);
    // Opens the camera's controls window (or brings it up), when the camera has controls.
    void ShowControlsDlg();
    CCameraControlsDlg* ControlsDlg() const;

    CCVController* Controller() const { return m_pController.get(); }
    CRecCtrlDlg* RecCtrlDlg() const;
    int IntervalQuiet() const { return m_nIntervalQuiet; }
    // Whether the notice that the recording goes on without sound is showing.
    bool ShowsNoSoundNotice() const { return std::chrono::steady_clock::now() < m_noSoundUntil; }
    int IntervalActive() const { return m_nIntervalActive; }
    int IntervalBusy() const { return m_nIntervalBusy; }
    unsigned CurrentInterval() const;

Q_SIGNALS:
    // A pop-up menu command that the main window carries out (everything but showing the panel).
    void menuCommand(int commandId);
    // The first frame shown, and each of other proportions than the one before (the camera
    // opened in another mode): the window's corner follows them.
    void frameProportionsChanged(QSize frameSize);

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
    void CheckRecordingSound();
    void ShowCannotSave(int stringId);
    void NoteShownFrame();
    void CheckBandwidth();
    bool IsMainWindowMinimized() const;

    std::unique_ptr<CCVController> m_pController;
    std::unique_ptr<CViewTimer> m_pTimer;
    std::unique_ptr<CPendingInput> m_pPending;
    int m_nIntervalQuiet = 330;
    int m_nIntervalActive = 550;
    int m_nIntervalBusy = 770;
    QPointer<CRecCtrlDlg> m_pRecCtrlDlg;         // a child window of the view, which owns it
    QPointer<CCameraControlsDlg> m_pControlsDlg; // likewise
    std::unique_ptr<CImgFileMgr> m_pPictFileMgr;
    std::unique_ptr<CImgFileMgr> m_pMovFileMgr;
    int m_nCamMode = 0;
    bool m_bCameraLost = false; // the notice is showing
    // The no-sound notice: said once per recording, shown until then.
    bool m_bNoSoundSaid = false;
    std::chrono::steady_clock::time_point m_noSoundUntil;
    bool m_bBandwidthTold = false; // the bandwidth message was shown for this shortage
    QSize m_shownFrameSize;        // of the last frame shown, for its proportions
    bool m_bFirstPicturePainted = false;
    MovieClaim m_movieClaim; // the running recording's file, taken back if it stays empty
};
