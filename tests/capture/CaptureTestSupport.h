// The fixture the capture tests share: fresh settings and a controller.
#pragma once

#include "camera/CameraList.h"
#include "camera/media/MovieSource.h" // reads movies back
#include "capture/CVController.h"

#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <memory>

namespace capturetest {

// Fresh settings of camera 0, and a controller.
class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override;
    // A new controller (the earlier one destroyed first) opened on the camera list `camera`.
    CCVController& Open(const QString& camera);

    std::unique_ptr<CCVController> controller;
};

// What ffprobe reads in a movie, decoding all of it.
struct MovieFacts {
    QString video; // codec,profile,pixel format,frame rate
    QString audio; // codec/sample rate; empty without sound
    QSize size;
    int frames = 0; // decoded
    QString format;
    double duration = 0;                         // the container's, in seconds
    double videoDuration = 0, audioDuration = 0; // each track's, in seconds
};

// Decodes the whole movie with ffprobe and expects what every recorded movie must be, by its
// extension: MPEG-1 in a program stream, 320 x 240, 30 fps; or H.264 in MP4, 4:2:0, in a profile
// every player takes. Either way decodable.
MovieFacts ProbeMovie(const QString& path);

// Starts `server`, a PulseAudio daemon of the test's own in `folder` (its runtime folder) with
// `modules` and the native protocol, and points the sound library's clients in this process at
// it; false when it did not start. The kernel ends it with the test, however the test ends.
bool StartPulseAudio(QProcess& server, const QString& folder, const QStringList& modules);

} // namespace capturetest
