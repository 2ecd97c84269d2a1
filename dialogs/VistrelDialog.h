// The look and feel every dialog of the program shares: a frameless black panel at opacity 219
// (whatever the main window's opacity), cut to its client area with 16 x 16 rounded corners,
// white text on black in every control, moved by dragging its background. Each dialog derives
// from CVistrelDialog and calls ApplyTemplate() after building its controls from its template.
#pragma once

#include "dialogs/DialogUnits.h"

#include <QDialog>

#include <QPalette>
#include <QPoint>

class QLabel;
class QPixmap;

// Modal results, numbered as the templates' buttons: button 1 closes a dialog with IDOK,
// button 2 and Escape with IDCANCEL.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

class CVistrelDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogAlpha = 219;

    explicit CVistrelDialog(QWidget* parent = nullptr);

    // The capture panel places itself beside the main window, so the user must not drag it.
    void SetDraggable(bool draggable) { m_bDraggable = draggable; }
    bool IsDraggable() const { return m_bDraggable; }

    // Escape and the window system's close button give IDCANCEL, as button 2 does.
    void reject() override;

protected:
    // Lays out controls built by setupUi() from a template measured in dialog units of `font`:
    // every control and the dialog itself get their pixel geometry, the dialog its fixed size,
    // and every control the template's font and the shared colours.
    void ApplyTemplate(const DialogFont& font);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Only presses that no control took arrive here: the background and static labels.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_bDraggable = true;
    bool m_bDragging = false; // a move by hand, where the window system offers none
    QPoint m_dragOffset;      // press point relative to the dialog's position
};

// Grows a one-line label's rectangle until text of size `text` fits (CJK fonts need more room
// than the template's font): about its middle vertically, horizontally away from the side the
// text is aligned to, never beyond `bounds`, so no glyph is cut.
QRect FitOneLineLabel(QRect rect, QSize text, Qt::Alignment alignment, const QRect& bounds);

// Shows `pixmap` in `label` at the pixmap's own size, centred on the place the template gives
// the icon (a template's icon control takes the size of its icon).
void SetIconCentred(QLabel* label, const QPixmap& pixmap);

// White text on black for the dialog background and labels.
QPalette DialogPalette();
// The same for controls, whose frames the style draws from the window colour: grey keeps the
// edges of buttons, fields and boxes visible on the black panel.
QPalette ControlPalette();
// Gives `dialog` and every control in it, combo-box lists included, the shared colours.
void ApplyDialogColours(QWidget* dialog);
