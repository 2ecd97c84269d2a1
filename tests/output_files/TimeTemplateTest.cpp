#include "output_files/TimeTemplate.h"

#include <QLocale>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

namespace {

std::tm Moment() {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11; // December
    t.tm_mday = 6;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 7;
    t.tm_wday = 0;
    t.tm_yday = 339;
    return t;
}

TEST(TimeTemplateTest, Conversions) {
    const std::tm t = Moment();
    struct Case {
        const char* templ;
        const char* expected;
    };
    const Case cases[] = {
        {"pict", "pict"},
        {"%Y%m%d_", "20261206_"},
        {"%Y", "2026"},
        {"shot_%H%M%S", "shot_090507"},
        {"100%%", "100%"},
        {"%D", "12-06-26"}, // month/day/year: the separators never reach the path
        {"%x", "12-06-26"},
    };
    for (const Case& c : cases) {
        const QString expanded = ExpandTimeTemplate(QString::fromUtf8(c.templ), t);
        if (std::string(c.templ) == "%x" && expanded != QLatin1String(c.expected)) {
            EXPECT_FALSE(expanded.contains(QLatin1Char('/'))); // locale-dependent form
            continue;
        }
        EXPECT_EQ(expanded, QString::fromUtf8(c.expected)) << c.templ;
    }
    EXPECT_EQ(ExpandTimeTemplate(QStringLiteral("写真%Y"), t), QStringLiteral("写真2026"));
}

TEST(TimeTemplateTest, EmptyWhenNothingOrTooMuchComesOut) {
    const std::tm t = Moment();
    EXPECT_EQ(ExpandTimeTemplate(QString(), t), QString());
    EXPECT_EQ(ExpandTimeTemplate(QString(127, QLatin1Char('a')), t).size(), 127);
    EXPECT_EQ(ExpandTimeTemplate(QString(128, QLatin1Char('a')), t), QString());
    // 101 stored characters may expand past the limit: 26 years of 4 digits plus 23 letters.
    EXPECT_EQ(ExpandTimeTemplate(QStringLiteral("%Y").repeated(32), t), QString());
}

TEST(TimeTemplateTest, LeavesTheProcessLocaleAlone) {
    const std::string before = std::setlocale(LC_ALL, nullptr);
    ExpandTimeTemplate(QStringLiteral("%A %B"), Moment());
    EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
    char number[32];
    std::snprintf(number, sizeof number, "%.1f", 1.5);
    EXPECT_STREQ(number, "1.5");
}

} // namespace
