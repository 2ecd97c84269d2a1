#include "view/RefreshIntervals.h"

#include <gtest/gtest.h>

namespace {

TEST(RefreshIntervalsTest, IntervalTable) {
    struct Case {
        int perform;
        bool recording;
        RefreshIntervals expected;
    };
    const Case cases[] = {
        {0, false, {0, 55, 110}},
        {330, false, {330, 550, 770}},
        {333, false, {333, 554, 776}},
        {550, false, {550, 880, 1210}},
        {1045, false, {1045, 1622, 2200}},
        {100, true, {550, 880, 1210}},
        {100, false, {100, 205, 310}},
        {551, true, {551, 881, 1212}},
        {0, true, {550, 880, 1210}},
        // Stored values the preferences cannot set: clamped to 0 .. 1045.
        {-100, false, {0, 55, 110}},
        {65535, false, {1045, 1622, 2200}},
        {2147483647, true, {1045, 1622, 2200}},
    };
    for (const Case& c : cases) {
        const RefreshIntervals got = ComputeIntervals(c.perform, c.recording);
        EXPECT_EQ(got.quiet, c.expected.quiet) << c.perform;
        EXPECT_EQ(got.active, c.expected.active) << c.perform;
        EXPECT_EQ(got.busy, c.expected.busy) << c.perform;
    }
}

TEST(RefreshIntervalsTest, TickAndPaintChoices) {
    const RefreshIntervals i{330, 550, 770};
    EXPECT_EQ(TickInterval(i, false, false), 330);
    EXPECT_EQ(TickInterval(i, true, false), 550);
    EXPECT_EQ(TickInterval(i, false, true), 550);
    EXPECT_EQ(PaintInterval(i, true, false), 770);
    EXPECT_EQ(PaintInterval(i, true, true), 770);
    EXPECT_EQ(PaintInterval(i, false, true), 550);
    EXPECT_EQ(PaintInterval(i, false, false), -1); // unchanged
}

} // namespace
