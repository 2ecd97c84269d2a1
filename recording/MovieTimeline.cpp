// The arithmetic of frame placement.
#include "recording/MovieTimeline.h"

#include <cmath>

int64_t CMovieTimeline::Slot(double elapsedSeconds) const {
    return elapsedSeconds <= 0.0 ? 0 : std::llround(elapsedSeconds * m_fps);
}

CMovieTimeline::Placement CMovieTimeline::Place(double elapsedSeconds) {
    const int64_t slot = Slot(elapsedSeconds);
    Placement placement;
    if (slot < m_frames)
        return placement; // its slot is already filled: the camera is faster than the movie
    placement.repeats = m_frames == 0 ? 0 : slot - m_frames;
    placement.write = true;
    m_frames += placement.repeats + 1;
    return placement;
}

int64_t CMovieTimeline::FillUntil(double elapsedSeconds) {
    if (m_frames == 0)
        return 0;
    const int64_t end = Slot(elapsedSeconds);
    const int64_t repeats = end > m_frames ? end - m_frames : 0;
    m_frames += repeats;
    return repeats;
}
