// Where the capture panel goes: centred on the main window, its top edge over the main window's
// bottom strip; just above the main window when the virtual screen ends below it, and inside the
// main window when there is no room above either. Pure arithmetic, so it is tested without windows.
#pragma once

#include <QPoint>
#include <QRect>

#include <optional>

// A window rectangle by its edges, right and bottom lying one past the last pixel (so
// right - left is the width), the way window positions are reasoned about here.
struct EdgeRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

EdgeRect ToEdgeRect(const QRect& rect);

// The two system metrics the placement is built on, in device-independent pixels. The main window
// here has neither a caption nor a sunken edge of its own, so these are the classic desktop sizes
// of a thin 3-D edge (2) and a window caption (23): the panel overlaps the main window's bottom
// 25 pixels, which keeps it clear of the picture's centre and of the bottom-right resize zone.
inline constexpr int kPanelEdge = 2;
inline constexpr int kPanelCaption = 23;

struct PanelPlacementInput {
    EdgeRect panel;              // P: the panel's window rectangle
    EdgeRect main;               // M: the main window's rectangle
    int virtualTop;              // top of the virtual screen (all monitors together)
    int virtualBottom;           // virtualTop + the virtual screen's height
    int edge = kPanelEdge;       // E
    int caption = kPanelCaption; // T
};

// The panel's new top-left corner, or nothing when either rectangle is empty (width and height
// both <= 0) and the panel should stay where it is. Halving truncates toward zero, also on the
// negative coordinates of monitors left of or above the primary one.
std::optional<QPoint> PanelPosition(const PanelPlacementInput& in);
