// The rounded window shape, the choice of opacity method and the opacity bookkeeping.
#include "platform/WindowShape.h"

#include <QGuiApplication>
#include <QWidget>
#include <gtest/gtest.h>

TEST(RoundedShape, CoversTheShrunkRectangleWithoutItsCorners) {
    const QPainterPath shape = RoundedShape(QRect(0, 0, 100, 80), 3);
    EXPECT_EQ(shape.boundingRect(), QRectF(3, 3, 94, 74));
    EXPECT_TRUE(shape.contains(QPointF(50, 40)));
    // Corner ellipse 16 x 16: the corner pixel itself is cut, the straight edge is not.
    EXPECT_FALSE(shape.contains(QPointF(3.5, 3.5)));
    EXPECT_FALSE(shape.contains(QPointF(96.5, 76.5)));
    EXPECT_TRUE(shape.contains(QPointF(3.5, 40)));
    EXPECT_TRUE(shape.contains(QPointF(50, 3.5)));
    EXPECT_TRUE(shape.contains(QPointF(3 + 8, 3.5)));
}

TEST(RoundedShape, IsEmptyWhenTheInsetEatsTheWindow) {
    EXPECT_TRUE(RoundedShape(QRect(0, 0, 6, 6), 3).isEmpty());
    EXPECT_TRUE(RoundedShape(QRect(), 0).isEmpty());
}

TEST(SetRoundedRegion, MasksTheWindowToItsRoundedClientArea) {
    QWidget window;
    window.resize(200, 100);
    SetRoundedRegion(&window, 0);
    const QRegion mask = window.mask();
    EXPECT_EQ(mask.boundingRect(), QRect(0, 0, 200, 100));
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(199, 99)));
    EXPECT_TRUE(mask.contains(QPoint(100, 0)));
    EXPECT_TRUE(mask.contains(QPoint(199, 50)));

    SetRoundedRegion(&window, 3);
    EXPECT_EQ(window.mask().boundingRect(), QRect(3, 3, 194, 94));
}

TEST(SetRoundedRegion, LeavesATooSmallWindowWhole) {
    QWidget window;
    window.resize(4, 4);
    SetRoundedRegion(&window, 3);
    EXPECT_TRUE(window.mask().isEmpty());
    SetRoundedRegion(nullptr, 0); // no window, no crash
}

TEST(ChooseOpacityMethod, FollowsTheWindowSystem) {
    struct Case {
        const char* platform;
        bool compositor;
        OpacityMethod expected;
    };
    const Case cases[] = {
        {"xcb", true, OpacityMethod::WindowSystem},
        {"xcb", false, OpacityMethod::Opaque},
        {"wayland", false, OpacityMethod::SelfPainted},
        {"wayland-egl", false, OpacityMethod::SelfPainted},
        {"offscreen", false, OpacityMethod::SelfPainted},
        {"windows", false, OpacityMethod::WindowSystem},
        {"cocoa", false, OpacityMethod::WindowSystem},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseOpacityMethod(QString::fromLatin1(c.platform), c.compositor), c.expected)
            << c.platform << " compositor " << c.compositor;
}

TEST(ApplyWindowOpacity, PaintsTheOpacityItselfWhereTheWindowSystemCannot) {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    EXPECT_FALSE(WindowOpacitySupported());
    QWidget window;
    EXPECT_EQ(WindowAlpha(&window), 255);
    EXPECT_DOUBLE_EQ(PaintOpacity(&window), 1.0);

    ApplyWindowOpacity(&window, 32);
    EXPECT_EQ(WindowAlpha(&window), 32);
    EXPECT_DOUBLE_EQ(PaintOpacity(&window), 32 / 255.0);
    EXPECT_TRUE(window.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_DOUBLE_EQ(window.windowOpacity(), 1.0); // not applied twice

    ApplyWindowOpacity(&window, 300);
    EXPECT_EQ(WindowAlpha(&window), 255);
    EXPECT_DOUBLE_EQ(PaintOpacity(&window), 1.0);
}
