// The preferences dialog (template 132): opacity, refresh performance, mirroring, the camera
// chooser at launch, and a button that puts the main window back to the picture's size. Nothing
// takes effect while it is open: OK stores the values and the opener applies them; Cancel stores
// nothing.
#pragma once

#include "dialogs/VistrelDialog.h"
#include "settings/SettingsKeys.h"

#include <QPointer>
#include <QSize>

#include <memory>

class QCheckBox;
class QPushButton;
class QSlider;

namespace Ui {
class PrefDlg;
}

inline constexpr int kAlphaMin = 32;
inline constexpr int kAlphaMax = 255;
// The performance scale (settings/SettingsKeys.h): the trackbar shows kPerformMax - "Perform",
// so right refreshes faster.

// The opacity trackbar's position for a stored "AlphaValue": out-of-range values at the nearer end.
int AlphaPosition(int stored);
// Turns a stored "Perform" into the trackbar position and back (the same mirror both ways):
// values below 1 count as 0, results below 0 become 0.
int InvertPerform(int value);

class CPrefDlg : public CVistrelDialog {
    Q_OBJECT
public:
    // `mainWindow` is the window the restore button resizes to `pictureSize`; without one (at
    // start-up, when no camera opened) the button is disabled.
    explicit CPrefDlg(QWidget* mainWindow = nullptr, QSize pictureSize = {});
    ~CPrefDlg() override;

    // OK: stores the four values and closes with IDOK; the opener applies them.
    void accept() override;

private:
    void OnInitDialog();
    // Puts the main window at (101, 101) with the picture's size, at once.
    void OnOrgSize();

    QPointer<QWidget> m_pMainWindow;
    QSize m_sizePicture;

    std::unique_ptr<Ui::PrefDlg> m_ui;
    QCheckBox* m_checkSelCam = nullptr;
    QCheckBox* m_checkMirror = nullptr;
    QSlider* m_sliderAlpha = nullptr;
    QPushButton* m_btnOrgSize = nullptr;
    QSlider* m_sliderPerform = nullptr;
};
