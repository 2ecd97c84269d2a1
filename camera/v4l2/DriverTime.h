// Whether a V4L2 driver's buffer timestamp can be taken for the frame's capture time. Drivers say
// they stamp with CLOCK_MONOTONIC, yet some stamp on another base (uvcvideo's "clock=realtime"),
// jump (a camera's own clock recovered badly), or copy a time that is on no clock of ours. A
// timestamp that fails is replaced by the reader's own clock, so a movie placed by capture times
// lasts as long as the recording did.
#pragma once

#include <chrono>
#include <optional>

// True when `stamp` (on steady_clock's clock) can be when the frame was captured: not after the
// moment the reader got it (`grabbed`), not more than two frame periods (`period`) before its
// buffer went back to the driver (`queued`; a frame starts at most an exposure and a read-out
// before the driver takes a buffer for it), and later than the timestamp of the frame before
// (`previous`). A reader that falls behind gets old frames whose buffers went back long ago, so
// their timestamps still hold; an offset base or a jump of more than a few frames does not.
bool PlausibleDriverTime(std::chrono::steady_clock::time_point stamp,
                         std::chrono::steady_clock::time_point queued,
                         std::chrono::steady_clock::time_point grabbed,
                         std::optional<std::chrono::steady_clock::time_point> previous,
                         std::chrono::steady_clock::duration period);
