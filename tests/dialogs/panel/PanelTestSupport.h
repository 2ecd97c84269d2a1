// Helpers for the capture panel and save-settings tests: a live view whose shutter only records
// what it was asked, and answerers that stand in for the user at modal message boxes and at the
// folder chooser, polling for the modal window the code under test has just opened.
#pragma once

#include "view/VistrelCVView.h"

#include <QApplication>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <vector>

// The real live view (real path managers and settings), with the camera left closed and the
// shutter and recording state replaced by probes.
class ProbeView : public CVistrelCVView {
public:
    void Shoot(int action) override { shots.push_back(action); }
    bool IsRecording() const override { return recording; }

    std::vector<int> shots;
    bool recording = false;
};

// Answers every message box that opens while it lives, in turn with the given results (IDOK
// for "はい"/"OK" once they run out), and keeps the texts the boxes showed.
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::deque<int> answers = {});
    QStringList texts;

private:
    void Poll();
    std::deque<int> m_answers;
    QTimer m_timer;
};

// Handles the next folder chooser: notes its title and starting folder, then picks `choice`
// (an empty choice cancels).
class FolderChooserAnswerer {
public:
    explicit FolderChooserAnswerer(QString choice);
    QString title;
    QString startFolder;
    bool seen = false;

private:
    void Poll();
    QString m_choice;
    QTimer m_timer;
};

// Runs `check` on the next modal dialog of type T that opens, then closes it with `result`.
template <typename T> class ModalWatcher {
public:
    ModalWatcher(std::function<void(T*)> check, int result);
    bool seen = false;

private:
    std::function<void(T*)> m_check;
    int m_result;
    QTimer m_timer;
};

// Settings of camera 0 start empty, and any camera opened is the test camera. Call before
// building a view.
void ResetCameraSettings();

template <typename T>
ModalWatcher<T>::ModalWatcher(std::function<void(T*)> check, int result)
    : m_check(std::move(check)), m_result(result) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog || seen)
            return;
        seen = true;
        m_check(dialog);
        dialog->done(m_result);
    });
    m_timer.start(5);
}
