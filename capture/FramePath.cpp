// Frame scaling shared by the live view and the recording worker.
#include "capture/FramePath.h"

#include <QImage>

#include <opencv2/imgproc.hpp>

void ScaleFrame(const cv::Mat& frame, bool mirror, cv::Size size, cv::Mat& out, cv::Mat& flipped) {
    const cv::Mat* source = &frame;
    if (mirror) {
        cv::flip(frame, flipped, 1);
        source = &flipped;
    }
    cv::resize(*source, out, size, 0, 0, cv::INTER_CUBIC);
}

void ScaleToDisplay(const cv::Mat& frame, bool mirror, cv::Size size, QImage& image,
                    FrameScratch& scratch) {
    ScaleFrame(frame, mirror, size, scratch.scaled, scratch.flipped);
    if (image.width() != size.width || image.height() != size.height ||
        image.format() != QImage::Format_RGB32 || image.isDetached() == false)
        image = QImage(size.width, size.height, QImage::Format_RGB32);
    // RGB32 is 0xffRRGGBB per pixel: in memory B, G, R, 0xff on a little-endian machine.
    cv::Mat target(size.height, size.width, CV_8UC4, image.bits(), image.bytesPerLine());
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "RGB32 is written as BGRA bytes");
    cv::cvtColor(scratch.scaled, target, cv::COLOR_BGR2BGRA);
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
