// The main window's placement and sizing rules, as plain arithmetic.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

inline constexpr int kDefaultWindowPos = 101;
inline constexpr int kMaxWindowCoordinate = 9699;
inline constexpr int kSizingZone = 32;
inline constexpr QSize kMinimumFrameSize{128, 96};

// The stored placement with its fall-backs: a coordinate outside +-9699 puts the window at
// (101, 101); a width or height below 1 gives the picture size in both dimensions.
QRect ResolvePlacement(int x, int y, int width, int height, QSize pictureSize);

enum class FrameZone { Caption, Right, Bottom, BottomRight };
// Which zone of the window rectangle `window` the screen point `p` lies in.
FrameZone HitZone(const QRect& window, const QPoint& p);

// The height that keeps the picture's proportions for `width` (integer division).
int AspectHeight(int width, QSize pictureSize);
