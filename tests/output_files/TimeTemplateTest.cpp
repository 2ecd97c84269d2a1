// The date and time expansion of base names, at a fixed moment.
#include "output_files/TimeTemplate.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

TEST(TimeTemplateTest, Expansions) {
    // 2026-12-06 09:05:07, a Sunday.
    const std::tm t{7, 5, 9, 6, 11, 2026 - 1900, 0, 339, 0, 0, nullptr};
    const struct {
        QString templ, expected;
    } cases[] = {
        {"写真%Y%m%d_", "写真20261206_"},
        {"100%%", "100%"},
        {"%D", "12-06-26"},   // month/day/year: the separators never reach the path
        {"a%nb%tc", "a-b-c"}, // nor do control characters
        {QString(127, 'a'), QString(127, 'a')},
        {QString(128, 'a'), ""},          // too long: empty
        {QString("%Y").repeated(32), ""}, // 101 stored characters may expand past the limit
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
