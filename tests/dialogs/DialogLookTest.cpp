// The look every dialog shares: template layout, opacity, shape and dragging; and the main
// window's shape.
#include "dialogs/DialogUnits.h"
#include "dialogs/SelCamDlg.h"
#include "dialogs/VistrelDialog.h"
#include "platform/WindowShape.h"

#include "DialogTestUtils.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace dialogtest;

namespace {

TEST(DluToPixels, RoundsEachEdgeSoTouchingControlsStayTouching) {
    for (int x = 0; x < 40; ++x) {
        const QRect left = DluToPixels(QRect(x, x, 7, 7), kShellDlg8);
        const QRect right = DluToPixels(QRect(x + 7, x + 7, 5, 5), kShellDlg8);
        EXPECT_EQ(left.bottomRight() + QPoint(1, 1), right.topLeft()) << x;
    }
}

// Shown on the camera chooser, which has a label, a drop-down list and a button.
TEST(DialogLook, OwnOpacityRoundedShapeAndDraggedByTheBackgroundOnly) {
    QWidget mainWindow;
    ApplyWindowOpacity(&mainWindow, 32);
    CSelCamDlg dialog(QList<CameraInfo>{}, &mainWindow);
    dialog.move(100, 100);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    // The template gives the drop-down list the height of its open list, more than the dialog's;
    // closed, it is one line.
    EXPECT_TRUE(dialog.rect().contains(Child<QComboBox>(dialog, "comboCamera_1002")->geometry()));
    // Its own opacity whatever the main window has, painted by itself on this platform.
    EXPECT_EQ(WindowAlpha(&dialog), 219);
    EXPECT_DOUBLE_EQ(PaintOpacity(&dialog), 219 / 255.0);
    EXPECT_EQ(dialog.mask().boundingRect(), dialog.rect());
    EXPECT_FALSE(dialog.mask().contains(QPoint(0, 0))); // rounded corners

    Drag(&dialog, QPoint(dialog.width() - 5, 5), QPoint(30, 20));
    EXPECT_EQ(dialog.pos(), QPoint(130, 120));
    Drag(Child<QLabel>(dialog, "staticTitle_1004"), QPoint(2, 2), QPoint(-10, 5));
    EXPECT_EQ(dialog.pos(), QPoint(120, 125));
    Drag(Child<QPushButton>(dialog, "btnOK_1"), QPoint(3, 3), QPoint(40, 40));
    dialog.SetDraggable(false); // the capture panel
    Drag(&dialog, QPoint(dialog.width() - 5, 5), QPoint(30, 20));
    EXPECT_EQ(dialog.pos(), QPoint(120, 125));
}

TEST(FitOneLineLabel, GrowsAwayFromItsAlignmentWithinTheDialog) {
    const struct {
        QRect rect;
        QSize text;
        Qt::Alignment alignment;
        QRect expected;
    } cases[] = {
        {QRect(10, 20, 50, 12), QSize(40, 16), Qt::AlignLeft, QRect(10, 18, 50, 16)},
        {QRect(40, 20, 50, 12), QSize(70, 12), Qt::AlignHCenter, QRect(30, 20, 70, 12)},
        {QRect(40, 20, 50, 12), QSize(70, 12), Qt::AlignRight, QRect(20, 20, 70, 12)},
        {QRect(170, 0, 20, 12), QSize(60, 17), Qt::AlignLeft, QRect(170, 0, 30, 15)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FitOneLineLabel(c.rect, c.text, c.alignment, QRect(0, 0, 200, 100)), c.expected)
            << c.rect.x() << " " << c.text.width();
}

// The main window's shape: 3 pixels in from every edge, with round corners.
TEST(RoundedShape, CoversTheShrunkRectangleWithoutItsCorners) {
    const QPainterPath shape = RoundedShape(QRect(0, 0, 100, 80), 3);
    EXPECT_EQ(shape.boundingRect(), QRectF(3, 3, 94, 74));
    // Corner ellipse 16 x 16: the corner pixel itself is cut, the straight edge is not.
    for (const QPointF outside : {QPointF(3.5, 3.5), QPointF(96.5, 76.5)})
        EXPECT_FALSE(shape.contains(outside)) << outside.x();
    for (const QPointF inside : {QPointF(50, 40), QPointF(3.5, 40), QPointF(11, 3.5)})
        EXPECT_TRUE(shape.contains(inside)) << inside.x() << "," << inside.y();
}

// Without a compositor nothing can blend an X window, and translucent pixels would show garbage.
// (The compositing desktop and Wayland have end-to-end runs; this case has none.)
TEST(ChooseOpacityMethod, XWithoutACompositorStaysOpaque) {
    EXPECT_EQ(ChooseOpacityMethod("xcb", false), OpacityMethod::Opaque);
}

} // namespace
