// Test helpers for the capture panel and save-settings tests.
#include "dialogs/panel/PanelTestSupport.h"

#include "dialogs/VistrelMessageBox.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QFileDialog>

#include <cstdlib>

BoxAnswerer::BoxAnswerer(std::deque<int> answers) : m_answers(std::move(answers)) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer.start(5);
}

void BoxAnswerer::Poll() {
    auto* box = qobject_cast<CVistrelMessageBox*>(QApplication::activeModalWidget());
    if (!box)
        return;
    texts << box->Text();
    int answer = IDOK;
    if (!m_answers.empty()) {
        answer = m_answers.front();
        m_answers.pop_front();
    }
    box->done(answer); // hidden at once, so the next poll does not see it again
}

FolderChooserAnswerer::FolderChooserAnswerer(QString choice) : m_choice(std::move(choice)) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer.start(5);
}

void FolderChooserAnswerer::Poll() {
    auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!chooser || seen)
        return;
    seen = true;
    title = chooser->windowTitle();
    startFolder = chooser->directory().absolutePath();
    if (m_choice.isEmpty()) {
        chooser->reject();
        return;
    }
    chooser->setDirectory(m_choice);
    static_cast<QDialog*>(chooser)->accept(); // what the chooser's own button does
}

void ResetCameraSettings() {
    // The test camera, should anything open one.
    ::setenv("VISTRELCV_CAMERAS", "testsrc", 1);
    g_UserDefault.SetSection(QLatin1String(kSectionBase));
    g_UserDefault.SetIndex(0);
    testenv::ClearSettings();
}
