// The shared dialog look: shape, opacity, colours, template layout and dragging.
#include "dialogs/VistrelDialog.h"

#include "platform/WindowShape.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace {

const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kGrey(128, 128, 128);

} // namespace

CVistrelDialog::CVistrelDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    ApplyWindowOpacity(this, kDialogAlpha);
}

void CVistrelDialog::reject() {
    done(IDCANCEL);
}

void CVistrelDialog::ApplyTemplate(const DialogFont& font) {
    setFont(TemplateFont(font));
    const QSize dialogSize = DluToPixels(size(), font);
    for (QWidget* control : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (control->isWindow())
            continue;
        QRect rect = DluToPixels(control->geometry(), font);
        // A drop-down list's template height includes its open list; closed, it is one line.
        if (auto* combo = qobject_cast<QComboBox*>(control))
            rect.setHeight(combo->sizeHint().height());
        // Template labels are sized for the template's font; the stand-in font may need more.
        if (auto* label = qobject_cast<QLabel*>(control);
            label && !label->wordWrap() && !label->text().isEmpty()) {
            const QFontMetrics metrics = label->fontMetrics();
            const QSize text(metrics.horizontalAdvance(label->text()), metrics.height());
            rect = FitOneLineLabel(rect, text, label->alignment(), QRect(QPoint(0, 0), dialogSize));
        }
        control->setGeometry(rect);
    }
    setFixedSize(dialogSize);
    ApplyDialogColours(this);
}

void CVistrelDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // Where the window system blends no window, the panel itself carries the opacity.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(PaintOpacity(this));
    painter.fillPath(RoundedShape(rect(), 0), kBlack);
}

void CVistrelDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    SetRoundedRegion(this, 0);
}

void CVistrelDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    SetRoundedRegion(this, 0);
}

void CVistrelDialog::mousePressEvent(QMouseEvent* event) {
    if (!m_bDraggable || event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    event->accept();
    // The window system's own move works on Wayland too and respects its screen edges.
    if (QWindow* window = windowHandle(); window && window->startSystemMove())
        return;
    m_bDragging = true;
    m_dragOffset = event->globalPosition().toPoint() - pos();
}

void CVistrelDialog::mouseMoveEvent(QMouseEvent* event) {
    if (m_bDragging && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CVistrelDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (m_bDragging && event->button() == Qt::LeftButton) {
        m_bDragging = false;
        event->accept();
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

QRect FitOneLineLabel(QRect rect, QSize text, Qt::Alignment alignment, const QRect& bounds) {
    if (rect.height() < text.height()) {
        const int extra = text.height() - rect.height();
        rect.adjust(0, -extra / 2, 0, extra - extra / 2);
    }
    if (rect.width() < text.width()) {
        const int extra = text.width() - rect.width();
        if (alignment & Qt::AlignHCenter)
            rect.adjust(-extra / 2, 0, extra - extra / 2, 0);
        else if (alignment & Qt::AlignRight)
            rect.adjust(-extra, 0, 0, 0);
        else
            rect.adjust(0, 0, extra, 0);
    }
    return rect.intersected(bounds);
}

void SetIconCentred(QLabel* label, const QPixmap& pixmap) {
    const QSize size = pixmap.deviceIndependentSize().toSize();
    QRect rect(QPoint(0, 0), size);
    rect.moveCenter(label->geometry().center());
    label->setGeometry(rect);
    label->setPixmap(pixmap);
}

QPalette DialogPalette() {
    QPalette palette;
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QColor& text = group == QPalette::Disabled ? kGrey : kWhite;
        for (const auto role : {QPalette::Window, QPalette::Base, QPalette::AlternateBase,
                                QPalette::Button, QPalette::ToolTipBase})
            palette.setColor(group, role, kBlack);
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                QPalette::ToolTipText, QPalette::BrightText})
            palette.setColor(group, role, text);
    }
    return palette;
}

QPalette ControlPalette() {
    QPalette palette = DialogPalette();
    palette.setColor(QPalette::Window, kGrey);
    return palette;
}

void ApplyDialogColours(QWidget* dialog) {
    dialog->setPalette(DialogPalette());
    // A combo box builds its list window on first use; build it now so it gets the colours.
    for (QComboBox* combo : dialog->findChildren<QComboBox*>())
        combo->view();
    const QPalette controls = ControlPalette();
    for (QWidget* widget : dialog->findChildren<QWidget*>()) {
        if (!qobject_cast<QLabel*>(widget))
            widget->setPalette(controls);
    }
}
