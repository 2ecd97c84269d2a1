// Camera sources: camera index i is the i-th V4L2 device that captures video (metadata-only
// nodes skipped), unless VISTRELCV_CAMERAS replaces the list with its ";"-separated entries:
// device paths, video or image files, stream URLs, GStreamer pipelines, or "testsrc[:WxH@FPS]".
#pragma once

#include <QList>
#include <QString>

#include <memory>

namespace cv {
class Mat;
}

class CCameraSource {
public:
    virtual ~CCameraSource() = default;
    // The next frame (8-bit BGR), waiting as a camera does; false when none came.
    virtual bool Read(cv::Mat& frame) = 0;
};

struct CameraInfo {
    QString location; // device path or VISTRELCV_CAMERAS entry
    QString name;     // human-readable name (the driver's card name), may be empty
};

// The cameras in index order.
QList<CameraInfo> ListCameras();
// Opens camera `index`; null when there is no such camera or it does not open.
std::unique_ptr<CCameraSource> OpenCameraSource(int index);
