// The plausibility of a driver's timestamp.
#include "camera/v4l2/DriverTime.h"

bool PlausibleDriverTime(std::chrono::steady_clock::time_point stamp,
                         std::chrono::steady_clock::time_point queued,
                         std::chrono::steady_clock::time_point grabbed,
                         std::optional<std::chrono::steady_clock::time_point> previous,
                         std::chrono::steady_clock::duration period) {
    return stamp <= grabbed && stamp >= queued - 2 * period && (!previous || stamp > *previous);
}
