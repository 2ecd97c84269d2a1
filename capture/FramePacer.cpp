// Sleeps a frame source until its next frame is due.
#include "capture/FramePacer.h"

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
        m_next = latest + 1;
        return latest;
    }
    const int64_t frame = m_next++;
    std::this_thread::sleep_until(m_start +
                                  std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(double(frame) / m_fps)));
    return frame;
}
