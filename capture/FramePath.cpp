// Frame scaling shared by the live view and the recording worker.
//
// The mirror is applied to the scaled picture, never to the camera frame: a full camera frame is
// often the larger of the two, and OpenCV flips on one core while it scales on all of them.
#include "capture/FramePath.h"

#include <QImage>

#include <opencv2/imgproc.hpp>

void ScaleFrame(const cv::Mat& frame, bool mirror, cv::Size size, cv::Mat& out, cv::Mat& flipped) {
    if (!mirror) {
        cv::resize(frame, out, size, 0, 0, cv::INTER_CUBIC);
        return;
    }
    cv::resize(frame, flipped, size, 0, 0, cv::INTER_CUBIC);
    cv::flip(flipped, out, 1);
}

void ScaleToDisplay(const cv::Mat& frame, bool mirror, cv::Size size, QImage& image,
                    FrameScratch& scratch) {
    cv::resize(frame, scratch.scaled, size, 0, 0, cv::INTER_CUBIC);
    if (image.width() != size.width || image.height() != size.height ||
        image.format() != QImage::Format_RGB32 || image.isDetached() == false)
        image = QImage(size.width, size.height, QImage::Format_RGB32);
    // RGB32 is 0xffRRGGBB per pixel: in memory B, G, R, 0xff on a little-endian machine.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "RGB32 is written as BGRA bytes");
    cv::Mat target(size.height, size.width, CV_8UC4, image.bits(), image.bytesPerLine());
    cv::cvtColor(scratch.scaled, target, cv::COLOR_BGR2BGRA);
    // Four-byte pixels flip fastest. The flip stays on one core: a parallel loop written here would
    // run on OpenCV's thread pool, whose hand-offs ThreadSanitizer cannot see.
    if (mirror)
        cv::flip(target, target, 1);
}

cv::Mat DisplayImageToBgr(const QImage& image) {
    if (image.isNull())
        return {};
    const QImage rgb32 = image.convertToFormat(QImage::Format_RGB32);
    const cv::Mat bgra(rgb32.height(), rgb32.width(), CV_8UC4,
                       const_cast<uchar*>(rgb32.constBits()), rgb32.bytesPerLine());
    cv::Mat bgr;
    cv::cvtColor(bgra, bgr, cv::COLOR_BGRA2BGR);
    return bgr;
}
