// The frames of a recording on their way from the camera reader to the recording worker: in
// order, each with its capture time, at most about two seconds of them. The reader never waits on
// the queue; when the worker falls that far behind, new frames are refused and counted.
#pragma once

#include <opencv2/core.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

// A camera frame and when it came off the camera. The picture is never written once stamped, so
// the live view and a recording may hold the same frame.
struct StampedFrame {
    cv::Mat image; // 8-bit BGR
    std::chrono::steady_clock::time_point capturedAt;
    uint64_t number = 0; // 1 for the reader's first frame, then counting up
};

class CFrameQueue {
public:
    // At most `capacity` frames and `maxBytes` of pictures (a large camera's two seconds would
    // otherwise take gigabytes while a slow disk holds the encoder up).
    explicit CFrameQueue(size_t capacity, size_t maxBytes = size_t(256) << 20)
        : m_nCapacity(capacity), m_nMaxBytes(maxBytes) {}

    // The reader's side: appends a frame, or counts it as dropped when the queue is full. Returns
    // the count of dropped frames when this drop is one to log (the first, then every hundredth),
    // else 0: the caller logs once it holds no lock.
    uint64_t Push(const StampedFrame& frame);
    // The reader's side: no frame will follow, the camera is lost.
    void End();

    enum class PopResult { Frame, Empty, Ended };
    // The worker's side: the oldest frame, waiting up to `wait` for one. Ended once the queue is
    // empty after End.
    PopResult Pop(StampedFrame& frame, std::chrono::milliseconds wait);
    uint64_t Dropped() const;
    // The reader's side: `count` frames the camera took never reached the reader (it was late).
    void CountMissed(uint64_t count);
    uint64_t Missed() const;
    // The size the frames must cover at least (the reader decodes no larger); empty: the camera's
    // whole picture. Set before the queue is attached.
    void SetCover(cv::Size cover) { m_cover = cover; }
    cv::Size Cover() const { return m_cover; }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<StampedFrame> m_frames;
    size_t m_nCapacity;
    size_t m_nMaxBytes;
    size_t m_nBytes = 0; // of the frames held
    uint64_t m_nDropped = 0;
    uint64_t m_nMissed = 0;
    bool m_bEnded = false;
    cv::Size m_cover;
};
