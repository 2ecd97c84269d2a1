// Still formats: JPEG through TurboJPEG's compressor (baseline, 4:2:0, accurate DCT, as
// libjpeg's defaults have it); PNG through Qt's writer.
#include "imaging/StillEncoder.h"

#include <QBuffer>
#include <QImage>

#include <turbojpeg.h>

QByteArray EncodeJpeg(const cv::Mat& bgr, int quality) {
    if (bgr.empty() || bgr.type() != CV_8UC3)
        return {};
    tjhandle handle = tjInitCompress();
    if (!handle)
        return {};
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int failed = tjCompress2(handle, bgr.data, bgr.cols, int(bgr.step[0]), bgr.rows, TJPF_BGR,
                                   &jpeg, &size, TJSAMP_420, quality, 0);
    QByteArray encoded;
    if (!failed)
        encoded = QByteArray(reinterpret_cast<const char*>(jpeg), qsizetype(size));
    tjFree(jpeg);
    tjDestroy(handle);
    return encoded;
}

QByteArray EncodeStill(const cv::Mat& bgr, const QString& extension) {
    const QString kind = extension.toLower();
    if (kind == QLatin1String("jpg") || kind == QLatin1String("jpeg"))
        return EncodeJpeg(bgr, kStillJpegQuality);
    if (kind == QLatin1String("png") && !bgr.empty() && bgr.type() == CV_8UC3) {
        // Lossless, with Qt's own writer.
        QByteArray encoded;
        QBuffer buffer(&encoded);
        const QImage image(bgr.data, bgr.cols, bgr.rows, qsizetype(bgr.step[0]),
                           QImage::Format_BGR888);
        if (buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"))
            return encoded;
    }
    return {};
}
