// The bounded frame queue between the camera reader and the recording worker.
#include "recording/FrameQueue.h"

uint64_t CFrameQueue::Push(const StampedFrame& frame) {
    {
        std::lock_guard lock(m_mutex);
        const size_t bytes = frame.image.total() * frame.image.elemSize();
        if (m_frames.size() >= m_nCapacity ||
            (!m_frames.empty() && m_nBytes + bytes > m_nMaxBytes)) {
            // Logged at the first drop and then at every hundredth, so a long overload is seen
            // without a line per frame; the worker reports the total at the end.
            return m_nDropped++ % 100 == 0 ? m_nDropped : 0;
        }
        m_frames.push_back(frame);
        m_nBytes += bytes;
    }
    m_arrived.notify_one();
    return 0;
}

void CFrameQueue::End() {
    {
        std::lock_guard lock(m_mutex);
        m_bEnded = true;
    }
    m_arrived.notify_one();
}

CFrameQueue::PopResult CFrameQueue::Pop(StampedFrame& frame, std::chrono::milliseconds wait) {
    std::unique_lock lock(m_mutex);
    m_arrived.wait_for(lock, wait, [this] { return !m_frames.empty() || m_bEnded; });
    if (m_frames.empty())
        return m_bEnded ? PopResult::Ended : PopResult::Empty;
    frame = std::move(m_frames.front());
    m_frames.pop_front();
    m_nBytes -= frame.image.total() * frame.image.elemSize();
    return PopResult::Frame;
}

uint64_t CFrameQueue::Dropped() const {
    std::lock_guard lock(m_mutex);
    return m_nDropped;
}

void CFrameQueue::CountMissed(uint64_t count) {
    std::lock_guard lock(m_mutex);
    m_nMissed += count;
}

uint64_t CFrameQueue::Missed() const {
    std::lock_guard lock(m_mutex);
    return m_nMissed;
}
