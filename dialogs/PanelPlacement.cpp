// The capture panel's placement beside the main window.
#include "dialogs/PanelPlacement.h"

namespace {

bool IsEmpty(const EdgeRect& r) {
    return r.Width() <= 0 && r.Height() <= 0;
}

} // namespace

EdgeRect ToEdgeRect(const QRect& rect) {
    return {rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()};
}

std::optional<QPoint> PanelPosition(const PanelPlacementInput& in) {
    const EdgeRect& p = in.panel;
    const EdgeRect& m = in.main;
    if (IsEmpty(m) || IsEmpty(p))
        return std::nullopt;

    const int h = p.Height();
    // C++ integer division truncates toward zero, which is the halving wanted here.
    const int x = (m.left + m.right) / 2 - p.Width() / 2;
    int y = m.bottom - in.edge - in.caption;
    if (y + h > in.virtualBottom) {
        y = m.top + in.edge - h;
        if (y < in.virtualTop)
            y = m.bottom - h - in.edge - in.caption;
    }
    return QPoint(x, y);
}
