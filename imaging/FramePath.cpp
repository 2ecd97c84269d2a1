// Frame scaling shared by the live view and the recording worker.
//
// The mirror is applied to the scaled picture, never to the camera frame: a full camera frame is
// often the larger of the two, and OpenCV flips on one core while it scales on all of them.
#include "imaging/FramePath.h"

#include <QImage>

#include <opencv2/imgproc.hpp>

namespace {

// Converts the scaled BGR picture into the four-byte display pixels and mirrors it, band by band
// on all cores, each band flipped while it is still in the cache from its conversion.
class CConvertMirrored : public cv::ParallelLoopBody {
public:
    CConvertMirrored(const cv::Mat& scaled, cv::Mat& display)
        : m_scaled(scaled), m_display(display) {}

    // ThreadSanitizer cannot see OpenCV's thread pool hand this object over, and would take the
    // pool threads' reads of its fields for races with their writes in the constructor.
    __attribute__((no_sanitize("thread"))) void operator()(const cv::Range& rows) const override {
        const cv::Range all = cv::Range::all();
        cv::Mat band = m_display(cv::Range(rows.start, rows.end), all);
        cv::cvtColor(m_scaled(cv::Range(rows.start, rows.end), all), band, cv::COLOR_BGR2BGRA);
        cv::flip(band, band, 1);
    }

private:
    const cv::Mat& m_scaled;
    cv::Mat& m_display;
};

} // namespace

void ScaleFrame(const cv::Mat& frame, bool mirror, cv::Size size, cv::Mat& out) {
    cv::resize(frame, out, size, 0, 0, cv::INTER_CUBIC);
    if (mirror)
        cv::flip(out, out, 1);
}

cv::Rect FitInside(cv::Size frame, cv::Size box) {
    if (frame.width <= 0 || frame.height <= 0)
        return cv::Rect(cv::Point(), box);
    // Integer arithmetic, so a picture of the box's own proportions fills it exactly.
    const int64_t wide = int64_t(frame.width) * box.height,
                  tall = int64_t(frame.height) * box.width;
    const cv::Size picture =
        wide >= tall ? cv::Size(box.width, int(std::max<int64_t>(1, tall / frame.width)))
                     : cv::Size(int(std::max<int64_t>(1, wide / frame.height)), box.height);
    return cv::Rect(cv::Point((box.width - picture.width) / 2, (box.height - picture.height) / 2),
                    picture);
}

void ScaleFrameBoxed(const cv::Mat& frame, bool mirror, cv::Size size, cv::Mat& out) {
    const cv::Rect inside = FitInside(frame.size(), size);
    if (inside.size() == size)
        return ScaleFrame(frame, mirror, size, out);
    out.create(size, frame.type());
    out.setTo(cv::Scalar::all(0));
    cv::Mat picture = out(inside);
    cv::resize(frame, picture, inside.size(), 0, 0, cv::INTER_CUBIC);
    if (mirror)
        cv::flip(picture, picture, 1);
}

void ScaleToDisplay(const cv::Mat& frame, bool mirror, cv::Size size, QImage& image,
                    FrameScratch& scratch) {
    cv::resize(frame, scratch.scaled, size, 0, 0, cv::INTER_CUBIC);
    if (image.width() != size.width || image.height() != size.height ||
        image.format() != QImage::Format_RGB32 || !image.isDetached())
        image = QImage(size.width, size.height, QImage::Format_RGB32);
    // RGB32 is 0xffRRGGBB per pixel: in memory B, G, R, 0xff on a little-endian machine.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "RGB32 is written as BGRA bytes");
    cv::Mat target(size.height, size.width, CV_8UC4, image.bits(), image.bytesPerLine());
    if (mirror) // four-byte pixels flip fastest; sixteen bands keep each within the cache
        cv::parallel_for_(cv::Range(0, target.rows), CConvertMirrored(scratch.scaled, target), 16);
    else
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
