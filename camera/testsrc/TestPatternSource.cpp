// The built-in test camera: paces the test pattern's frames and misbehaves on cue.
#include "camera/testsrc/TestPatternSource.h"

#include "camera/testsrc/TestPattern.h"

#include <QtGlobal>

#include <chrono>
#include <cmath>
#include <thread>

CTestPatternSource::CTestPatternSource(const CameraEntry& entry)
    : m_background(DrawBackground(cv::Size(entry.width, entry.height))), m_pacer(entry.fps),
      m_entry(entry), m_opened(std::chrono::steady_clock::now()) {
    if (entry.flash) { // the first frame at the next whole frame period of the clock
        const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(1.0 / entry.fps));
        const auto since = m_opened.time_since_epoch();
        m_pacer.StartAt(std::chrono::steady_clock::time_point(since - since % period + period));
    }
}

std::unique_ptr<CTestPatternSource> CTestPatternSource::Open(const CameraEntry& entry) {
    if (!entry.valid) {
        qWarning("VISTRELCV_CAMERAS: \"%s\" is not a test source; write testsrc or "
                 "testsrc:WIDTHxHEIGHT@FPS (16x16 to 7680x4320, 1 to 240 fps), optionally "
                 "followed by ,stop=S ,stall=S+S ,hang=S or ,flash",
                 qUtf8Printable(entry.location));
        return nullptr;
    }
    return std::make_unique<CTestPatternSource>(entry);
}

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
    if (m_entry.flash) {
        const double at =
            std::chrono::duration<double>(m_pacer.DueTime(m_number).time_since_epoch()).count();
        if (std::abs(at - std::round(at)) < 0.5 / m_entry.fps)
            frame.setTo(cv::Scalar::all(255));
    }
    return true;
}

std::optional<std::chrono::steady_clock::time_point> CTestPatternSource::CaptureTime() const {
    if (m_number < 0)
        return std::nullopt;
    return m_pacer.DueTime(m_number);
}
