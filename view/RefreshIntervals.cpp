#include "view/RefreshIntervals.h"

#include "settings/SettingsKeys.h"

#include <algorithm>

RefreshIntervals ComputeIntervals(int perform, bool recording) {
    // A stored value the preferences cannot set (written by hand or by damage) would stop the
    // picture or overflow the arithmetic below.
    int p = std::clamp(perform, 0, kPerformMax);
    if (recording && p <= kRecordingFloorMs)
        p = kRecordingFloorMs;
    // Computed in single precision and truncated toward zero, so 333 gives 554 and 776.
    const float f = float(p);
    return {p, int(1.5f * f + 55.0f), int(2.0f * f + 110.0f)};
}

int TickInterval(const RefreshIntervals& intervals, bool pendingBefore, bool pendingAfter) {
    return (pendingBefore || pendingAfter) ? intervals.active : intervals.quiet;
}

int PaintInterval(const RefreshIntervals& intervals, bool pendingBefore, bool mousePendingAfter) {
    if (pendingBefore)
        return intervals.busy;
    if (mousePendingAfter)
        return intervals.active;
    return -1;
}
