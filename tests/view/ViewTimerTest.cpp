#include "view/ViewTimer.h"
#include "view/PendingInput.h"
#include "view/RefreshIntervals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimerEvent>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

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
    EXPECT_EQ(timer.GetInterval(), 0u);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    // At 10 ms at least, 200 ms hold no more than about 20 ticks; a spinning timer would give
    // thousands.
    EXPECT_LE(owner.ticks, 25);
    EXPECT_GE(owner.ticks, 1);
}

TEST(PendingInputTest, ClassesArriveAndAreClearedByTheProbe) {
    QWidget view;
    QWidget other;
    CPendingInput pending(&view);
    EXPECT_FALSE(pending.Probe(kPendingAll));

    QMouseEvent move(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&other, &move);
    EXPECT_TRUE(pending.Probe(kPendingMouse));
    EXPECT_FALSE(pending.Probe(kPendingMouse));

    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QCoreApplication::sendEvent(&other, &key);
    EXPECT_FALSE(pending.Probe(kPendingMouse)); // a key is not mouse input
    EXPECT_TRUE(pending.Probe(kPendingAllButPaint));

    // The view's own refresh tick and repaint are the work in progress, not pending input.
    QTimerEvent tick(1);
    QCoreApplication::sendEvent(&view, &tick);
    QEvent paint(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&view, &paint);
    EXPECT_FALSE(pending.Probe(kPendingAll));
    QCoreApplication::sendEvent(&other, &paint);
    EXPECT_TRUE(pending.Probe(kPendingAll));
    EXPECT_FALSE(pending.Probe(kPendingAll));
}

} // namespace
