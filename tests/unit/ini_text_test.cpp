#include "platform/ini_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vorlanth::platform::ini {
namespace {

const std::string kHandWritten =
    "; written by hand\r\n"
    "[Other]\r\n"
    "FileName=other.shx\r\n"
    "\r\n"
    "  [ vorlanth ]  \r\n"
    "; the port\r\n"
    "  comport  =  7  \r\n"
    "Extra = kept\r\n"
    "\r\n"
    "[Last]\r\n"
    "Baudrate=9";

TEST(IniText, FindsValuesAsTheProfileFunctionsDo) {
    struct Case {
        std::string text;
        std::string section;
        std::string key;
        std::optional<std::string> want;
    };
    const std::vector<Case> cases = {
        {kHandWritten, "Vorlanth", "ComPort", "7"},
        {kHandWritten, "VORLANTH", "EXTRA", "kept"},
        {kHandWritten, "Vorlanth", "FileName", std::nullopt},  // only in another section
        {kHandWritten, "Last", "Baudrate", "9"},               // last line without line end
        {kHandWritten, "Missing", "ComPort", std::nullopt},
        {"Key=1\n[S]\n", "S", "Key", std::nullopt},   // before any section
        {"[S]\n;Key=1\n", "S", "Key", std::nullopt},  // a comment
        {"[S]\nKey=\n", "S", "Key", ""},
        {"[S]\nKey=\"C:\\a b\\x.shx\"\n", "S", "Key", "C:\\a b\\x.shx"},
        {"[S]\nKey='x\"\n", "S", "Key", "'x\""},
        {"[S]\nKey=a=b\n", "S", "Key", "a=b"},
        {"[S]\nKey=1\n[S]\nKey=2\n", "S", "Key", "1"},
        {"[S]\nKey=1\nKey=2\n", "S", "Key", "1"},
        {"", "S", "Key", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(findValue(c.text, c.section, c.key), c.want) << c.text << " " << c.key;
    }
}

TEST(IniText, WritingKeepsEveryOtherLine) {
    std::optional<std::string> text = withValue(kHandWritten, "Vorlanth", "ComPort", "3");
    ASSERT_TRUE(text);
    text = withValue(*text, "Vorlanth", "Baudrate", "5");
    ASSERT_TRUE(text);
    text = withValue(*text, "New", "Key", "v");
    ASSERT_TRUE(text);
    EXPECT_EQ(*text,
              "; written by hand\r\n"
              "[Other]\r\n"
              "FileName=other.shx\r\n"
              "\r\n"
              "  [ vorlanth ]  \r\n"
              "; the port\r\n"
              "comport=3\r\n"
              "Extra = kept\r\n"
              "Baudrate=5\r\n"
              "\r\n"
              "[Last]\r\n"
              "Baudrate=9\r\n"
              "[New]\r\n"
              "Key=v\r\n");
}

TEST(IniText, NewLinesFollowTheFileAndItsLineEnds) {
    struct Case {
        std::string text;
        std::string section;
        std::string key;
        std::string value;
        std::string want;
    };
    const std::vector<Case> cases = {
        {"", "Vorlanth", "FileName", "", "[Vorlanth]\r\nFileName=\r\n"},
        {"[S]\nA=1\n", "S", "B", " 2 ", "[S]\nA=1\nB=2\n"},
        {"[S]\nA=1", "S", "B", "2", "[S]\nA=1\nB=2"},
        {"[S]\nA=1", "S", "A", "2", "[S]\nA=2"},
        {"[S]\nA=1", "T", "B", "2", "[S]\nA=1\n[T]\nB=2\n"},
        {"[S]\n", "S", "A", "1", "[S]\nA=1\n"},
        {"# text\n", "S", "A", "1", "# text\n[S]\nA=1\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(withValue(c.text, c.section, c.key, c.value), c.want) << c.text;
    }
}

TEST(IniText, RefusesWhatWouldChangeOtherLines) {
    const std::vector<std::vector<std::string>> refused = {
        {"S", "Key", "a\nb"}, {"S", "Key", "a\rb"}, {"S\nT", "Key", "v"}, {"S]", "Key", "v"},
        {"S", "", "v"},       {"S", "K=ey", "v"},   {"S", "[Key]", "v"},  {"S", ";Key", "v"},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(withValue("[S]\r\nKey=1\r\n", r[0], r[1], r[2]), std::nullopt) << r[0] << r[1];
    }
}

}  // namespace
}  // namespace vorlanth::platform::ini
