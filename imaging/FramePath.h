// The path of one camera frame to the screen and to the movie: mirror, bicubic scale, and for the
// screen a conversion into the form the painter draws without converting again.
#pragma once

#include <opencv2/core.hpp>

class QImage;

// Scales `frame` (8-bit BGR) to `size` with bicubic interpolation into `out` (8-bit BGR),
// mirrored left to right when `mirror` is set. The scaled picture is what is mirrored, in place;
// as the fixed-point weights of the bicubic filter are not exactly symmetric, it may differ by
// one level in a pixel from a scale of the mirrored frame.
void ScaleFrame(const cv::Mat& frame, bool mirror, cv::Size size, cv::Mat& out);

// Where a picture of `frame` size goes in a `box` without changing its proportions: as large as
// fits, centred; the rest of the box is bands (above and below, or left and right).
cv::Rect FitInside(cv::Size frame, cv::Size box);
// ScaleFrame into a picture of `size` that keeps the frame's proportions: the frame fills
// FitInside, with black bands around it.
void ScaleFrameBoxed(const cv::Mat& frame, bool mirror, cv::Size size, cv::Mat& out);

// Buffers reused from grab to grab, so a steady window size allocates nothing per frame.
struct FrameScratch {
    cv::Mat scaled;
};

// The display path: scales and mirrors as ScaleFrame and converts into `image` (Format_RGB32,
// reallocated only when the size changes), which QPainter draws 1:1 without a per-paint
// conversion. The mirror is folded into the conversion.
void ScaleToDisplay(const cv::Mat& frame, bool mirror, cv::Size size, QImage& image,
                    FrameScratch& scratch);

// The BGR pixels of an RGB32 image, as a copy.
cv::Mat DisplayImageToBgr(const QImage& image);
