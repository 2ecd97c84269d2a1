// The controls window ("カメラの調整"): one row per control the camera offers, built from what
// its driver lists (sliders with their value, check boxes, lists of the menu items the driver
// answers for, buttons). Controls that have no effect now, cannot be written or are held by a
// stream are greyed. It follows changes made elsewhere (another program, the camera's automatic
// modes) and never touches the camera itself: it reads and asks through the camera's control
// board, which the camera's reader serves between frames. A value the user sets is stored for
// this camera, so every later open of the camera writes it; "既定に戻す(&D)" puts every control
// back to the driver's default and forgets the stored values. The window is modeless, so the
// picture stays live behind it.
#pragma once

#include "camera/CameraControls.h"
#include "dialogs/VistrelDialog.h"

#include <QTimer>

#include <memory>

class CCameraControlBoard;
class QGridLayout;
class QLabel;
class QPushButton;

// Input to a window with this property set does not hold the live picture back.
inline constexpr char kLivePictureProperty[] = "vistrelcvLivePicture";

// The row's title of a control: the Japanese name of a common control, else the driver's name.
QString CameraControlLabel(const CameraControl& control);

class CCameraControlsDlg : public CVistrelDialog {
    Q_OBJECT
public:
    CCameraControlsDlg(QWidget* parent, std::shared_ptr<CCameraControlBoard> board);
    ~CCameraControlsDlg() override;

    // Takes in what the board holds now, when it changed since the last look.
    void Follow();
    // "既定に戻す(&D)".
    void OnDefaults();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Row {
        CameraControl control;
        QWidget* editor = nullptr;
        QLabel* value = nullptr; // a slider's number
    };
    void Rebuild(const QList<CameraControl>& controls);
    void AddRow(const CameraControl& control);
    void ShowState(Row& row, const CameraControl& control, bool open);
    void UserSet(const CameraControl& control, int64_t value);
    void SaveStored();

    std::shared_ptr<CCameraControlBoard> m_pBoard;
    QGridLayout* m_grid = nullptr;
    QPushButton* m_btnDefaults = nullptr;
    QList<Row> m_rows;
    uint64_t m_nGeneration = ~uint64_t(0);
    CameraControlValues m_stored;
    QTimer m_follow;
    QTimer m_save; // a slider's drag is stored once it rests
};
