// Helpers shared by the capture tests: what ffprobe says about a movie, a receiver that records
// capture-state events, and camera lists for VISTRELCV_CAMERAS.
#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <opencv2/core.hpp>

namespace capturetest {

struct MovieFacts {
    bool ok = false;   // ffprobe ran and found a video stream
    QString container; // "mpeg"
    QString codec;     // "mpeg1video"
    int width = 0;
    int height = 0;
    QString frameRate; // "30/1"
    int decodedFrames = 0;
    double duration = 0; // the container's duration, seconds
    QString errors;      // whatever ffprobe complained about
};

// Decodes the whole movie with ffprobe.
MovieFacts ProbeMovie(const QString& path);

// Every frame of the movie, decoded (BGR).
QList<cv::Mat> DecodeMovie(const QString& path);

// Records the capture-state events it receives, in order.
class CStateRecorder : public QObject {
public:
    QList<QPair<int, int>> states;

protected:
    bool event(QEvent* e) override;
};

// Sets VISTRELCV_CAMERAS for the life of the object.
class CCameraList {
public:
    explicit CCameraList(const QString& entries);
    ~CCameraList();
    CCameraList(const CCameraList&) = delete;
    CCameraList& operator=(const CCameraList&) = delete;
};

// A picture that is not symmetric left to right, saved as PNG at `path`.
cv::Mat WriteTestImage(const QString& path, cv::Size size);
// A short MJPEG-in-AVI video of `frames` distinct frames made with OpenCV's writer at `path`.
bool WriteTestVideo(const QString& path, cv::Size size, int frames, double fps);

} // namespace capturetest
