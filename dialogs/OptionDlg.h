// The save-settings dialog: for one media kind at a time (stills or movies), the output folder,
// the base file name and the serial number, and the file type files of that kind get (chosen
// from the kind's list), for stills whether they take the camera's own size, and for movies
// whether MP4 ones carry the microphone's sound and which microphone. Everything
// is read from and stored through the live view's per-kind operations the moment it is accepted;
// the dialog keeps no copy of the settings.
#pragma once

#include "dialogs/VistrelDialog.h"

#include <memory>

class CFiletypeMgr;
class CCaptureTarget;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Ui {
class OptionDlg;
}

class COptionDlg : public CVistrelDialog {
    Q_OBJECT
public:
    explicit COptionDlg(QWidget* parent = nullptr);
    ~COptionDlg() override;

    // What holds the settings that are edited (the live view); set before exec(). The dialog
    // opens on the kind of its capture mode. Without one the controls stay as the template has
    // them.
    virtual void SetView(CCaptureTarget* view);
    // The desktop's folder chooser, starting at the stored folder; true when a folder was put
    // into the folder field (it is stored only by OK or a confirmed kind switch).
    virtual bool BrowseFolder();
    // Whether the folder or base-name field differs from the stored value, ignoring letter case,
    // or another file type is chosen.
    virtual bool IsModified() const;
    // Loads every control from the stored values of the shown kind; unsaved text is replaced.
    virtual void UpdateControls();
    // Validates and stores the fields of the shown kind; false after telling the user why.
    virtual bool SaveSettings();
    // Asks whether to save changed fields, and saves on yes.
    virtual void ConfirmSave();

    // The serial reset button: asks, then resets the shown kind's serial number.
    void OnResetSerial();
    // The Mode button: offers to save, then shows the other kind.
    void OnModeSwitch();

    int Kind() const { return m_nKind; }
    // The id of the icon the Mode button shows (146 movies, 147 stills).
    int ModeIconId() const { return m_nModeIcon; }

    // OK closes only when the fields were stored.
    void accept() override;

private:
    void OnInitDialog();
    // The microphone list: the default first, then what the desktop offers, and the stored one
    // even when it is not there now (unplugged), so that it is not lost by an OK.
    void FillMicrophones();
    // Sound only for a movie type that carries it (MP4), the list only when sound is on.
    void EnableSound();
    bool SoundModified() const;

    CCaptureTarget* m_pView = nullptr;
    int m_nKind = 0;
    CFiletypeMgr* m_pFiletypeMgr = nullptr;
    std::unique_ptr<Ui::OptionDlg> m_ui;
    QLineEdit* m_editFolder = nullptr;
    QLineEdit* m_editFilename = nullptr;
    QComboBox* m_comboFiletype = nullptr;
    QPushButton* m_btnResetSerial = nullptr;
    QPushButton* m_btnMode = nullptr;
    QLabel* m_staticSerial = nullptr;
    QCheckBox* m_checkFullSize = nullptr;
    QCheckBox* m_checkAudio = nullptr;
    QComboBox* m_comboMicrophone = nullptr;
    int m_nModeIcon = 0;
};
