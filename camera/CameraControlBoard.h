// Where the camera's controls meet the user-interface thread. The camera's reader fills it from
// its own thread (the only one that touches the camera) with the controls it has now, and runs
// what the controls window asks for between frames; the window reads it and asks through it from
// the user-interface thread, so neither waits on the other. It also holds the values the user
// chose for this camera, which every open of the camera writes before the stream starts.
#pragma once

#include "camera/CameraControls.h"

#include <atomic>
#include <cstdint>
#include <mutex>

class CCameraControlBoard {
public:
    explicit CCameraControlBoard(CameraControlValues stored = {});

    // --- user-interface thread ---
    // Counts every change of what Controls() gives.
    uint64_t Generation() const { return m_generation.load(); }
    // The camera's controls as last seen; empty for a camera that has none.
    QList<CameraControl> Controls() const;
    // Whether the camera is open now (its controls can be set).
    bool CameraOpen() const;
    // While a window watches, the reader follows every change of the camera's controls.
    void Watch(bool watching);
    // Asks for `value` on control `key`; a later request for the same control replaces it.
    void Request(const QString& key, int64_t value);
    // Asks for every control's default.
    void RequestDefaults();
    // The user's values, written at every open.
    CameraControlValues Stored() const;
    void SetStored(const CameraControlValues& values);

    // --- the camera reader's thread ---
    // A source opened with `controls` (null: a camera without controls).
    void Opened(CCameraControls* controls);
    // After each frame: the first one writes the user's values again (a camera that resets its
    // controls when the stream starts would otherwise lose them), then runs the requests and
    // takes in changes made elsewhere.
    void Service(CCameraControls& controls);
    // The source closed (lost or stopped).
    void Closed();

private:
    void Publish(QList<CameraControl> controls, bool open);

    mutable std::mutex m_mutex;
    std::atomic<uint64_t> m_generation{0};
    QList<CameraControl> m_controls;
    bool m_bOpen = false;
    bool m_bWatched = false;
    bool m_bRelist = false;     // a watcher came: list the controls afresh
    bool m_bFirstFrame = false; // the next Service follows the first frame of an open
    QMap<QString, int64_t> m_requests;
    bool m_bDefaults = false;
    CameraControlValues m_stored;
};
