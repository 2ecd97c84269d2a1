// Camera sources: camera index i is the i-th V4L2 device that captures video (metadata-only
// nodes skipped), followed by the cameras only PipeWire serves ("pipewire:NODE", see
// PipeWireCameras.h), unless VISTRELCV_CAMERAS replaces the list with its ";"-separated entries:
// device paths, video or image files, stream URLs, GStreamer pipelines, "pipewire:NODE", or
// "testsrc[:WxH@FPS]".
// A source is read by one thread only, the camera reader's.
#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace cv {
class Mat;
}

class CCameraSource {
public:
    virtual ~CCameraSource() = default;
    // Takes the next frame off the camera, waiting as a camera does, without decoding it; false
    // when none came (the camera failed or the stream ended).
    virtual bool Grab() = 0;
    // Decodes the frame the last Grab took into `frame` (8-bit BGR); false when it cannot.
    virtual bool Retrieve(cv::Mat& frame) = 0;
    // Grab and Retrieve.
    bool Read(cv::Mat& frame) { return Grab() && Retrieve(frame); }
};

struct CameraInfo {
    QString location; // device path or VISTRELCV_CAMERAS entry
    QString name;     // human-readable name (the driver's card name), may be empty
};

// The cameras in index order.
QList<CameraInfo> ListCameras();
// Opens camera `index`; null when there is no such camera or it does not open.
std::unique_ptr<CCameraSource> OpenCameraSource(int index);

// Opens one camera, again and again: each call gives a new source of the same camera, or null
// when it does not open (now).
using CameraOpener = std::function<std::unique_ptr<CCameraSource>()>;
// The opener of camera `index` as the list stands now; empty when there is no such camera. A V4L2
// device is found again by its by-id name, else its bus and card name, wherever it appears after
// being unplugged, and never confused with another camera that took its number; any other entry
// is simply opened again.
CameraOpener CameraOpenerFor(int index);
