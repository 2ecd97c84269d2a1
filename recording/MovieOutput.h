// How a recording's frames become a movie. MPEG-1 (the program's first movie type) places them on
// a constant 30 fps time base at 320 x 240; MP4 takes each at its capture time at the camera's
// size. The worker's loop is the same for both.
#pragma once

#include <QString>

#include <opencv2/core.hpp>

#include <cstdint>
#include <memory>
#include <optional>

struct RecThreadParam;
struct StampedFrame;

class CMovieOutput {
public:
    virtual ~CMovieOutput() = default;
    // Whether the movie Open creates gets a sound track (only MP4 can).
    virtual void WithSound(bool) {}
    // Mono samples at 48 kHz, the first captured `elapsed` seconds after the first frame; false
    // when the movie takes no (more) sound.
    virtual bool TakeSound(const float*, int, double) { return false; }
    // The movie goes on without (more) sound.
    virtual void EndSound() {}
    // Creates the movie at the record's path with the first frame, at 0 s.
    virtual bool Open(const RecThreadParam& param, const StampedFrame& first) = 0;
    // A frame captured `elapsed` seconds after the first.
    virtual bool Take(const StampedFrame& frame, double elapsed) = 0;
    // At a stop `elapsed` seconds after the first frame: the movie lasts until then.
    virtual bool LastUntil(double elapsed) = 0;
    // For an encoder that has fallen behind the camera: moves it to a faster setting within the
    // movie; false when it has none left.
    virtual bool SpeedUp() { return false; }
    // The encoder's setting now, for the log.
    virtual QString Pace() const { return {}; }
    virtual bool Flush() = 0;
    // Finishes and closes the file; safe to call twice.
    virtual bool Close() = 0;
    virtual int64_t FramesWritten() const = 0;
    virtual QString Error() const = 0;
};

// The output for the movie type of `codec` (a four-character code of the movie table).
std::unique_ptr<CMovieOutput> MakeMovieOutput(uint32_t codec);

// The size an MP4 movie of a camera whose frames are `frame` takes: the camera's own, scaled down
// to fit 1920 x 1080 where larger, or half of that when `smaller`, in even numbers of pixels (as
// 4:2:0 needs).
cv::Size Mp4MovieSize(cv::Size frame, bool smaller = false);

// The size a movie of type `codec` needs the camera's frames decoded at, at least (empty: the
// whole picture). An MP4 movie whose encoder could not keep up at its fastest setting cannot
// change its size mid-way (one size per file), so the next MP4 movies are made at half size,
// until one of them keeps up without help.
cv::Size MovieCover(uint32_t codec);
