// The small texts of common/: each trimming set removes what its rule says and nothing more,
// COM port names, and seconds as the console's reports write them.
#include "common/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorlanth {
namespace {

TEST(Trimmed, EachSetRemovesItsOwnBlanksOnly) {
    struct Case {
        std::string text;
        std::string_view set;
        std::string_view want;
    };
    const std::vector<Case> cases = {
        {"  a b  ", kSpaces, "a b"},
        {"  \tab c\t  ", kSpaces, "\tab c\t"},  // the command line keeps tabs
        {"   ", kSpaces, ""},
        {"", kSpaces, ""},
        {" \t a\tb \t", kBlanks, "a\tb"},
        {"\r\nx\r\n", kBlanks, "\r\nx\r\n"},  // a line's own CR is no blank of a list line
        {" \t\r\n\v\fkey = v\v\f\r\n\t ", kWhiteSpace, "key = v"},
        {std::string("\0a\0", 3), kWhiteSpace, std::string_view("\0a\0", 3)},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(trimmed(test.text, test.set), test.want) << '"' << test.text << '"';
    }
}

TEST(ComPortName, IsComAndTheNumber) {
    EXPECT_EQ(comPortName(1), "COM1");
    EXPECT_EQ(comPortName(255), "COM255");
}

TEST(SecondsText, TenthsOrWholeSecondsFromTenOn) {
    struct Case {
        double seconds;
        SecondsStyle style;
        const char* want;
    };
    const std::vector<Case> cases = {
        {0.0, SecondsStyle::Tenths, "0.0 s"},
        {1.2, SecondsStyle::Tenths, "1.2 s"},
        {24.5, SecondsStyle::Tenths, "24.5 s"},
        {92.0 * 10 / 9600, SecondsStyle::WholeFromTen, "0.1 s"},
        {9.94, SecondsStyle::WholeFromTen, "9.9 s"},
        {9.96, SecondsStyle::WholeFromTen, "10.0 s"},  // the style looks before rounding
        {12.4, SecondsStyle::WholeFromTen, "12 s"},
        {873.6, SecondsStyle::WholeFromTen, "874 s"},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(secondsText(test.seconds, test.style), test.want) << test.seconds;
    }
}

}  // namespace
}  // namespace vorlanth
