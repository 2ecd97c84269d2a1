// The capture panel's placement arithmetic and state table, and the save-settings dialog's field
// rules: pure functions, tested without any window.
#include "dialogs/OptionFields.h"
#include "dialogs/PanelPlacement.h"
#include "dialogs/RecButtonState.h"
#include "output_files/MediaKind.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

constexpr int kW = 257; // a panel of 257 x 66
constexpr int kH = 66;

PanelPlacementInput Input(EdgeRect main, int virtualTop = 0, int virtualBottom = 1080,
                          EdgeRect panel = {500, 500, 500 + kW, 500 + kH}) {
    return {panel, main, virtualTop, virtualBottom, 2, 23};
}

struct PlacementCase {
    const char* what;
    PanelPlacementInput in;
    QPoint expected;
};

TEST(PanelPlacement, PlacesBelowAboveOrInside) {
    const PlacementCase cases[] = {
        // x = (100 + 740) / 2 - 257 / 2 = 420 - 128; y = 580 - 2 - 23.
        {"over the bottom strip", Input({100, 100, 740, 580}), {292, 555}},
        {"exactly reaching the screen bottom", Input({100, 100, 740, 1039}), {292, 1014}},
        // 1 pixel lower and the panel would leave the screen: it lies above, bottom at top + E.
        {"above the main window", Input({100, 500, 740, 1040}), {292, 500 + 2 - kH}},
        // No room below nor above: inside, its bottom edge at M.bottom - E - T.
        {"inside a full-height window", Input({0, 0, 1920, 1080}), {960 - 128, 1080 - kH - 25}},
        {"above on a screen above the primary",
         Input({0, -1000, 640, 1070}, -1080, 1080),
         {320 - 128, -1000 + 2 - kH}},
        {"inside on a screen above the primary",
         Input({0, -1080, 640, 1080}, -1080, 1080),
         {320 - 128, 1080 - kH - 25}},
        // Halving toward zero: -1001 / 2 is -500, not -501; 201 / 2 is 100.
        {"negative coordinates",
         Input({-1000, 100, -1, 580}, 0, 1080, {0, 0, 201, kH}),
         {-600, 555}},
        {"odd sum left of zero", Input({-7, 100, 0, 580}, 0, 1080, {0, 0, 3, kH}), {-3 - 1, 555}},
    };
    for (const auto& c : cases) {
        const auto pos = PanelPosition(c.in);
        ASSERT_TRUE(pos.has_value()) << c.what;
        EXPECT_EQ(*pos, c.expected) << c.what;
    }
}

TEST(PanelPlacement, EmptyRectanglesLeaveThePanelInPlace) {
    EXPECT_FALSE(PanelPosition(Input({100, 100, 100, 100})));
    EXPECT_FALSE(PanelPosition(Input({100, 100, 50, 40})));
    EXPECT_FALSE(PanelPosition(Input({100, 100, 740, 580}, 0, 1080, {10, 10, 10, 10})));
    // Only one of width and height empty still counts as a window to follow.
    EXPECT_TRUE(PanelPosition(Input({100, 100, 100, 580})));
}

TEST(PanelPlacement, EdgeRectIsOnePastTheLastPixel) {
    const EdgeRect r = ToEdgeRect(QRect(-10, 20, 300, 40));
    EXPECT_EQ(r.left, -10);
    EXPECT_EQ(r.right, 290);
    EXPECT_EQ(r.bottom, 60);
    EXPECT_EQ(r.Height(), 40);
}

TEST(RecButtonState, FollowsTheTable) {
    struct Row {
        int mode, activity, icon;
        std::optional<bool> recEnabled;
        bool modeButtons;
        std::optional<bool> recMark;
    };
    const Row rows[] = {
        {CAMMODE_MOV, 0, kIconRecord, std::nullopt, true, false},
        {CAMMODE_MOV, 1, kIconStop, std::nullopt, false, true},
        {CAMMODE_PICT, 0, kIconShutter, true, true, std::nullopt},
        {CAMMODE_PICT, -1, kIconShutter, true, true, std::nullopt}, // the mode switch's value
        {CAMMODE_PICT, 1, kIconShutterBusy, false, false, std::nullopt},
        {7, 1, kIconShutterBusy, false, false, std::nullopt}, // any other mode means stills
    };
    for (const Row& r : rows) {
        const RecButtonState s = RecButtonStateFor(r.mode, r.activity);
        SCOPED_TRACE(testing::Message() << "mode " << r.mode << " activity " << r.activity);
        EXPECT_EQ(s.recIcon, r.icon);
        EXPECT_EQ(s.recEnabled, r.recEnabled);
        EXPECT_EQ(s.modeButtonsEnabled, r.modeButtons);
        EXPECT_EQ(s.recMarkVisible, r.recMark);
    }
}

TEST(OptionFields, JudgesTheBaseNameBeforeTheFolder) {
    const QString dir = testenv::NewFolder(QStringLiteral("fields"));
    EXPECT_EQ(CheckFields(QString(), QString()), FieldVerdict::Accepted);
    EXPECT_EQ(CheckFields(QStringLiteral("%Y%m%d_"), dir), FieldVerdict::Accepted);
    EXPECT_EQ(CheckFields(QStringLiteral("a.b"), dir), FieldVerdict::BadFilename);
    EXPECT_EQ(CheckFields(QStringLiteral("a.b"), dir + QLatin1Char('.')),
              FieldVerdict::BadFilename);
    EXPECT_EQ(CheckFields(QStringLiteral("ok"), dir + QLatin1Char(' ')),
              FieldVerdict::BadFoldername);
    EXPECT_EQ(CheckFields(QStringLiteral("ok"), dir + QLatin1String("/missing")),
              FieldVerdict::BadFoldername);
}

TEST(OptionFields, IgnoresLetterCaseWhenComparing) {
    const QString folder = QStringLiteral("/home/u/Pictures");
    EXPECT_FALSE(FieldsModified(QStringLiteral("/HOME/u/pictures"), folder, QStringLiteral("PICT"),
                                QStringLiteral("pict")));
    EXPECT_TRUE(FieldsModified(folder + QLatin1Char('/'), folder, QStringLiteral("pict"),
                               QStringLiteral("pict")));
    EXPECT_TRUE(FieldsModified(folder, folder, QStringLiteral("pict2"), QStringLiteral("pict")));
}

} // namespace
