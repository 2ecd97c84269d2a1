// "testsrc": the program's own synthetic camera. It paces its frames in real time like a camera,
// draws a picture that is not symmetric left to right (so mirroring shows) and carries a
// visible frame counter. On request it misbehaves like a failing camera (see CameraEntry).
#pragma once

#include "camera/CameraEntry.h"
#include "camera/CameraSource.h"
#include "camera/FramePacer.h"

#include <opencv2/core.hpp>

#include <memory>

class CTestPatternSource : public CCameraSource {
public:
    explicit CTestPatternSource(const CameraEntry& entry);
    // Null, with a warning that says how to write it, for a malformed entry.
    static std::unique_ptr<CTestPatternSource> Open(const CameraEntry& entry);
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
