// The test camera's picture: not symmetric left to right (so mirroring shows), with a frame
// counter and a marker that crosses the picture once every 60 frames. Kept free of Qt so that the
// V4L2 test device draws the same picture.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>

// The part of the picture that is the same in every frame.
cv::Mat DrawBackground(cv::Size size);
// Draws frame `number`'s counter and marker onto a copy of the background.
void DrawFrameMarks(cv::Mat& image, int64_t number);
// The picture of frame `number` at `size`.
cv::Mat DrawTestPattern(cv::Size size, int64_t number);
