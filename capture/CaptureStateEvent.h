// The capture-state event: the controller tells the live view that a still or a recording has
// begun or ended. wParam 0 still / 1 recording; lParam 1 begun / 0 ended.
#pragma once

#include <QEvent>

inline constexpr int WM_CAPTURE_STATE = 33180; // WM_APP + 412

class CCaptureStateEvent : public QEvent {
public:
    CCaptureStateEvent(int wParam, int lParam)
        : QEvent(static_cast<QEvent::Type>(WM_CAPTURE_STATE)), m_wParam(wParam), m_lParam(lParam) {}
    int WParam() const { return m_wParam; }
    int LParam() const { return m_lParam; }

private:
    int m_wParam;
    int m_lParam;
};
