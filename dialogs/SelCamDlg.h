// The camera chooser (template 130): at launch the user picks "自動" (automatic search) or one
// of the camera numbers 1 to 3, each with its camera's name where one is known.
#pragma once

#include "camera/CameraList.h"
#include "dialogs/VistrelDialog.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

class QComboBox;
class QLabel;

namespace Ui {
class SelCamDlg;
}

// One entry of the chooser's list: its text and its value (-1 "Auto", else a 0-based index).
struct CameraChoice {
    QString text;
    int value;
};

inline constexpr int kChooserCameraCount = 3;

// The list the chooser shows: "Auto" (`autoText`), then the numbers 1 to 3, each followed by
// the name of that camera in `cameras` when it has one.
QList<CameraChoice> CameraChoices(const QString& autoText, const QList<CameraInfo>& cameras);

class CSelCamDlg : public CVistrelDialog {
    Q_OBJECT
public:
    // The names come from ListCameras().
    explicit CSelCamDlg(QWidget* parent = nullptr);
    CSelCamDlg(const QList<CameraInfo>& cameras, QWidget* parent = nullptr);
    ~CSelCamDlg() override;

    // Runs the chooser modally: the 0-based camera index, -1 for "Auto", or nothing when the
    // user cancelled (start-up then ends without a message).
    static std::optional<int> Choose(QWidget* parent = nullptr);

    // The result: -1 for "Auto" and until the user confirms, else the 0-based camera index.
    int Selected() const { return m_nSelected; }

    // OK and Enter: the selected item's value, IDOK.
    void accept() override;
    // Escape: -1, IDCANCEL.
    void reject() override;

private:
    void OnInitDialog(const QList<CameraInfo>& cameras);

    int m_nSelected = -1;
    std::unique_ptr<Ui::SelCamDlg> m_ui;
    QComboBox* m_comboCamera = nullptr;
    QLabel* m_staticTitle = nullptr;
};
