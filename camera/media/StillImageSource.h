// An image file as a camera: the same picture as a steady 30 frames-per-second source.
#pragma once

#include "capture/CameraSource.h"
#include "capture/FramePacer.h"

#include <opencv2/core.hpp>

class CStillImageSource : public CCameraSource {
public:
    // `image` must be 8-bit BGR and not empty.
    explicit CStillImageSource(cv::Mat image) : m_image(std::move(image)), m_pacer(30.0) {}
    bool Grab() override;
    bool Retrieve(cv::Mat& frame) override;

private:
    cv::Mat m_image;
    CFramePacer m_pacer;
};
