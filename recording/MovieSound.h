// The microphone's side of a recording: opens the microphone the recording asks for, hands its
// sound to the movie on the picture's clock, and when there is no sound to be had (no
// microphone, a refused or a lost one, a sound track that cannot be written) lets the movie go
// on silent and marks the recording as made without sound, once, for the window to say so.
#pragma once

#include <chrono>
#include <memory>
#include <optional>

class CMicrophone;
class CMovieOutput;
struct RecThreadParam;

class CMovieSound {
public:
    using Clock = std::chrono::steady_clock;

    // Opens the microphone of an MP4 recording that asks for one, waiting a bounded time.
    explicit CMovieSound(const RecThreadParam& param);
    ~CMovieSound();
    CMovieSound(const CMovieSound&) = delete;
    CMovieSound& operator=(const CMovieSound&) = delete;

    // Whether sound is being captured for the movie.
    bool Active() const { return m_microphone != nullptr; }
    // Hands the sound captured so far to `movie`, its times counted from `start` (the first
    // frame's capture time); sound captured at or after `until` is left out.
    void Pass(CMovieOutput& movie, Clock::time_point start,
              std::optional<Clock::time_point> until = std::nullopt);
    // The movie goes on silent from here.
    void Lose(const char* why);

private:
    const RecThreadParam& m_param;
    std::unique_ptr<CMicrophone> m_microphone;
};
