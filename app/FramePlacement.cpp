#include "app/FramePlacement.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool InRange(int coordinate) {
    return coordinate >= -kMaxWindowCoordinate && coordinate <= kMaxWindowCoordinate;
}

qint64 Area(const QRect& r) {
    return r.isEmpty() ? 0 : qint64(r.width()) * r.height();
}

// Squared distance between the centre of `a` and the nearest point of `b`.
qint64 Distance(const QRect& a, const QRect& b) {
    const QPoint c = a.center();
    const qint64 dx = c.x() - std::clamp(c.x(), b.left(), b.right());
    const qint64 dy = c.y() - std::clamp(c.y(), b.top(), b.bottom());
    return dx * dx + dy * dy;
}

// Within rounding of 4:3, as a window sized by its corner is.
bool FourByThree(QSize size) {
    return std::abs(qint64(size.height()) * 4 - qint64(size.width()) * 3) <= 3;
}

} // namespace

QRect ResolvePlacement(int x, int y, int width, int height, QSize pictureSize) {
    if (!InRange(x) || !InRange(y))
        x = y = kDefaultWindowPos;
    if (width < 1 || height < 1) {
        width = pictureSize.width();
        height = pictureSize.height();
    }
    QSize size(std::min(width, kMaxWindowExtent), std::min(height, kMaxWindowExtent));
    if (FourByThree(size) && !pictureSize.isEmpty() && !FourByThree(pictureSize))
        size = pictureSize.scaled(size, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return QRect(QPoint(x, y), size);
}

QRect FitToScreens(const QRect& placement, const QList<QRect>& screens) {
    const auto showsEnough = [&placement](const QRect& screen) {
        const QRect shown = screen.intersected(placement);
        return shown.width() >= kMinimumShownSide && shown.height() >= kMinimumShownSide &&
               placement.width() <= screen.width() && placement.height() <= screen.height();
    };
    if (screens.isEmpty() || std::any_of(screens.begin(), screens.end(), showsEnough))
        return placement;
    const QRect target =
        *std::min_element(screens.begin(), screens.end(), [&](const QRect& a, const QRect& b) {
            const qint64 overlapA = Area(a.intersected(placement));
            const qint64 overlapB = Area(b.intersected(placement));
            if (overlapA != overlapB)
                return overlapA > overlapB;
            return Distance(placement, a) < Distance(placement, b);
        });
    QRect fitted(placement.topLeft(), placement.size().boundedTo(target.size()));
    fitted.moveLeft(std::clamp(fitted.left(), target.left(), target.right() - fitted.width() + 1));
    fitted.moveTop(std::clamp(fitted.top(), target.top(), target.bottom() - fitted.height() + 1));
    return fitted;
}

bool PlatformKnowsWindowPosition(const QString& platformName) {
    return !platformName.startsWith(QLatin1String("wayland"));
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

Qt::CursorShape CursorForZone(FrameZone zone) {
    switch (zone) {
    case FrameZone::Right:
        return Qt::SizeHorCursor;
    case FrameZone::Bottom:
        return Qt::SizeVerCursor;
    case FrameZone::BottomRight:
        return Qt::SizeFDiagCursor;
    case FrameZone::Caption:
        break;
    }
    return Qt::ArrowCursor;
}

int AspectHeight(int width, QSize pictureSize) {
    if (pictureSize.width() <= 0)
        return pictureSize.height();
    return int(qint64(width) * pictureSize.height() / pictureSize.width());
}

QSize ProbedFrameSize(QSize frame) {
    constexpr QSize kBound{320, 240};
    if (frame.isEmpty())
        return kBound;
    return frame.scaled(kBound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}
