#include "app/FramePlacement.h"

namespace {

bool InRange(int coordinate) {
    return coordinate >= -kMaxWindowCoordinate && coordinate <= kMaxWindowCoordinate;
}

} // namespace

QRect ResolvePlacement(int x, int y, int width, int height, QSize pictureSize) {
    if (!InRange(x) || !InRange(y))
        x = y = kDefaultWindowPos;
    if (width < 1 || height < 1) {
        width = pictureSize.width();
        height = pictureSize.height();
    }
    return QRect(x, y, width, height);
}

FrameZone HitZone(const QRect& window, const QPoint& p) {
    // QRect::right() is the last pixel; the zones run up to the window's outer edge.
    const int right = window.x() + window.width();
    const int bottom = window.y() + window.height();
    const bool inBottom = bottom - kSizingZone < p.y() && p.y() < bottom;
    if (right - kSizingZone < p.x() && p.x() < right)
        return inBottom ? FrameZone::BottomRight : FrameZone::Right;
    return inBottom ? FrameZone::Bottom : FrameZone::Caption;
}

int AspectHeight(int width, QSize pictureSize) {
    if (pictureSize.width() <= 0)
        return pictureSize.height();
    return int(qint64(width) * pictureSize.height() / pictureSize.width());
}
