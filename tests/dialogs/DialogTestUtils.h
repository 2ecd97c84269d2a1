// Helpers for driving dialogs in tests: mouse drags with real global positions and modal runs.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace dialogtest {

// Delivers a mouse event to `target` as the window system would, so an ignored press travels
// on to the parent.
inline void SendMouse(QWidget* target, QEvent::Type type, QPoint global, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
    const QPointF local = target->mapFromGlobal(QPointF(global));
    QMouseEvent event(type, local, QPointF(global), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Presses the left button at `from` (a point of `target`), moves by `delta`, releases.
inline void Drag(QWidget* target, QPoint from, QPoint delta) {
    const QPoint start = target->mapToGlobal(from);
    SendMouse(target, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    SendMouse(target, QEvent::MouseMove, start + delta, Qt::NoButton, Qt::LeftButton);
    SendMouse(target, QEvent::MouseButtonRelease, start + delta, Qt::LeftButton, Qt::NoButton);
}

// Runs the dialog modally and has `act` operate it once the modal loop runs.
inline int ExecWith(QDialog& dialog, const std::function<void()>& act) {
    QTimer::singleShot(0, &dialog, act);
    return dialog.exec();
}

} // namespace dialogtest
