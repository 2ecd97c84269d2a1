// The capture panel's placement arithmetic: a pure function, tested without any window.
#include "dialogs/PanelPlacement.h"

#include <gtest/gtest.h>

namespace {

constexpr int kW = 257; // a panel of 257 x 66
constexpr int kH = 66;

PanelPlacementInput Input(EdgeRect main, int virtualTop = 0, int virtualBottom = 1080,
                          EdgeRect panel = {500, 500, 500 + kW, 500 + kH}) {
    return {panel, main, virtualTop, virtualBottom, 2, 23};
}

TEST(PanelPlacement, PlacesBelowAboveOrInside) {
    const struct {
        const char* what;
        PanelPlacementInput in;
        QPoint expected;
    } cases[] = {
        // x = (100 + 740) / 2 - 257 / 2 = 420 - 128; y = 580 - 2 - 23.
        {"over the bottom strip", Input({100, 100, 740, 580}), {292, 555}},
        // 1 pixel lower and the panel would leave the screen: it lies above, bottom at top + E.
        {"above the main window", Input({100, 500, 740, 1040}), {292, 500 + 2 - kH}},
        // No room below nor above: inside, its bottom edge at M.bottom - E - T.
        {"inside a full-height window", Input({0, 0, 1920, 1080}), {960 - 128, 1080 - kH - 25}},
        // Inside also on a monitor above the primary one.
        {"screen above", Input({0, -1080, 640, 1080}, -1080, 1080), {320 - 128, 1080 - kH - 25}},
        // Halving toward zero: -1001 / 2 is -500, not -501; 201 / 2 is 100.
        {"negative x", Input({-1000, 100, -1, 580}, 0, 1080, {0, 0, 201, kH}), {-600, 555}},
    };
    for (const auto& c : cases) {
        const auto pos = PanelPosition(c.in);
        ASSERT_TRUE(pos.has_value()) << c.what;
        EXPECT_EQ(*pos, c.expected) << c.what;
    }
}

} // namespace
