// The date and time expansion of base names.
#include "output_files/TimeTemplate.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

namespace {

TEST(TimeTemplateTest, Expansions) {
    // 2026-12-06 09:05:07, a Sunday.
    const std::tm t{7, 5, 9, 6, 11, 2026 - 1900, 0, 339, 0, 0, nullptr};
    const struct {
        QString templ, expected;
    } cases[] = {
        {"pict", "pict"},
        {"%Y%m%d_", "20261206_"},
        {"shot_%H%M%S", "shot_090507"},
        {"100%%", "100%"},
        {"写真%Y", "写真2026"},
        {"%D", "12-06-26"},   // month/day/year: the separators never reach the path
        {"a%nb%tc", "a-b-c"}, // nor do control characters
        {"", ""},
        {QString(127, 'a'), QString(127, 'a')},
        {QString(128, 'a'), ""}, // too long: empty
        // 101 stored characters may expand past the limit.
        {QString("%Y").repeated(32), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExpandTimeTemplate(c.templ, t), c.expected) << c.templ.toStdString();
    EXPECT_FALSE(ExpandTimeTemplate("%x", t).contains('/')); // the locale's own date form
}

TEST(TimeTemplateTest, LeavesTheProcessLocaleAlone) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    ExpandTimeTemplate("%A %B", std::tm{});
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
    char number[32];
    std::snprintf(number, sizeof number, "%.1f", 1.5);
    EXPECT_STREQ(number, "1.5");
}

} // namespace
