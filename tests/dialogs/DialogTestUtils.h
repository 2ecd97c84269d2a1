// Helpers for driving dialogs in tests: controls by name, and answering the modal dialogs the
// code under test opens (by polling for the modal window, as a user would find it on the screen).
#pragma once

#include "dialogs/VistrelMessageBox.h"

#include <QApplication>
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
