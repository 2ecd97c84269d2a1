// Places camera frames on a movie's constant frame-rate time base by their capture time, so a
// movie lasts as long as the recording did whatever rate the camera delivers: a frame that
// arrives after a gap is preceded by copies of the previous frame, and a frame that arrives
// before its slot is due is dropped.
#pragma once

#include <cstdint>

class CMovieTimeline {
public:
    explicit CMovieTimeline(int fps) : m_fps(fps) {}

    struct Placement {
        int64_t repeats = 0; // copies of the previous frame to write first
        bool write = false;  // whether this frame is written at all
    };
    // For a frame captured `elapsedSeconds` after the first frame (which is at 0).
    Placement Place(double elapsedSeconds);
    // At the end of the recording: copies of the last frame that make the movie last until
    // `elapsedSeconds` after the first frame.
    int64_t FillUntil(double elapsedSeconds);

    int64_t Frames() const { return m_frames; }

private:
    int64_t Slot(double elapsedSeconds) const;

    int m_fps;
    int64_t m_frames = 0; // frames placed so far, repeats included
};
