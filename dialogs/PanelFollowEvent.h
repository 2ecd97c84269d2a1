// The panel-follow event: the main window moved or the view was resized, so the capture panel
// places itself again beside the main window. No parameters.
#pragma once

#include <QEvent>

inline constexpr int WM_PANEL_FOLLOW = 32869; // WM_APP + 101

inline QEvent* NewPanelFollowEvent() {
    return new QEvent(static_cast<QEvent::Type>(WM_PANEL_FOLLOW));
}
