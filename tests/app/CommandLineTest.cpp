#include "app/CommandLineInfoEx.h"

#include <gtest/gtest.h>

namespace {

QList<int> Parse(const QStringList& arguments) {
    CCommandLineInfoEx info;
    info.Parse(arguments);
    return info.m_arrCamera;
}

TEST(CommandLineTest, EveryArgumentIsANumber) {
    struct Case {
        QStringList arguments;
        QList<int> numbers;
    };
    const Case cases[] = {
        {{"/2", "3"}, {2, 3}},
        {{"--2"}, {-2}}, // one leading dash is the flag prefix, only one is
                         // removed
        {{"abc"}, {0}},
        {{" 7x"}, {7}},
        {{"99999999999"}, {2147483647}},
        {{"２"}, {0}}, // full-width digits are not decimal digits here
    };
    for (const Case& c : cases)
        EXPECT_EQ(Parse(c.arguments), c.numbers) << c.arguments.join(' ').toStdString();
}

TEST(CommandLineTest, HelpAndVersionComeBeforeAnything) {
    EXPECT_EQ(EarlyActionFor({"--help"}), EarlyAction::Help);
    EXPECT_EQ(EarlyActionFor({"2", "--version"}), EarlyAction::Version);
    // Only the first number names the camera; one whose message numbers would overflow is refused.
    const int largest = 2147483647 - 2000;
    EXPECT_EQ(EarlyActionFor({QString::number(largest)}), EarlyAction::Run);
    EXPECT_EQ(EarlyActionFor({QString::number(largest + 1)}), EarlyAction::BadCamera);
    EXPECT_EQ(EarlyActionFor({"/99999999999999999999"}), EarlyAction::BadCamera);
    EXPECT_EQ(EarlyActionFor({"2", "99999999999999999999"}), EarlyAction::Run);
}

} // namespace
