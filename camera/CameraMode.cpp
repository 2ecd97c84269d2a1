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
// What a camera that takes any size in a range is offered at, besides its largest.
constexpr QSize kCommonSizes[] = {{320, 240},   {640, 480},  {800, 600},   {1024, 768},
                                  {1280, 720},  {1280, 960}, {1600, 1200}, {1920, 1080},
                                  {2560, 1440}, {3840, 2160}};

int64_t Area(QSize size) {
    return int64_t(size.width()) * size.height();
}

bool Fits(QSize size, QSize bound) {
    return size.width() <= bound.width() && size.height() <= bound.height();
}

bool LargestFirst(QSize a, QSize b) {
    return Area(a) != Area(b) ? Area(a) > Area(b) : a.width() > b.width();
}

// `value` (at least `min`) moved down onto the steps of a range that starts at `min`.
int OntoStep(int value, int min, int step) {
    return step > 1 ? min + (value - min) / step * step : value;
}

// Which format wins a tie of rates: MJPEG needs less of the bus than raw, and H264 costs the
// most to decode.
int TieRank(uint32_t fourcc) {
    return IsMjpegFormat(fourcc) ? 2 : IsRawFormat(fourcc) ? 1 : 0;
}

// The best mode at one size, of the formats ranked below `belowRank`: raw when raw is smooth,
// else the fastest.
std::optional<CameraMode> BestAtSize(const QList<CameraMode>& modes, QSize size,
                                     int belowRank = 3) {
    std::optional<CameraMode> best;
    for (const CameraMode& mode : modes) {
        if (mode.size != size || !IsUsableFormat(mode.fourcc) || TieRank(mode.fourcc) >= belowRank)
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
        if (mode.fps > best->fps ||
            (mode.fps == best->fps && TieRank(mode.fourcc) > TieRank(best->fourcc)))
            best = mode;
    }
    return best;
}

} // namespace

bool IsRawFormat(uint32_t fourcc) {
    constexpr uint32_t kRaw[] = {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_UYVY,   V4L2_PIX_FMT_NV12,
                                 V4L2_PIX_FMT_NV21, V4L2_PIX_FMT_YUV420, V4L2_PIX_FMT_YVU420,
                                 V4L2_PIX_FMT_GREY, V4L2_PIX_FMT_Y16,    V4L2_PIX_FMT_RGB24,
                                 V4L2_PIX_FMT_BGR24};
    return std::find(std::begin(kRaw), std::end(kRaw), fourcc) != std::end(kRaw);
}

bool IsH264Format(uint32_t fourcc) {
    return fourcc == V4L2_PIX_FMT_H264;
}

bool IsMjpegFormat(uint32_t fourcc) {
    return fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_JPEG;
}

bool IsUsableFormat(uint32_t fourcc) {
    return IsRawFormat(fourcc) || IsMjpegFormat(fourcc) || IsH264Format(fourcc);
}

QList<CameraMode> CameraSizes(const QList<CameraMode>& modes) {
    QList<QSize> sizes;
    for (const CameraMode& mode : modes) {
        if (IsUsableFormat(mode.fourcc) && !sizes.contains(mode.size))
            sizes << mode.size;
    }
    std::sort(sizes.begin(), sizes.end(), LargestFirst);
    QList<CameraMode> result;
    for (QSize size : sizes)
        result << *BestAtSize(modes, size);
    return result;
}

QList<QSize> SizesInRange(QSize min, QSize max, QSize step) {
    QList<QSize> sizes;
    const auto add = [&](QSize size) {
        if (size.width() < min.width() || size.height() < min.height() || !Fits(size, max))
            return;
        size = QSize(OntoStep(size.width(), min.width(), step.width()),
                     OntoStep(size.height(), min.height(), step.height()));
        if (!size.isEmpty() && !sizes.contains(size))
            sizes << size;
    };
    add(max);
    for (QSize size : kCommonSizes)
        add(size);
    std::sort(sizes.begin(), sizes.end(), LargestFirst);
    return sizes;
}

std::optional<CameraMode> ChooseCameraMode(const QList<CameraMode>& modes,
                                           std::optional<QSize> requested) {
    if (requested) {
        if (std::optional<CameraMode> mode = BestAtSize(modes, *requested))
            return mode;
    }
    QList<CameraMode> sizes = CameraSizes(modes); // largest first
    QList<CameraMode> fitting;
    std::copy_if(sizes.begin(), sizes.end(), std::back_inserter(fitting),
                 [](const CameraMode& size) { return Fits(size.size, kLargestAutomatic); });
    if (!fitting.isEmpty())
        sizes = fitting;
    if (sizes.isEmpty())
        return std::nullopt;
    std::optional<CameraMode> fallback;
    for (const CameraMode& best : sizes) {
        if (best.fps >= kSmoothFps)
            return best;
        if (best.fps >= kUsableFps && (!fallback || best.fps > fallback->fps))
            fallback = best;
    }
    // A slow camera (a microscope, a camera without rates) still opens at its largest size.
    return fallback ? fallback : sizes.front();
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

std::optional<CameraMode> ModeAfterDamage(const QList<CameraMode>& modes,
                                          const CameraMode& failed) {
    // Down the ranks (MJPEG, raw, H264), so that two bad formats are not tried by turns.
    if (std::optional<CameraMode> other = BestAtSize(modes, failed.size, TieRank(failed.fourcc)))
        return other;
    return SmallerCameraMode(modes, CameraMode{0, failed.size, failed.fps});
}

QString DescribeCameraSize(const CameraMode& mode) {
    const QString size = QStringLiteral("%1 × %2").arg(mode.size.width()).arg(mode.size.height());
    if (mode.fps <= 0)
        return size;
    return size + QStringLiteral(" (%1 fps)").arg(std::lround(mode.fps));
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

namespace {

// "MJPG 1280 × 720 (30 fps)", for the log.
QString DescribeMode(const CameraMode& mode) {
    return QString::fromLatin1(reinterpret_cast<const char*>(&mode.fourcc), 4) + u' ' +
           DescribeCameraSize(mode);
}

} // namespace

void StepPastDamagedMode(const QList<CameraMode>& modes, std::optional<CameraMode>& mode) {
    if (!mode)
        return;
    if (std::optional<CameraMode> next = ModeAfterDamage(modes, *mode)) {
        qWarning("The camera gives only damaged frames in %s; trying %s",
                 qUtf8Printable(DescribeMode(*mode)), qUtf8Printable(DescribeMode(*next)));
        mode = next;
    }
}
