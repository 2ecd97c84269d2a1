#include "app/FramePlacement.h"

#include <gtest/gtest.h>

namespace {

const QSize kPicture{320, 240};

TEST(FramePlacementTest, StoredPlacementFallBacks) {
    struct Case {
        int x, y, w, h;
        QRect expected;
    };
    const Case cases[] = {
        {101, 101, 320, 240, {101, 101, 320, 240}},
        {9700, 50, 400, 300, {101, 101, 400, 300}},
        {9699, -9699, 400, 300, {9699, -9699, 400, 300}},
        {50, -9700, 400, 300, {101, 101, 400, 300}},
        {10, 20, 0, 500, {10, 20, 320, 240}},
        {10, 20, 500, -1, {10, 20, 320, 240}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolvePlacement(c.x, c.y, c.w, c.h, kPicture), c.expected) << c.x << "," << c.y;
}

TEST(FramePlacementTest, ZonesAtTheRightAndBottomEdges) {
    const QRect window(100, 100, 320, 240); // right edge 420, bottom edge 340
    struct Case {
        QPoint p;
        FrameZone zone;
    };
    const Case cases[] = {
        {{200, 200}, FrameZone::Caption},
        {{388, 200}, FrameZone::Caption}, // 420 - 32 is not inside
        {{389, 200}, FrameZone::Right},
        {{419, 200}, FrameZone::Right},
        {{200, 309}, FrameZone::Bottom},
        {{200, 308}, FrameZone::Caption},
        {{410, 330}, FrameZone::BottomRight},
        {{100, 339}, FrameZone::Bottom},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HitZone(window, c.p), c.zone) << c.p.x() << "," << c.p.y();
}

TEST(FramePlacementTest, CornerKeepsThePictureProportions) {
    EXPECT_EQ(AspectHeight(400, kPicture), 300);
    EXPECT_EQ(AspectHeight(401, kPicture), 300); // integer division truncates
    EXPECT_EQ(AspectHeight(640, QSize(640, 480)), 480);
    EXPECT_EQ(AspectHeight(100, QSize(0, 480)), 480); // no division by zero
}

} // namespace
