#include "view/PendingInput.h"

#include "view/RefreshIntervals.h"

#include <QCoreApplication>

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

bool CPendingInput::eventFilter(QObject*, QEvent* event) {
    m_arrived |= ClassOf(event);
    return false;
}

bool CPendingInput::Probe(unsigned mask) {
    const bool pending = (m_arrived & mask) != 0;
    m_arrived &= ~mask;
    return pending;
}
