// "testsrc": the program's own synthetic camera. It paces its frames in real time like a camera,
// draws a picture that is not symmetric left to right (so mirroring shows) and carries a
// visible frame counter.
#pragma once

#include "capture/CameraSource.h"
#include "capture/FramePacer.h"

#include <opencv2/core.hpp>

class CTestPatternSource : public CCameraSource {
public:
    CTestPatternSource(int width, int height, double fps);
    bool Read(cv::Mat& frame) override;

private:
    cv::Mat m_background;
    CFramePacer m_pacer;
};

// The picture of frame `number` at `size` (used by the source and by tests and benchmarks).
cv::Mat DrawTestPattern(cv::Size size, int64_t number);
