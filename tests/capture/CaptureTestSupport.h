// Helpers shared by the capture tests: the reference scale of a frame, a receiver that records
// capture-state events, and a fixture with fresh settings and a controller.
#pragma once

#include "capture/CVController.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <gtest/gtest.h>

#include <memory>

#include <opencv2/core.hpp>

namespace capturetest {

using States = QList<QPair<int, int>>;

// The bicubic cv::resize of `frame`, flipped left to right first when `mirror`.
cv::Mat ScaledReference(const cv::Mat& frame, bool mirror, cv::Size size);

// Grabs until a new frame came (GrabFrame never waits for one); false after `limitMs`.
bool GrabNewFrame(CCVController& controller, int width, int height, int limitMs = 5000);

// Records the capture-state events it receives, in order.
class CStateRecorder : public QObject {
public:
    States states;

protected:
    bool event(QEvent* e) override;
};

// Fresh settings of camera 0, and a controller that reports to `view`.
class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override;
    // A new controller (the earlier one destroyed first) opened on the camera list `camera`.
    CCVController& Open(const QString& camera);

    CStateRecorder view;
    std::unique_ptr<CCVController> controller;
};

} // namespace capturetest
