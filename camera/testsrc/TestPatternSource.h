// "testsrc": the program's own synthetic camera. It paces its frames in real time like a camera,
// draws a picture that is not symmetric left to right (so mirroring shows) and carries a
// visible frame counter. On request it misbehaves like a failing camera (see CameraEntry).
#pragma once

#include "capture/CameraEntry.h"
#include "capture/CameraSource.h"
#include "capture/FramePacer.h"

#include <opencv2/core.hpp>

class CTestPatternSource : public CCameraSource {
public:
    explicit CTestPatternSource(const CameraEntry& entry);
    bool Grab() override;
    bool Retrieve(cv::Mat& frame) override;
    std::optional<std::chrono::steady_clock::time_point> CaptureTime() const override;

private:
    // The failure the entry asks for at this moment: false when reads fail from now on.
    bool Misbehave();

    cv::Mat m_background;
    CFramePacer m_pacer;
    CameraEntry m_entry;
    std::chrono::steady_clock::time_point m_opened;
    bool m_stalled = false;
    int64_t m_number = -1;
};
