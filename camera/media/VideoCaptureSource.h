// Sources served by OpenCV's video input: video files (played at their own rate
// and started again at their end), stream URLs and GStreamer pipelines.
#pragma once

#include "camera/CameraEntry.h"
#include "camera/CameraSource.h"
#include "camera/FramePacer.h"

#include <opencv2/videoio.hpp>

#include <memory>
#include <optional>

class CVideoCaptureSource : public CCameraSource {
public:
    // Null when the entry does not open.
    static std::unique_ptr<CVideoCaptureSource> Open(const CameraEntry& entry);
    bool Grab() override;
    bool Retrieve(cv::Mat& frame) override;

private:
    CVideoCaptureSource() = default;
    bool GrabOnce();

    cv::VideoCapture m_capture;
    bool m_loop = false;
    std::optional<CFramePacer> m_pacer; // files only: devices and streams pace themselves
};

// Turns any 8-bit frame OpenCV gives (grey, BGR, BGRA) into 8-bit BGR in place; false when the
// frame is empty or of another depth.
bool NormalizeToBgr(cv::Mat& frame);
