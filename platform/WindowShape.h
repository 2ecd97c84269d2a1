// Window shape and translucency for frameless top-level windows: the rounded client-area shape
// (16 x 16 corners) and the per-window opacity, on X11 (with or without a compositor) and Wayland.
#pragma once

#include <QPainterPath>
#include <QRect>
#include <QString>

class QWidget;

inline constexpr int kCornerEllipse = 16; // width and height of the corner ellipse

// The rounded rectangle of `client` shrunk by `inset` on every side.
QPainterPath RoundedShape(const QRect& client, int inset);

// Cuts `window` to its client area shrunk by `inset`, with 16 x 16 rounded corners: outside it
// nothing is drawn and no mouse press lands.
void SetRoundedRegion(QWidget* window, int inset);

// Whether the window system can make a whole window translucent (X11 with a compositor).
bool WindowOpacitySupported();

// Applies `alpha` (0 transparent .. 255 opaque) to a top-level window. Where the window system
// has no per-window opacity (Wayland), the window's own painting applies PaintOpacity().
void ApplyWindowOpacity(QWidget* window, int alpha);

// The opacity a window must paint with itself: 1.0 where the window system applies it.
qreal PaintOpacity(const QWidget* window);

// How a window's opacity is realised on a window system.
enum class OpacityMethod {
    WindowSystem, // the compositor blends the whole window (X11 with a compositor, Windows, macOS)
    SelfPainted,  // the window paints with PaintOpacity() on a translucent background (Wayland)
    Opaque,       // nothing can blend the window (X11 without a compositor): it stays opaque
};

// The choice for a platform name (QGuiApplication::platformName()) and compositor state.
OpacityMethod ChooseOpacityMethod(const QString& platformName, bool compositorRunning);

// Whether the window system lets a window keep itself above others: not on Wayland, where only
// the compositor decides the stacking.
bool StayOnTopSupported();

// The opacity last given to ApplyWindowOpacity (255 when none was given), however realised.
int WindowAlpha(const QWidget* window);
