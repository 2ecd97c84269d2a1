// The main window's placement and sizing rules, as plain arithmetic.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <Qt>

inline constexpr int kDefaultWindowPos = 101;
inline constexpr int kMaxWindowCoordinate = 9699;
inline constexpr int kSizingZone = 32;
inline constexpr QSize kMinimumFrameSize{128, 96};
// No window system makes a larger window; a stored size beyond it is cut before anything else.
inline constexpr int kMaxWindowExtent = 32767;
// How much of a window a screen must show for the user to find it and drag it back.
inline constexpr int kMinimumShownSide = 64;

// The stored placement with its fall-backs: a coordinate outside +-9699 puts the window at
// (101, 101); a width or height below 1 gives the picture size in both dimensions; a width or
// height above kMaxWindowExtent is cut to it. A window stored in the 4:3 shape every window had
// before pictures of other proportions were shown as they are takes the picture's proportions
// inside it (keeping its width for a wider picture, its height for a taller one).
QRect ResolvePlacement(int x, int y, int width, int height, QSize pictureSize);

// A placement of which some screen (their available areas, `screens`) shows at least
// kMinimumShownSide x kMinimumShownSide pixels stays as it is, also over a panel or a screen's
// edge, as long as it is no larger than that screen. Otherwise (a monitor unplugged, a smaller
// resolution) it goes onto the screen it overlaps most, else the nearest one, cut to that
// screen's size where it is larger and moved until it shows whole. No screens: unchanged.
QRect FitToScreens(const QRect& placement, const QList<QRect>& screens);

// Whether the window system tells a program where its window is. Wayland does not: there a
// stored position is neither used nor overwritten.
bool PlatformKnowsWindowPosition(const QString& platformName);

enum class FrameZone { Caption, Right, Bottom, BottomRight };
// Which zone of the window rectangle `window` the screen point `p` lies in.
FrameZone HitZone(const QRect& window, const QPoint& p);
// The cursor over a zone: a resize arrow over the sizing zones, the normal arrow elsewhere.
Qt::CursorShape CursorForZone(FrameZone zone);

// The picture size start-up takes from a camera frame of `frame` size: the largest size within
// 320 x 240 with the frame's own proportions (320 x 180 for 16:9, 60 x 240 for 1:4).
QSize ProbedFrameSize(QSize frame);
// The height that keeps the picture's proportions for `width` (integer division).
int AspectHeight(int width, QSize pictureSize);
