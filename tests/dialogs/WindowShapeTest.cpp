// The rounded window shape and the choice of opacity method.
#include "platform/WindowShape.h"

#include <gtest/gtest.h>

TEST(RoundedShape, CoversTheShrunkRectangleWithoutItsCorners) {
    const QPainterPath shape = RoundedShape(QRect(0, 0, 100, 80), 3);
    EXPECT_EQ(shape.boundingRect(), QRectF(3, 3, 94, 74));
    // Corner ellipse 16 x 16: the corner pixel itself is cut, the straight edge is not.
    for (const QPointF outside : {QPointF(3.5, 3.5), QPointF(96.5, 76.5)})
        EXPECT_FALSE(shape.contains(outside)) << outside.x();
    for (const QPointF inside : {QPointF(50, 40), QPointF(3.5, 40), QPointF(11, 3.5)})
        EXPECT_TRUE(shape.contains(inside)) << inside.x() << "," << inside.y();
    EXPECT_TRUE(RoundedShape(QRect(0, 0, 6, 6), 3).isEmpty()); // the inset eats the window
}

TEST(ChooseOpacityMethod, FollowsTheWindowSystem) {
    const struct {
        const char* platform;
        bool compositor;
        OpacityMethod expected;
    } cases[] = {
        {"xcb", true, OpacityMethod::WindowSystem},
        {"xcb", false, OpacityMethod::Opaque},
        {"wayland-egl", false, OpacityMethod::SelfPainted},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseOpacityMethod(c.platform, c.compositor), c.expected)
            << c.platform << " compositor " << c.compositor;
}
