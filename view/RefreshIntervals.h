// The live view's refresh arithmetic: the three tick intervals derived from "Perform", and which
// interval a tick or a paint chooses from what was pending.
#pragma once

inline constexpr int kRecordingFloorMs = 550;

struct RefreshIntervals {
    int quiet;  // nothing pending: the "Perform" value
    int active; // input pending or minimised: 1.5 x Perform + 55
    int busy;   // messages pending at paint time: 2 x Perform + 110
};

// "Perform" is first clamped to what the preferences can set (0 .. kPerformMax). While recording,
// a period of 550 ms or less is raised to 550 ms.
RefreshIntervals ComputeIntervals(int perform, bool recording);

// Event classes, with the bit values of the desktop queue-status probe they stand for.
enum PendingClass : unsigned {
    kPendingKey = 0x1,
    kPendingMouseMove = 0x2,
    kPendingMouseButton = 0x4,
    kPendingPosted = 0x8,
    kPendingTimer = 0x10,
    kPendingPaint = 0x20,
    kPendingAll = 0x4FF,
    kPendingAllButPaint = 0x4DF,
    kPendingMouse = kPendingMouseMove | kPendingMouseButton,
};

// A tick: the interval to set after it. `pendingBefore` is the probe before the grab,
// `pendingAfter` the probe for anything but paint after it.
int TickInterval(const RefreshIntervals& intervals, bool pendingBefore, bool pendingAfter);

// A paint: the interval to set, or -1 to leave it unchanged. `pendingBefore` is the probe for
// anything before drawing, `mousePendingAfter` the probe for mouse events after it.
int PaintInterval(const RefreshIntervals& intervals, bool pendingBefore, bool mousePendingAfter);
