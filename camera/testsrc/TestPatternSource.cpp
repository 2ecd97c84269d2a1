// The built-in test camera: paces the test pattern's frames and misbehaves on cue.
#include "capture/TestPatternSource.h"

#include "capture/TestPattern.h"

#include <chrono>
#include <thread>

CTestPatternSource::CTestPatternSource(const CameraEntry& entry)
    : m_background(DrawBackground(cv::Size(entry.width, entry.height))), m_pacer(entry.fps),
      m_entry(entry), m_opened(std::chrono::steady_clock::now()) {}

bool CTestPatternSource::Misbehave() {
    using namespace std::chrono;
    const double age = duration<double>(steady_clock::now() - m_opened).count();
    if (m_entry.hangAfter >= 0 && age >= m_entry.hangAfter) {
        for (;;) // a read that never returns: its thread can only be abandoned
            std::this_thread::sleep_for(hours(1));
    }
    if (m_entry.stallAfter >= 0 && age >= m_entry.stallAfter && !m_stalled) {
        m_stalled = true;
        std::this_thread::sleep_for(duration<double>(m_entry.stallFor));
    }
    return m_entry.stopAfter < 0 || age < m_entry.stopAfter;
}

bool CTestPatternSource::Grab() {
    if (!Misbehave())
        return false;
    m_number = m_pacer.WaitNextFrame();
    return Misbehave();
}

bool CTestPatternSource::Retrieve(cv::Mat& frame) {
    if (m_number < 0)
        return false;
    m_background.copyTo(frame);
    DrawFrameMarks(frame, m_number);
    return true;
}

std::optional<std::chrono::steady_clock::time_point> CTestPatternSource::CaptureTime() const {
    if (m_number < 0)
        return std::nullopt;
    return m_pacer.DueTime(m_number);
}
