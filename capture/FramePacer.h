// Real-time pacing for sources that could deliver frames faster than a camera: frame k is due at
// start + k / fps. A reader that comes late gets the latest due frame at once and the ones it
// missed are skipped, as a camera with a one-frame queue skips them.
#pragma once

#include <chrono>
#include <cstdint>

class CFramePacer {
public:
    explicit CFramePacer(double fps) : m_fps(fps) {}
    // Waits until the next frame is due; returns its number (0 for the first).
    int64_t WaitNextFrame();

private:
    using Clock = std::chrono::steady_clock;
    double m_fps;
    bool m_started = false;
    Clock::time_point m_start;
    int64_t m_next = 0;
};
