#include "view/PendingInput.h"

#include "dialogs/CameraControlsDlg.h"
#include "view/RefreshIntervals.h"

#include <QCoreApplication>
#include <QWidget>

CPendingInput::CPendingInput() {
    QCoreApplication::instance()->installEventFilter(this);
}

CPendingInput::~CPendingInput() {
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

unsigned CPendingInput::ClassOf(const QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::InputMethod:
        return kPendingKey;
    case QEvent::MouseMove:
    case QEvent::HoverMove:
    case QEvent::TabletMove:
        return kPendingMouseMove;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        return kPendingMouseButton;
    default:
        return 0;
    }
}

bool CPendingInput::eventFilter(QObject* watched, QEvent* event) {
    const unsigned kind = ClassOf(event);
    // Dragging a control's slider must show its effect on the picture as it goes.
    if (kind && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window()->property(kLivePictureProperty).toBool())
        return false;
    m_arrived |= kind;
    return false;
}

bool CPendingInput::Probe(unsigned mask) {
    const bool pending = (m_arrived & mask) != 0;
    m_arrived &= ~mask;
    return pending;
}
