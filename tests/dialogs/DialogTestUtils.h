// Helpers for driving dialogs and windows in tests: controls by name, dragging, and answering the
// modal dialogs the code under test opens (by polling for the modal window, as a user would find it
// on the screen).
#pragma once

#include "dialogs/VistrelMessageBox.h"

#include <QApplication>
#include <QMouseEvent>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <deque>
#include <functional>

namespace dialogtest {

// The control with the .ui object name `name`.
template <typename T = QWidget> T* Child(const QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QLatin1String(name));
    if (!child)
        ADD_FAILURE() << "no control " << name;
    return child;
}

// Presses the left button at `from` (a point of `target`), moves by `delta` and releases, with
// real global positions, so an ignored press travels on to the parent as on a screen.
inline void Drag(QWidget* target, QPoint from, QPoint delta) {
    const QPoint start = target->mapToGlobal(from);
    const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button,
                          Qt::MouseButtons buttons) {
        QMouseEvent event(type, target->mapFromGlobal(QPointF(at)), QPointF(at), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    };
    send(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, start + delta, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, start + delta, Qt::LeftButton, Qt::NoButton);
}

// While it lives, hands every modal dialog of type T that opens to `act`, which closes it.
template <typename T> class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(T*)> act) : m_act(std::move(act)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
                ++seen;
                m_act(dialog);
            }
        });
        m_timer.start(5);
    }
    int seen = 0;

private:
    std::function<void(T*)> m_act;
    QTimer m_timer;
};

// Answers every message box in turn with `answers` (IDOK once they run out) and keeps the texts
// the boxes showed.
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::deque<int> answers = {}) : m_answers(std::move(answers)) {}
    QStringList texts;

private:
    std::deque<int> m_answers;
    ModalAnswerer<CVistrelMessageBox> m_answerer{[this](CVistrelMessageBox* box) {
        texts << box->Text();
        const int answer = m_answers.empty() ? IDOK : m_answers.front();
        if (!m_answers.empty())
            m_answers.pop_front();
        box->done(answer); // hidden at once, so the next poll does not see it again
    }};
};

} // namespace dialogtest
