// An image file as a camera: the same picture as a steady 30 frames-per-second source.
#pragma once

#include "camera/CameraSource.h"
#include "camera/FramePacer.h"

#include <QString>

#include <opencv2/core.hpp>

#include <memory>

class CStillImageSource : public CCameraSource {
public:
    // `image` must be 8-bit BGR and not empty.
    explicit CStillImageSource(cv::Mat image) : m_image(std::move(image)), m_pacer(30.0) {}
    // The picture in the image file `path`; null when it is not a picture that can be read.
    static std::unique_ptr<CStillImageSource> Open(const QString& path);
    bool Grab() override;
    bool Retrieve(cv::Mat& frame) override;

private:
    cv::Mat m_image;
    CFramePacer m_pacer;
};
