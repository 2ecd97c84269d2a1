// Frame scaling shared by the live view and the recording worker.
//
// The mirror is applied to the scaled picture, never to the camera frame: a full camera frame is
// often the larger of the two, and OpenCV flips on one core while it scales on all of them.
#include "capture/FramePath.h"

#include <QImage>

#include <opencv2/imgproc.hpp>

namespace {

// Flips a picture of four-byte pixels left to right in place, band by band on all cores.
class CFlipBands : public cv::ParallelLoopBody {
public:
    explicit CFlipBands(cv::Mat& image)
        : m_data(image.data), m_step(image.step), m_cols(image.cols) {}

    // ThreadSanitizer cannot see OpenCV's thread pool hand this object over, and would take the
    // pool threads' reads of its fields for races with their writes in the constructor.
    __attribute__((no_sanitize("thread"))) void operator()(const cv::Range& rows) const override {
        cv::Mat band(rows.end - rows.start, m_cols, CV_8UC4, m_data + rows.start * m_step, m_step);
        cv::flip(band, band, 1);
    }

private:
    uchar* m_data;
    size_t m_step;
    int m_cols;
};

} // namespace

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
    if (mirror) // four-byte pixels flip fastest
        cv::parallel_for_(cv::Range(0, target.rows), CFlipBands(target));
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
