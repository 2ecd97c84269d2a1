// Serves a decoded picture at a camera's pace.
#include "camera/media/StillImageSource.h"

#include <QFile>
#include <QFileInfo>

#include <opencv2/imgcodecs.hpp>

std::unique_ptr<CStillImageSource> CStillImageSource::Open(const QString& path) {
    cv::Mat image;
    if (!QFileInfo(path).isFile())
        return nullptr;
    try {
        image = cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
    }
    if (image.empty())
        return nullptr;
    return std::make_unique<CStillImageSource>(std::move(image));
}

bool CStillImageSource::Grab() {
    m_pacer.WaitNextFrame();
    return true;
}

bool CStillImageSource::Retrieve(cv::Mat& frame) {
    m_image.copyTo(frame);
    return true;
}
