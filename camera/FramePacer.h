// Real-time pacing for sources that could deliver frames faster than a camera: frame k is due at
// start + k / fps. Like a camera's driver queue, a reader that comes late gets the frames it
// missed, the oldest first, up to the queue's depth; older ones are lost, as a driver loses them.
#pragma once

#include <chrono>
#include <cstdint>

class CFramePacer {
public:
    using Clock = std::chrono::steady_clock;
    // Frames a late reader still finds queued.
    static constexpr int64_t kQueueDepth = 4;

    explicit CFramePacer(double fps) : m_fps(fps) {}
    // Frame 0 is due at `start` rather than at the first wait.
    void StartAt(Clock::time_point start) {
        m_started = true;
        m_start = start;
        m_next = 0;
    }
    // Waits until the next frame is due; returns its number (0 for the first).
    int64_t WaitNextFrame();
    // When frame `number` was due: its capture time.
    Clock::time_point DueTime(int64_t number) const;

private:
    double m_fps;
    bool m_started = false;
    Clock::time_point m_start;
    int64_t m_next = 0;
};
