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
    // An option it does not know is refused wherever it stands; a dash before a number is not one.
    for (const QStringList& arguments : {QStringList{"--bogus"}, {"-v"}, {"2", "-"}})
        EXPECT_EQ(EarlyActionFor(arguments), EarlyAction::UnknownOption)
            << arguments.join(' ').toStdString();
    EXPECT_EQ(UnknownOption({"2", "-x", "--y"}), "-x");
    EXPECT_EQ(EarlyActionFor({"-2", "--3", "/x", "abc"}), EarlyAction::Run);
    // Qt's own options are Qt's to take, with their values.
    EXPECT_EQ(EarlyActionFor({"-platform", "xcb", "--style", "-x", "-reverse", "2"}),
              EarlyAction::Run);
    EXPECT_EQ(EarlyActionFor({"-platform", "offscreen", "99999999999"}), EarlyAction::BadCamera);
    EXPECT_EQ(EarlyActionFor({"--bogus", "--help"}), EarlyAction::Help);
}

} // namespace
