// Window shape and translucency for frameless top-level windows. The shape is a widget mask (an X
// shape, a Wayland input region); the translucency is the window system's per-window opacity
// where a compositor applies it, else the window's own painting on a translucent background.
#include "platform/WindowShape.h"

#include <QGuiApplication>
#include <QRegion>
#include <QVariant>
#include <QWidget>

#if defined(VISTRELCV_HAVE_XCB) && QT_CONFIG(xcb)
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

namespace {

// Dynamic properties on the window: the opacity last asked for, and what its painting must add.
constexpr char kAlphaProperty[] = "vistrelcvAlpha";
constexpr char kPaintOpacityProperty[] = "vistrelcvPaintOpacity";

#if defined(VISTRELCV_HAVE_XCB) && QT_CONFIG(xcb)
template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

// A compositing manager announces itself by owning the selection _NET_WM_CM_S<screen>.
bool ScreenHasCompositor(xcb_connection_t* connection, int screen) {
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    XcbReply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.constData()),
            nullptr),
        &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false; // nobody ever registered the name, so nobody owns it
    XcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom),
                                      nullptr),
        &std::free);
    return owner && owner->owner != XCB_WINDOW_NONE;
}

bool X11CompositorRunning() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection || xcb_connection_has_error(connection))
        return false;
    // Multi-screen X displays are extinct; asking every screen keeps this free of Qt internals.
    const int screens = xcb_setup_roots_length(xcb_get_setup(connection));
    for (int screen = 0; screen < screens; ++screen) {
        if (ScreenHasCompositor(connection, screen))
            return true;
    }
    return false;
}
#else
bool X11CompositorRunning() {
    return false;
}
#endif

} // namespace

QPainterPath RoundedShape(const QRect& client, int inset) {
    QPainterPath path;
    const QRect shrunk = client.adjusted(inset, inset, -inset, -inset);
    if (shrunk.isEmpty())
        return path;
    // QRectF of a QRect reaches to x + width: the shape covers exactly the shrunk pixels.
    constexpr qreal radius = kCornerEllipse / 2.0;
    path.addRoundedRect(QRectF(shrunk), radius, radius);
    return path;
}

void SetRoundedRegion(QWidget* window, int inset) {
    if (!window)
        return;
    const QPainterPath shape = RoundedShape(window->rect(), inset);
    // A window too small for its inset stays whole rather than vanishing.
    if (shape.isEmpty()) {
        window->clearMask();
        return;
    }
    window->setMask(QRegion(shape.toFillPolygon().toPolygon()));
}

OpacityMethod ChooseOpacityMethod(const QString& platformName, bool compositorRunning) {
    if (platformName == QLatin1String("xcb"))
        return compositorRunning ? OpacityMethod::WindowSystem : OpacityMethod::Opaque;
    // Wayland has no per-window opacity; the headless platforms draw only what the window paints.
    if (platformName.startsWith(QLatin1String("wayland")) ||
        platformName == QLatin1String("offscreen") || platformName == QLatin1String("minimal"))
        return OpacityMethod::SelfPainted;
    return OpacityMethod::WindowSystem; // Windows and macOS always composite
}

bool WindowOpacitySupported() {
    const QString platform = QGuiApplication::platformName();
    const bool compositor = platform == QLatin1String("xcb") && X11CompositorRunning();
    return ChooseOpacityMethod(platform, compositor) == OpacityMethod::WindowSystem;
}

void ApplyWindowOpacity(QWidget* window, int alpha) {
    if (!window)
        return;
    alpha = qBound(0, alpha, 255);
    const QString platform = QGuiApplication::platformName();
    const bool compositor = platform == QLatin1String("xcb") && X11CompositorRunning();
    qreal paintOpacity = 1.0;
    switch (ChooseOpacityMethod(platform, compositor)) {
    case OpacityMethod::WindowSystem:
        window->setWindowOpacity(alpha / 255.0);
        break;
    case OpacityMethod::SelfPainted:
        // Must precede the first show: Wayland picks the surface format when the window is made.
        window->setAttribute(Qt::WA_TranslucentBackground);
        window->setWindowOpacity(1.0);
        paintOpacity = alpha / 255.0;
        break;
    case OpacityMethod::Opaque:
        // Without a compositor translucent pixels would show garbage; the shape still applies.
        window->setWindowOpacity(1.0);
        break;
    }
    window->setProperty(kAlphaProperty, alpha);
    window->setProperty(kPaintOpacityProperty, paintOpacity);
    window->update();
}

qreal PaintOpacity(const QWidget* window) {
    if (!window)
        return 1.0;
    const QVariant value = window->property(kPaintOpacityProperty);
    return value.isValid() ? value.toReal() : 1.0;
}

int WindowAlpha(const QWidget* window) {
    if (!window)
        return 255;
    const QVariant value = window->property(kAlphaProperty);
    return value.isValid() ? value.toInt() : 255;
}

bool StayOnTopSupported() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
