// The fixture the capture tests share: fresh settings and a controller.
#pragma once

#include "camera/CameraList.h"
#include "camera/media/MovieSource.h" // reads movies back
#include "capture/CVController.h"

#include <QString>
#include <gtest/gtest.h>

#include <memory>
#include <utility>

namespace capturetest {

// Fresh settings of camera 0, and a controller.
class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override;
    // A new controller (the earlier one destroyed first) opened on the camera list `camera`.
    CCVController& Open(const QString& camera);

    std::unique_ptr<CCVController> controller;
};

// Decodes the whole movie with ffprobe and expects what every recorded movie must be: MPEG-1 in
// a program stream, 320 x 240, 30 fps, decodable. Returns the frames decoded and the container's
// duration in seconds.
std::pair<int, double> ProbeMovie(const QString& path);

} // namespace capturetest
