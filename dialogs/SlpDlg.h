// The connecting notice (template 133), "カメラに接続中...": a modeless notice that stands while
// the program opens a camera. It is shown and painted by its constructor, because the caller
// blocks in the camera open right after, and it goes with the object:
//
//     { CSlpDlg notice; source = OpenCameraSource(index); }
//
// Enter and Escape take it away early; nothing else depends on it.
#pragma once

#include "dialogs/VistrelDialog.h"

#include <memory>

namespace Ui {
class SlpDlg;
}

class CSlpDlg : public CVistrelDialog {
    Q_OBJECT
public:
    explicit CSlpDlg(QWidget* parent = nullptr);
    ~CSlpDlg() override;

    // Enter and Escape: the notice goes away; the object stays with its creator.
    void accept() override;
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Shows the notice and puts it on the screen before the caller blocks.
    void ShowNow();

    std::unique_ptr<Ui::SlpDlg> m_ui;
};
