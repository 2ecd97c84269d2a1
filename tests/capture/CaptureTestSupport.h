// The fixture the capture tests share: fresh settings and a controller.
#pragma once

#include "capture/CVController.h"

#include <QString>
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

} // namespace capturetest
