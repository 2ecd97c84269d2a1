// Choosing a camera's mode.
#include "camera/CameraMode.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

#include <linux/videodev2.h>

namespace {

constexpr QSize kLargestAutomatic{1920, 1080};
constexpr double kSmoothFps = 25.0;
constexpr double kUsableFps = 15.0;

int64_t Area(QSize size) {
    return int64_t(size.width()) * size.height();
}

bool Fits(QSize size, QSize bound) {
    return size.width() <= bound.width() && size.height() <= bound.height();
}

// The best mode at one size: raw when raw is smooth, else the fastest (MJPEG wins a tie, as it
// needs less of the bus).
std::optional<CameraMode> BestAtSize(const QList<CameraMode>& modes, QSize size) {
    std::optional<CameraMode> best;
    for (const CameraMode& mode : modes) {
        if (mode.size != size || !IsUsableFormat(mode.fourcc))
            continue;
        if (!best) {
            best = mode;
            continue;
        }
        const bool rawSmooth = IsRawFormat(mode.fourcc) && mode.fps >= kSmoothFps;
        const bool bestRawSmooth = IsRawFormat(best->fourcc) && best->fps >= kSmoothFps;
        if (rawSmooth != bestRawSmooth) {
            if (rawSmooth)
                best = mode;
            continue;
        }
        if (mode.fps > best->fps || (mode.fps == best->fps && IsMjpegFormat(mode.fourcc)))
            best = mode;
    }
    return best;
}

} // namespace

bool IsRawFormat(uint32_t fourcc) {
    return fourcc == V4L2_PIX_FMT_YUYV;
}

bool IsMjpegFormat(uint32_t fourcc) {
    return fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_JPEG;
}

bool IsUsableFormat(uint32_t fourcc) {
    return IsRawFormat(fourcc) || IsMjpegFormat(fourcc);
}

QList<CameraMode> CameraSizes(const QList<CameraMode>& modes) {
    QList<QSize> sizes;
    for (const CameraMode& mode : modes) {
        if (IsUsableFormat(mode.fourcc) && !sizes.contains(mode.size))
            sizes << mode.size;
    }
    std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) {
        return Area(a) != Area(b) ? Area(a) > Area(b) : a.width() > b.width();
    });
    QList<CameraMode> result;
    for (QSize size : sizes) {
        CameraMode fastest = *BestAtSize(modes, size);
        for (const CameraMode& mode : modes) {
            if (mode.size == size && IsUsableFormat(mode.fourcc))
                fastest.fps = std::max(fastest.fps, mode.fps);
        }
        result << fastest;
    }
    return result;
}

std::optional<CameraMode> ChooseCameraMode(const QList<CameraMode>& modes,
                                           std::optional<QSize> requested) {
    if (requested) {
        if (std::optional<CameraMode> mode = BestAtSize(modes, *requested))
            return mode;
    }
    std::optional<CameraMode> fallback;
    for (const CameraMode& size : CameraSizes(modes)) { // largest first
        const CameraMode best = *BestAtSize(modes, size.size);
        if (Fits(best.size, kLargestAutomatic) && best.fps >= kSmoothFps)
            return best;
        if (best.fps >= kUsableFps && (!fallback || best.fps > fallback->fps))
            fallback = best;
    }
    return fallback;
}

std::optional<CameraMode> SmallerCameraMode(const QList<CameraMode>& modes,
                                            const CameraMode& failed) {
    if (IsRawFormat(failed.fourcc)) {
        for (const CameraMode& mode : modes) {
            if (mode.size == failed.size && IsMjpegFormat(mode.fourcc))
                return mode;
        }
    }
    for (const CameraMode& size : CameraSizes(modes)) { // largest first
        if (Area(size.size) < Area(failed.size))
            return BestAtSize(modes, size.size);
    }
    return std::nullopt;
}

QString DescribeCameraSize(const CameraMode& mode) {
    return QStringLiteral("%1 × %2 (%3 fps)")
        .arg(mode.size.width())
        .arg(mode.size.height())
        .arg(std::lround(mode.fps));
}

QString CaptureSizeText(std::optional<QSize> size) {
    if (!size)
        return {};
    return QStringLiteral("%1x%2").arg(size->width()).arg(size->height());
}

std::optional<QSize> ParseCaptureSize(const QString& text) {
    static const QRegularExpression kSize(QStringLiteral(R"(^\s*(\d{1,5})x(\d{1,5})\s*$)"));
    const QRegularExpressionMatch match = kSize.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QSize size(match.captured(1).toInt(), match.captured(2).toInt());
    if (size.isEmpty())
        return std::nullopt;
    return size;
}
