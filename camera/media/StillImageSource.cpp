// Serves a decoded picture at a camera's pace. The file is read with Qt's image readers (the
// format is told by the content, not the name), which the program loads anyway.
#include "camera/media/StillImageSource.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <opencv2/imgproc.hpp>

std::unique_ptr<CStillImageSource> CStillImageSource::Open(const QString& path) {
    if (!QFileInfo(path).isFile())
        return nullptr;
    QImageReader reader(path);
    reader.setAutoTransform(true); // as the picture is meant to be seen (EXIF orientation)
    const QImage image = reader.read().convertToFormat(QImage::Format_RGB888);
    if (image.isNull())
        return nullptr;
    const cv::Mat rgb(image.height(), image.width(), CV_8UC3, const_cast<uchar*>(image.constBits()),
                      size_t(image.bytesPerLine()));
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    return std::make_unique<CStillImageSource>(std::move(bgr));
}

bool CStillImageSource::Grab() {
    m_pacer.WaitNextFrame();
    return true;
}

bool CStillImageSource::Retrieve(cv::Mat& frame) {
    m_image.copyTo(frame);
    return true;
}
