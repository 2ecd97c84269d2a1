// The program's own message box (template 104): every message and yes/no question of the
// program, in the shared dialog look. Information mode has one "OK" button and a warning icon;
// question mode (type MB_YESNO) has "いいえ" on the left, "はい" on the right and a question icon.
// exec() gives IDOK for "OK" / "はい", IDCANCEL for "いいえ" and Escape. The text area, and the box
// with it, grow to show the whole message, up to a readable width.
#pragma once

#include "dialogs/VistrelDialog.h"

#include <QString>

#include <memory>

class QLabel;
class QPushButton;

namespace Ui {
class VistrelMessageBox;
}

inline constexpr int MB_OK = 0;
inline constexpr int MB_YESNO = 4;

class CVistrelMessageBox : public CVistrelDialog {
    Q_OBJECT
public:
    // The text is shown unchanged (start-up formats its messages first).
    explicit CVistrelMessageBox(const QString& text, int type = MB_OK, QWidget* parent = nullptr);
    // The string-table text of `stringId`, or `fallback` when the table has none.
    CVistrelMessageBox(int stringId, const QString& fallback, int type = MB_OK,
                       QWidget* parent = nullptr);
    ~CVistrelMessageBox() override;

    QString Text() const { return m_strText; }
    int Type() const { return m_nType; }

private:
    void OnInitDialog();
    void FitTextArea();

    QString m_strText;
    int m_nType = MB_OK;
    std::unique_ptr<Ui::VistrelMessageBox> m_ui;
    QLabel* m_staticText = nullptr;
    QPushButton* m_btnOK = nullptr;
    QPushButton* m_btnCancel = nullptr;
    QLabel* m_staticIcon = nullptr;
};
