// The view's refresh rules without a window: the interval table, and the timer that runs a zero
// period. The interval a tick takes is checked through the view, in the view test.
#include "view/RefreshIntervals.h"
#include "view/ViewTimer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimerEvent>
#include <gtest/gtest.h>

#include <tuple>

namespace {

TEST(RefreshIntervalsTest, IntervalTable) {
    const struct {
        int perform;
        bool recording;
        RefreshIntervals expected;
    } cases[] = {
        {0, false, {0, 55, 110}},
        {333, false, {333, 554, 776}},
        {100, true, {550, 880, 1210}}, // the recording floor
        {551, true, {551, 881, 1212}},
        // Stored values the preferences cannot set: clamped to 0 .. 1045.
        {-100, false, {0, 55, 110}},
        {2147483647, true, {1045, 1622, 2200}},
    };
    for (const auto& c : cases) {
        const RefreshIntervals got = ComputeIntervals(c.perform, c.recording);
        EXPECT_EQ(std::tuple(got.quiet, got.active, got.busy),
                  std::tuple(c.expected.quiet, c.expected.active, c.expected.busy))
            << c.perform;
    }
}

class TickCounter : public QObject {
public:
    int ticks = 0;

protected:
    void timerEvent(QTimerEvent*) override { ++ticks; }
};

TEST(ViewTimerTest, ZeroPeriodRunsAtThePlatformMinimumNotAsABusyLoop) {
    TickCounter owner;
    CViewTimer timer(&owner);
    timer.Start(0);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    // At 10 ms at least, 200 ms hold no more than about 20 ticks; a spinning timer would give
    // thousands.
    EXPECT_LE(owner.ticks, 25);
    EXPECT_GE(owner.ticks, 1);
}

} // namespace
