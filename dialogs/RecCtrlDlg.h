// The capture panel: the small floating strip through which the user takes stills, starts and
// stops recording, switches between still and movie mode and opens the save-settings dialog. It
// sits on the main window's bottom edge and follows it, and shows the capture state the live view
// hands it. It keeps no capture state of its own: the mode is which of MOV and PICT is selected,
// the activity is the picture on REC.
#pragma once

#include "dialogs/VistrelDialog.h"

#include <memory>

class CCaptureTarget;
class QLabel;
class QPushButton;
class QRadioButton;

namespace Ui {
class RecCtrlDlg;
}

class CRecCtrlDlg : public CVistrelDialog {
    Q_OBJECT
public:
    // `parent` is the widget that creates and owns the panel; the panel is a tool window of
    // `parent`'s main window: it stays above it and is hidden while it is minimised. `target`
    // takes the shutter, the mode and the file settings; it may be null (the buttons then only
    // show their state) and must outlive the panel.
    CRecCtrlDlg(QWidget* parent, CCaptureTarget* target);
    ~CRecCtrlDlg() override;

    // The whole state display for a capture-state report: `mode` CAMMODE_MOV or CAMMODE_PICT,
    // `activity` > 0 busy, anything else idle.
    virtual void SetCaptureState(int mode, int activity);
    virtual void UpdateRecButton(int mode, int activity);
    virtual void ShowRecIndicator(int activity);
    // Shows or hides the panel and remembers it in "RecCtrlDlg" for the next start.
    virtual void ShowPanel(bool show);
    virtual void EnableModeButtons(bool enable);

    // Places the panel beside the main window again: 0, or -1 when nothing was moved.
    int OnPanelFollow();
    // REC and the Space key: stop a recording, else take a still or start recording.
    void OnRec();
    // A click on MOV or PICT, already selected or not.
    void OnModeSwitch();
    // The settings button: the save-settings dialog for the panel's view, modal.
    void OnSettings();

    CCaptureTarget* Target() const { return m_pView; }
    // The id of the icon REC shows (135, 136, 143 or 145).
    int RecIconId() const { return m_nRecIcon; }

    // The close button (IDOK), Escape and the window's close command only hide the panel.
    void accept() override;
    void reject() override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnInitDialog();
    void EnableRec(bool enable);
    QWidget* MainWindow() const;

    CCaptureTarget* m_pView = nullptr;
    std::unique_ptr<Ui::RecCtrlDlg> m_ui;
    QPushButton* m_btnRec = nullptr;
    QPushButton* m_btnSettings = nullptr;
    QPushButton* m_btnClose = nullptr;
    QRadioButton* m_btnMov = nullptr;
    QRadioButton* m_btnPict = nullptr;
    QLabel* m_staticRecMark = nullptr;
    int m_nRecIcon = 0;
    bool m_bRecHadFocus = false; // REC had the focus when a still disabled it
};
