// JPEG frames as webcams encode them, for the test device and the decoder's tests.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

// `bgr` as baseline JPEG, 4:2:0, at `quality`, with a restart marker every `restartMcus` MCUs
// (0: none). libjpeg's own interface, since TurboJPEG 2.1 cannot write restart markers.
std::vector<uchar> EncodeCameraJpeg(const cv::Mat& bgr, int quality, int restartMcus = 0);
