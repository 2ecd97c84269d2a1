// The camera's controls between its reader and the user-interface thread.
#include "camera/CameraControlBoard.h"

#include <utility>

CCameraControlBoard::CCameraControlBoard(CameraControlValues stored)
    : m_stored(std::move(stored)) {}

QList<CameraControl> CCameraControlBoard::Controls() const {
    std::lock_guard lock(m_mutex);
    return m_controls;
}

bool CCameraControlBoard::CameraOpen() const {
    std::lock_guard lock(m_mutex);
    return m_bOpen;
}

void CCameraControlBoard::Watch(bool watching) {
    std::lock_guard lock(m_mutex);
    m_bRelist = watching && !m_bWatched;
    m_bWatched = watching;
}

void CCameraControlBoard::Request(const QString& key, int64_t value) {
    std::lock_guard lock(m_mutex);
    m_requests.insert(key, value);
}

void CCameraControlBoard::RequestDefaults() {
    std::lock_guard lock(m_mutex);
    m_requests.clear();
    m_bDefaults = true;
}

CameraControlValues CCameraControlBoard::Stored() const {
    std::lock_guard lock(m_mutex);
    return m_stored;
}

void CCameraControlBoard::SetStored(const CameraControlValues& values) {
    std::lock_guard lock(m_mutex);
    m_stored = values;
}

void CCameraControlBoard::Opened(CCameraControls* controls) {
    // Listed once at every open, watched or not, so the menu knows whether there are controls.
    Publish(controls ? controls->List() : QList<CameraControl>(), controls != nullptr);
    std::lock_guard lock(m_mutex);
    m_bFirstFrame = controls != nullptr;
}

void CCameraControlBoard::Service(CCameraControls& controls) {
    QMap<QString, int64_t> requests;
    bool defaults = false, first = false, relist = false, watched = false;
    CameraControlValues stored;
    {
        std::lock_guard lock(m_mutex);
        std::swap(requests, m_requests);
        defaults = std::exchange(m_bDefaults, false);
        first = std::exchange(m_bFirstFrame, false);
        relist = std::exchange(m_bRelist, false);
        watched = m_bWatched;
        if (first)
            stored = m_stored;
    }
    if (first)
        ApplyCameraControls(controls, stored);
    if (defaults)
        ResetCameraControls(controls);
    if (!requests.isEmpty()) {
        for (const CameraControl& control : Controls()) { // as the window saw them
            if (requests.contains(control.key) && control.Settable())
                controls.Set(control, requests.value(control.key));
        }
    }
    // Events are taken in whether or not anyone watches, so they never pile up.
    const bool changed = controls.TakeChanges();
    if (first || defaults || relist || (watched && (changed || !requests.isEmpty())))
        Publish(controls.List(), true);
}

void CCameraControlBoard::Closed() {
    std::lock_guard lock(m_mutex);
    m_bOpen = false;
    m_bFirstFrame = false;
    ++m_generation;
}

void CCameraControlBoard::Publish(QList<CameraControl> controls, bool open) {
    std::lock_guard lock(m_mutex);
    m_controls = std::move(controls);
    m_bOpen = open;
    ++m_generation;
}
