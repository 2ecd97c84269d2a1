// Helpers for the capture panel and save-settings tests: a live view whose shutter only records
// what it was asked, and fresh settings for camera 0.
#pragma once

#include "support/TestEnvironment.h"
#include "view/VistrelCVView.h"

#include <cstdlib>
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

// Settings of camera 0 start empty, and any camera opened is the test camera. Call before
// building a view.
inline void ResetCameraSettings() {
    ::setenv("VISTRELCV_CAMERAS", "testsrc", 1);
    testenv::FreshSettings();
}
