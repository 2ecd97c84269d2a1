// Sleeps a frame source until its next frame is due.
#include "camera/FramePacer.h"

#include <algorithm>
#include <cmath>
#include <thread>

int64_t CFramePacer::WaitNextFrame() {
    const Clock::time_point now = Clock::now();
    if (!m_started) {
        m_started = true;
        m_start = now;
        m_next = 1;
        return 0;
    }
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    const auto latest = static_cast<int64_t>(std::floor(elapsed * m_fps));
    if (latest >= m_next) {
        const int64_t frame = std::max(m_next, latest - (kQueueDepth - 1));
        m_next = frame + 1;
        return frame;
    }
    const int64_t frame = m_next++;
    std::this_thread::sleep_until(DueTime(frame));
    return frame;
}

CFramePacer::Clock::time_point CFramePacer::DueTime(int64_t number) const {
    return m_start + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(double(number) / m_fps));
}
