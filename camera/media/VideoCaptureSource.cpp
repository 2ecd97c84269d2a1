// Opens OpenCV captures with the settings each kind of source needs.
#include "camera/media/VideoCaptureSource.h"

#include "camera/media/GstElements.h"

#include <QFile>
#include <QFileInfo>

#include <opencv2/imgproc.hpp>

namespace {

bool OpenStream(cv::VideoCapture& capture, const std::string& url) {
    const std::vector<int> timeouts = {cv::CAP_PROP_OPEN_TIMEOUT_MSEC, 5000,
                                       cv::CAP_PROP_READ_TIMEOUT_MSEC, 2000};
    try {
        if (capture.open(url, cv::CAP_FFMPEG, timeouts))
            return true;
    } catch (const cv::Exception&) {
    }
    return capture.open(url, cv::CAP_ANY);
}

// OpenCV reports a pipeline with an element that is not installed only as one that did not open.
bool OpenPipeline(cv::VideoCapture& capture, const QString& pipeline) {
    const QStringList missing = MissingGstElements(pipeline);
    if (!missing.isEmpty()) {
        qWarning("VISTRELCV_CAMERAS: GStreamer element not installed: %s (in \"%s\")",
                 qUtf8Printable(missing.join(QLatin1String(", "))), qUtf8Printable(pipeline));
        return false;
    }
    return capture.open(QFile::encodeName(pipeline).toStdString(), cv::CAP_GSTREAMER);
}

} // namespace

bool NormalizeToBgr(cv::Mat& frame) {
    if (frame.empty() || frame.depth() != CV_8U)
        return false;
    if (frame.channels() == 1)
        cv::cvtColor(frame, frame, cv::COLOR_GRAY2BGR);
    else if (frame.channels() == 4)
        cv::cvtColor(frame, frame, cv::COLOR_BGRA2BGR);
    return frame.channels() == 3;
}

std::unique_ptr<CVideoCaptureSource> CVideoCaptureSource::Open(const CameraEntry& entry) {
    std::unique_ptr<CVideoCaptureSource> source(new CVideoCaptureSource);
    const std::string location = QFile::encodeName(entry.location).toStdString();
    bool opened = false;
    try {
        switch (entry.kind) {
        case CameraEntry::Kind::Stream:
            opened = OpenStream(source->m_capture, location);
            break;
        case CameraEntry::Kind::Pipeline:
            opened = OpenPipeline(source->m_capture, entry.location);
            break;
        case CameraEntry::Kind::VideoFile: {
            opened = QFileInfo::exists(entry.location) &&
                     (source->m_capture.open(location, cv::CAP_FFMPEG) ||
                      source->m_capture.open(location, cv::CAP_ANY));
            const double fps = opened ? source->m_capture.get(cv::CAP_PROP_FPS) : 0.0;
            source->m_pacer.emplace(fps >= 1.0 && fps <= 240.0 ? fps : 30.0);
            source->m_loop = true;
            break;
        }
        default:
            break;
        }
    } catch (const cv::Exception&) {
        opened = false;
    }
    if (!opened)
        return nullptr;
    return source;
}

bool CVideoCaptureSource::GrabOnce() {
    try {
        return m_capture.grab();
    } catch (const cv::Exception&) {
        return false;
    }
}

bool CVideoCaptureSource::Grab() {
    if (m_pacer)
        m_pacer->WaitNextFrame();
    if (GrabOnce())
        return true;
    if (!m_loop)
        return false;
    // The end of a video file: start again, like a camera that never stops.
    try {
        m_capture.set(cv::CAP_PROP_POS_FRAMES, 0);
    } catch (const cv::Exception&) {
        return false;
    }
    return GrabOnce();
}

bool CVideoCaptureSource::Retrieve(cv::Mat& frame) {
    try {
        return m_capture.retrieve(frame) && NormalizeToBgr(frame);
    } catch (const cv::Exception&) {
        return false;
    }
}
