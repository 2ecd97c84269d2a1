#include "view/PendingInput.h"

#include "view/RefreshIntervals.h"

#include <QCoreApplication>
#include <QWidget>

CPendingInput::CPendingInput(QWidget* view) : m_view(view) {
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
    case QEvent::Timer:
        return kPendingTimer;
    case QEvent::Paint:
    case QEvent::UpdateRequest:
        return kPendingPaint;
    case QEvent::MetaCall:
        return kPendingPosted;
    default:
        // Posted events of the program's own (capture state, panel follow).
        return event->type() >= QEvent::User && event->type() <= QEvent::MaxUser
                   ? unsigned(kPendingPosted)
                   : 0u;
    }
}

bool CPendingInput::IsOwnWork(QObject* watched, const QEvent* event) const {
    if (!m_view)
        return false;
    if (event->type() == QEvent::Timer)
        return watched == m_view; // the refresh tick is the view's only timer
    if (event->type() == QEvent::Paint || event->type() == QEvent::UpdateRequest)
        return watched == m_view || watched == m_view->window();
    return false;
}

bool CPendingInput::eventFilter(QObject* watched, QEvent* event) {
    if (const unsigned cls = ClassOf(event); cls && !IsOwnWork(watched, event))
        m_arrived |= cls;
    return false;
}

bool CPendingInput::Probe(unsigned mask) {
    const bool pending = (m_arrived & mask) != 0;
    m_arrived &= ~mask;
    return pending;
}
