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
        {9700, 50, 400, 300, {101, 101, 400, 300}},
        {9699, -9699, 400, 300, {9699, -9699, 400, 300}},
        {10, 20, 500, -1, {10, 20, 320, 240}},
        {10, 20, 2147483647, 16777215, {10, 20, 32767, 32767}}, // before any arithmetic
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolvePlacement(c.x, c.y, c.w, c.h, kPicture), c.expected) << c.x << "," << c.y;
    // A window of the old 4:3 shape takes the picture's proportions inside it; others stay.
    EXPECT_EQ(ResolvePlacement(0, 0, 640, 480, {320, 180}).size(), QSize(640, 360));
    EXPECT_EQ(ResolvePlacement(0, 0, 641, 480, {180, 240}).size(), QSize(360, 480));
    EXPECT_EQ(ResolvePlacement(0, 0, 500, 500, {320, 180}).size(), QSize(500, 500));
}

TEST(FramePlacementTest, PlacementsComeBackWhereTheScreensThereAreShowThem) {
    const QRect left(0, 0, 1920, 1080), right(1920, 0, 1280, 1024);
    struct Case {
        QRect placement;
        QList<QRect> screens;
        QRect expected;
    };
    const Case cases[] = {
        {{1800, 100, 320, 240}, {left, right}, {1800, 100, 320, 240}}, // across two screens
        {{1800, 100, 320, 240}, {left}, {1800, 100, 320, 240}},        // partly on the one left
        {{1856, -176, 320, 240}, {left}, {1856, -176, 320, 240}},      // 64 x 64 of it shown
        {{1857, 100, 320, 240}, {left}, {1600, 100, 320, 240}},        // only 63 pixels wide shown
        {{5000, 900, 400, 300}, {left, right}, {2800, 724, 400, 300}}, // nearest: the right one
        {{101, 101, 32767, 32767}, {left, right}, {0, 0, 1920, 1080}}, // cut to the screen
        {{101, 101, 320, 240}, {}, {101, 101, 320, 240}}, // no screen known: left alone
    };
    for (const Case& c : cases)
        EXPECT_EQ(FitToScreens(c.placement, c.screens), c.expected)
            << c.placement.x() << "," << c.placement.y();
}

TEST(FramePlacementTest, ZonesAtTheRightAndBottomEdges) {
    const QRect window(100, 100, 320, 240); // right edge 420, bottom edge 340
    struct Case {
        QPoint p;
        FrameZone zone;
    };
    const Case cases[] = {
        {{388, 200}, FrameZone::Caption}, // 420 - 32 is not inside
        {{389, 200}, FrameZone::Right},
        {{200, 309}, FrameZone::Bottom},
        {{410, 330}, FrameZone::BottomRight},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HitZone(window, c.p), c.zone) << c.p.x() << "," << c.p.y();
}

} // namespace
